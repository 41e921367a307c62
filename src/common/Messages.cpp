#include "Messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace Messages {

namespace {

class MessageBoxSink : public Sink {
public:
    Answer show(const Message &message) override
    {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(message.title);
        box.setText(message.text);
        switch (message.icon) {
            case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
            case Icon::Information: box.setIcon(QMessageBox::Information); break;
            case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
            case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
            case Icon::Question: box.setIcon(QMessageBox::Question); break;
        }
        if (message.buttons == Buttons::YesNo) {
            QPushButton *yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
            box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
            box.setDefaultButton(yes);
            box.exec();
            return box.clickedButton() == static_cast<QAbstractButton *>(yes) ? Answer::Yes : Answer::No;
        }
        box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
        box.exec();
        return Answer::Ok;
    }
};

MessageBoxSink realSink;
Sink *currentSink = nullptr;

}  // namespace

Sink *setSink(Sink *sink)
{
    Sink *previous = currentSink;
    currentSink = sink;
    return previous;
}

Answer show(const QString &text, const QString &title, Icon icon, Buttons buttons)
{
    Sink *sink = currentSink ? currentSink : &realSink;
    return sink->show(Message{text, title, icon, buttons});
}

QString programTitle() { return QStringLiteral("Tavimor投诉管理系统"); }

QString executableName() { return QStringLiteral("tavimor-complaints"); }

}  // namespace Messages
