#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>
#include <functional>

#include "common/Messages.h"

// Records every message box instead of showing it, and answers questions from a script
// (Yes when the script is empty). Installed for its lifetime.
class MessageRecorder : public Messages::Sink {
public:
    MessageRecorder();
    ~MessageRecorder() override;

    Messages::Answer show(const Messages::Message &message) override;

    QList<Messages::Message> messages;
    QList<Messages::Answer> answers;

    QStringList texts() const;
    QString last() const { return messages.isEmpty() ? QString() : messages.last().text; }
    int count() const { return int(messages.size()); }
    void clear() { messages.clear(); }

private:
    Messages::Sink *m_previous;
};

// Drives modal windows: the function gets the window instead of a user and returns its result.
// Installed for its lifetime.
class ModalDriver {
public:
    explicit ModalDriver(std::function<int(QDialog *)> drive);
    ~ModalDriver();
    int runs = 0;

private:
    static int run(QDialog *dialog);
    std::function<int(QDialog *)> m_drive;
};

// Records Program::end() instead of ending the test process. Installed for its lifetime.
class ProgramEndRecorder {
public:
    ProgramEndRecorder();
    ~ProgramEndRecorder();
    static bool ended();
    static int exitCode();
};
