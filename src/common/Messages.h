#pragma once

#include <QString>

// Every message box of the program goes through here, so that tests can record the messages
// and answer the questions instead of a user.
namespace Messages {

enum class Icon { None, Information, Warning, Critical, Question };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

struct Message {
    QString text;
    QString title;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
};

class Sink {
public:
    virtual ~Sink() = default;
    virtual Answer show(const Message &message) = 0;
};

// Installs a sink (nullptr: the real message boxes). Returns the previous one.
Sink *setSink(Sink *sink);

Answer show(const QString &text, const QString &title, Icon icon = Icon::None, Buttons buttons = Buttons::Ok);

// The program's title: the main window's caption and the title of messages that name none.
QString programTitle();
// The executable's name without extension: the title of the short error report and of some questions.
QString executableName();

// A plain message: OK button, no icon, the program's title.
inline void plain(const QString &text) { show(text, programTitle()); }
// Information icon, OK button.
inline void information(const QString &text, const QString &title = programTitle())
{
    show(text, title, Icon::Information);
}
// A Yes/No question; true for Yes.
inline bool ask(const QString &text, const QString &title, Icon icon)
{
    return show(text, title, icon, Buttons::YesNo) == Answer::Yes;
}

}  // namespace Messages
