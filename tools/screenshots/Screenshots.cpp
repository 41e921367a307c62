// screenshots <folder>: opens the program's windows on a new demo database, offscreen, and saves
// what they look like as PNG files in <folder>.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "common/MainArea.h"
#include "common/Session.h"
#include "common/Settings.h"
#include "data/Scripts.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"

namespace {

QString folder;

void save(QWidget *widget, const QString &name)
{
    QApplication::processEvents();
    const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    if (widget->grab().save(file)) std::printf("%s\n", qPrintable(file));
    else std::fprintf(stderr, "could not write %s\n", qPrintable(file));
}

// Logs in through the login window's own controls.
void logIn(LoginWindow *login, const QString &user, int post = 0)
{
    login->findChild<QLineEdit *>(QStringLiteral("TxtUser"))->setText(user);
    login->findChild<QLineEdit *>(QStringLiteral("txtPassword"))->setText(QStringLiteral("1234"));
    login->cmdOK_Click();
    auto *list = login->findChild<QListWidget *>(QStringLiteral("List1"));
    if (list && list->isVisible()) {
        list->setCurrentRow(post);
        login->List1_DblClick();
    }
}

// Switches the running main window to another user, as 注销 does.
void switchUser(MainWindow *main, const QString &user)
{
    static QString next;
    next = user;
    MainArea::setModalRunner([](QDialog *dialog) {
        logIn(qobject_cast<LoginWindow *>(dialog), next);
        return 1;
    });
    main->logout();
    MainArea::setModalRunner(nullptr);
}

// Opens a work window maximized in the main window and takes the picture of the whole frame.
QWidget *shoot(MainWindow *main, const QString &item, const QString &name)
{
    QWidget *window = main->openItem(item);
    QApplication::processEvents();
    save(main, name);
    return window;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(folder);
    QTemporaryDir temp;
    const QString demo = temp.path() + QStringLiteral("/demo.sqlite");
    Scripts::createSqliteDatabase(demo, true);
    Settings::overrideForThisRun(ConnectionSettings{QStringLiteral("sqlite:") + demo, {}, {}, {}});

    auto *login = new LoginWindow;
    login->load(QString());
    login->show();
    login->findChild<QLineEdit *>(QStringLiteral("TxtUser"))->setText(QStringLiteral("1002"));
    login->findChild<QLineEdit *>(QStringLiteral("txtPassword"))->setText(QStringLiteral("1234"));
    login->cmdOK_Click();
    save(login, QStringLiteral("login"));
    auto *list = login->findChild<QListWidget *>(QStringLiteral("List1"));
    list->setCurrentRow(0);
    login->List1_DblClick();

    MainWindow *main = MainWindow::instance();
    main->resize(1280, 800);
    main->show();
    save(main, QStringLiteral("main"));
    main->resize(800, 560);
    save(main, QStringLiteral("main-small"));
    main->resize(1280, 800);

    shoot(main, QStringLiteral("投诉受理"), QStringLiteral("acceptance"));
    switchUser(main, QStringLiteral("1001"));
    shoot(main, QStringLiteral("投诉接待"), QStringLiteral("reception"));
    shoot(main, QStringLiteral("投诉信息统计"), QStringLiteral("statistics"));
    switchUser(main, QStringLiteral("1003"));
    shoot(main, QStringLiteral("投诉处理C"), QStringLiteral("handling"));
    switchUser(main, QStringLiteral("1004"));
    shoot(main, QStringLiteral("投诉处理人设置"), QStringLiteral("assignments"));
    main->mdiArea()->closeAllSubWindows();
    shoot(main, QStringLiteral("关于软件"), QStringLiteral("about"));
    delete main;
    return 0;
}
