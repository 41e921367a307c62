#pragma once

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"

// The login window on the demo database, with message boxes recorded and the end of the program
// caught. Closes every top-level window at the end.
struct ShellFixture {
    TestDatabase database{true};
    MessageRecorder messages;
    ProgramEndRecorder end;
    LoginWindow *login = new LoginWindow;

    ShellFixture()
    {
        login->load(QString());
        login->show();
    }
    ~ShellFixture()
    {
        QList<QPointer<QWidget>> windows;
        for (QWidget *w : QApplication::topLevelWidgets()) windows.append(w);
        for (const QPointer<QWidget> &w : windows) delete w.data();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    template <typename T>
    static T *child(QWidget *parent, const char *name)
    {
        T *w = parent->findChild<T *>(QString::fromUtf8(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    // Types the two boxes of a login window and presses its login button.
    static void logIn(LoginWindow *window, const QString &user, const QString &password)
    {
        child<QLineEdit>(window, "TxtUser")->setText(user);
        child<QLineEdit>(window, "txtPassword")->setText(password);
        child<QPushButton>(window, "cmdOK")->click();
    }
    void logIn(const QString &user, const QString &password) { logIn(login, user, password); }
    QListWidget *posts() { return child<QListWidget>(login, "List1"); }
    static MainWindow *main() { return MainWindow::instance(); }
    static bool enabled(const char *item)
    {
        QAction *action = MainWindow::instance()->item(QString::fromUtf8(item));
        if (!action) qFatal("no menu item %s", item);
        return action->isEnabled();
    }
};
