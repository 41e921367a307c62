#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include "ShellFixture.h"
#include "TestRegistry.h"
#include "common/Platform.h"
#include "common/Session.h"
#include "common/Settings.h"

// The main window: menu permissions, opening work windows, logout and user switch, the banner.
class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void receptionistGetsOnlyHerItems();
    void anEnablingRowWinsOverADisablingOne();
    void subItemCanBeEnabledUnderADisabledMenu();
    void postWithoutRowsKeepsOnlyTheAlwaysAvailableItems();
    void databaseErrorGivesTheNumberedReport();
    void workWindowOpensOnce();
    void maximizedWindowsFillTheAreaSmallOnesAreCentred();
    void workWindowsFitTheFirstSize();
    void standAloneLogoutSwitchesUserAndReappliesPermissions();
    void switchToTheSuperUserEnablesEverything();
    void logoutKeepsAWindowWithUnsavedInput();
    void moduleLogoutWritesTheMessageFile();
    void otherModulesStandAlone();
    void handOverOpensTheMainWindowWithoutLogin();
    void handOverWithWrongSettingsShowsTheLogin();
    void handOverWithTooFewFieldsIsReported();
    void bannerStretchesFromItsMiddleSlice();
};

void MainWindowTest::receptionistGetsOnlyHerItems()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
    QVERIFY(f.main());
    QVERIFY(f.enabled("投诉管理"));
    QVERIFY(f.enabled("投诉接待"));
    QVERIFY(f.enabled("投诉信息统计"));
    QVERIFY(!f.enabled("投诉受理"));
    QVERIFY(!f.enabled("投诉处理C"));
    QVERIFY(!f.enabled("基础设置TS"));
    QVERIFY(!f.enabled("投诉类别设置"));
    for (const char *always : {"H11", "其它模块", "退出系统", "退出", "注销", "关于", "关于软件", "联系我们"})
        QVERIFY2(f.enabled(always), always);
}

void MainWindowTest::anEnablingRowWinsOverADisablingOne()
{
    // Post 202 is in group JD (投诉接待 enabled) and CX (投诉接待 disabled).
    ShellFixture f;
    f.logIn(QStringLiteral("1008"), QStringLiteral("1234"));
    QCOMPARE(gPostCode, QStringLiteral("202"));
    QVERIFY(f.enabled("投诉接待"));
    // Whatever number the suite uses for "true": -1 sorts before 0 yet still wins.
    f.database.exec(QStringLiteral("UPDATE GroupPrivilege SET Popedom = -1 WHERE GroupID = 'JD'"));
    f.main()->权限设置();
    QVERIFY(f.enabled("投诉接待"));
}

void MainWindowTest::subItemCanBeEnabledUnderADisabledMenu()
{
    ShellFixture f;
    f.database.exec(
        QStringLiteral("INSERT INTO GroupPrivilege (GroupID, FormName, Popedom) VALUES ('JD', '投诉类别设置', 1),"
                       " ('JD', '不存在的菜单', 1)"));
    f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
    QVERIFY(f.enabled("投诉类别设置"));
    QVERIFY(!f.enabled("基础设置TS"));       // present but unreachable
    QVERIFY(f.messages.messages.isEmpty());  // unknown names are ignored
}

void MainWindowTest::postWithoutRowsKeepsOnlyTheAlwaysAvailableItems()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1011"), QStringLiteral("1234"));  // post 503: its only membership is not in force
    QCOMPARE(gPostCode, QStringLiteral("503"));
    for (QAction *item : f.main()->items()) {
        static const QStringList always = {"H11",  "其它模块", "退出系统", "退出",
                                           "注销", "关于",     "关于软件", "联系我们"};
        QCOMPARE(item->isEnabled(), always.contains(item->objectName()));
    }
    QVERIFY(f.messages.messages.isEmpty());
}

void MainWindowTest::databaseErrorGivesTheNumberedReport()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
    f.database.exec(QStringLiteral("DROP TABLE GroupPrivilege"));
    f.main()->权限设置();
    QCOMPARE(f.messages.count(), 1);
    QVERIFY(f.messages.last().startsWith(QStringLiteral("错误号：")));
    QVERIFY(f.messages.last().contains(QStringLiteral("\r\n错误描述：")));
    QCOMPARE(f.messages.messages.last().title, QStringLiteral("提示"));
    QVERIFY(!f.enabled("投诉接待"));
    QVERIFY(f.enabled("注销"));
}

void MainWindowTest::workWindowOpensOnce()
{
    ShellFixture f;
    f.logIn(QStringLiteral("pelOr"), QStringLiteral("brivet"));
    QWidget *first = f.main()->openItem(QStringLiteral("关于软件"));
    QWidget *again = f.main()->openItem(QStringLiteral("关于软件"));
    QCOMPARE(first, again);
    QCOMPARE(first->objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(f.main()->mdiArea()->subWindowList().size(), 1);
    f.main()->item(QStringLiteral("投诉接待"))->trigger();
    QCOMPARE(f.main()->mdiArea()->subWindowList().size(), 2);
    // Closing a work window lets the item open it anew.
    f.main()->mdiArea()->closeAllSubWindows();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.main()->openItem(QStringLiteral("关于软件")) != nullptr);
    QCOMPARE(f.main()->mdiArea()->subWindowList().size(), 1);
}

void MainWindowTest::maximizedWindowsFillTheAreaSmallOnesAreCentred()
{
    ShellFixture f;
    f.logIn(QStringLiteral("pelOr"), QStringLiteral("brivet"));
    f.main()->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.main()));
    QMdiArea *area = f.main()->mdiArea();
    const QSize client = area->viewport()->size();
    const auto frameOf = [](QWidget *window) { return qobject_cast<QMdiSubWindow *>(window->parentWidget()); };
    const auto fills = [&](QWidget *window) {
        QMdiSubWindow *frame = frameOf(window);
        return frame && frame->isMaximized() && frame->geometry() == QRect(QPoint(0, 0), client) &&
               window->width() >=
                   client.width() - 2 * frame->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth) - 2;
    };
    const auto centred = [&](QWidget *window) {
        QMdiSubWindow *frame = frameOf(window);
        if (!frame || frame->isMaximized()) return false;
        const QPoint centre = frame->geometry().center();
        return qAbs(centre.x() - client.width() / 2) <= 2 && qAbs(centre.y() - client.height() / 2) <= 2;
    };
    // Every order: a small window first, a wide one after another wide one, a small one over a
    // maximized one.
    QWidget *category = f.main()->openItem(QStringLiteral("投诉类别设置"));
    QVERIFY(centred(category));
    QWidget *reception = f.main()->openItem(QStringLiteral("投诉接待"));
    QVERIFY(fills(reception));
    QWidget *statistics = f.main()->openItem(QStringLiteral("投诉信息统计"));
    QVERIFY(fills(statistics));
    QWidget *about = f.main()->openItem(QStringLiteral("关于软件"));
    QVERIFY(centred(about));
    QCOMPARE(f.main()->openItem(QStringLiteral("投诉类别设置")), category);
    QVERIFY(centred(category));
    QCOMPARE(f.main()->openItem(QStringLiteral("投诉接待")), reception);
    QVERIFY(fills(reception));
    QWidget *channels = f.main()->openItem(QStringLiteral("投诉方式设置"));
    QVERIFY(centred(channels));
}

// Every control of the wide work windows can be seen whole at the main window's first size.
void MainWindowTest::workWindowsFitTheFirstSize()
{
    ShellFixture f;
    f.logIn(QStringLiteral("pelOr"), QStringLiteral("brivet"));
    QCOMPARE(f.main()->size(), QSize(1024, 720));
    f.main()->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.main()));
    for (const QString &item : {QStringLiteral("投诉接待"), QStringLiteral("投诉受理"), QStringLiteral("投诉处理C"),
                                QStringLiteral("投诉信息统计")}) {
        QWidget *window = f.main()->openItem(item);
        QApplication::processEvents();
        QStringList cut;
        for (QWidget *control : window->findChildren<QWidget *>()) {
            if (!control->isVisibleTo(window) || control->isWindow()) continue;
            if (!qobject_cast<QAbstractButton *>(control) && !qobject_cast<QLineEdit *>(control) &&
                !qobject_cast<QComboBox *>(control) && !qobject_cast<QLabel *>(control) &&
                !qobject_cast<QAbstractScrollArea *>(control) && !qobject_cast<QAbstractSpinBox *>(control))
                continue;
            // Inside every frame around it, up to the window.
            for (QWidget *w = control; w != window; w = w->parentWidget()) {
                const QRect inParent = w->geometry();
                if (!QRect(QPoint(0, 0), w->parentWidget()->size()).contains(inParent)) {
                    cut << QStringLiteral("%1 (%2)").arg(control->objectName(), control->metaObject()->className());
                    break;
                }
            }
        }
        QVERIFY2(cut.isEmpty(), qPrintable(item + QStringLiteral(": ") + cut.join(QStringLiteral(", "))));
        QVERIFY(window->parentWidget()->isMaximized());
    }
    // Every other window opens whole inside the area: its title bar and buttons in reach.
    auto *area = f.main()->findChild<QMdiArea *>();
    const QRect room(QPoint(0, 0), area->viewport()->size());
    for (const QString &item : {QStringLiteral("投诉回访"), QStringLiteral("投诉分析"), QStringLiteral("投诉类别设置"),
                                QStringLiteral("投诉方式设置"), QStringLiteral("投诉处理人设置")}) {
        QWidget *window = f.main()->openItem(item);
        QApplication::processEvents();
        const QRect frame = window->parentWidget()->geometry();
        QVERIFY2(room.contains(frame), qPrintable(QStringLiteral("%1: %2,%3 %4x%5 in %6x%7")
                                                      .arg(item)
                                                      .arg(frame.x())
                                                      .arg(frame.y())
                                                      .arg(frame.width())
                                                      .arg(frame.height())
                                                      .arg(room.width())
                                                      .arg(room.height())));
    }
}

void MainWindowTest::standAloneLogoutSwitchesUserAndReappliesPermissions()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
    f.main()->openItem(QStringLiteral("关于软件"));
    ModalDriver driver([](QDialog *dialog) {
        auto *login = qobject_cast<LoginWindow *>(dialog);
        if (!login || !login->isSwitching()) qFatal("expected the login window in switch mode");
        if (!ShellFixture::child<QLineEdit>(login, "txtPassword")->text().isEmpty()) qFatal("password not emptied");
        ShellFixture::logIn(login, QStringLiteral("1002"), QStringLiteral("1234"));
        auto *list = ShellFixture::child<QListWidget>(login, "List1");
        list->setCurrentRow(0);
        login->chooseListedPost();
        return int(QDialog::Accepted);
    });
    f.main()->item(QStringLiteral("注销"))->trigger();
    QCOMPARE(driver.runs, 1);
    QVERIFY(f.main()->mdiArea()->subWindowList().isEmpty());
    QCOMPARE(gPostCode, QStringLiteral("501"));
    QVERIFY(f.enabled("投诉受理"));
    QVERIFY(!f.enabled("基础设置TS"));
    QVERIFY(!ProgramEndRecorder::ended());
}

void MainWindowTest::switchToTheSuperUserEnablesEverything()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
    ModalDriver driver([](QDialog *dialog) {
        ShellFixture::logIn(qobject_cast<LoginWindow *>(dialog), QStringLiteral("pelOr"), QStringLiteral("brivet"));
        return int(QDialog::Accepted);
    });
    f.main()->logout();
    QCOMPARE(gUserID, QStringLiteral("超级用户"));
    for (QAction *item : f.main()->items()) QVERIFY2(item->isEnabled(), qPrintable(item->objectName()));
}

// A work window whose user keeps what was typed stays open, and so does the session.
void MainWindowTest::logoutKeepsAWindowWithUnsavedInput()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
    QWidget *reception = f.main()->openItem(QStringLiteral("投诉接待"));
    QTest::mouseClick(ShellFixture::child<QPushButton>(reception, "Command3"), Qt::LeftButton);
    QTest::keyClicks(ShellFixture::child<QLineEdit>(reception, "Text1(1)"), QStringLiteral("Zhou"));
    ModalDriver driver([](QDialog *) { return int(QDialog::Rejected); });
    f.messages.answers = {Messages::Answer::No};
    f.main()->logout();
    QCOMPARE(f.messages.last(), QStringLiteral("投诉信息尚未保存，是否放弃修改？"));
    QCOMPARE(driver.runs, 0);
    QCOMPARE(f.main()->mdiArea()->subWindowList().size(), 1);
    QCOMPARE(ShellFixture::child<QLineEdit>(reception, "Text1(1)")->text(), QStringLiteral("Zhou"));
    QCOMPARE(gUserID, QStringLiteral("1001"));
}

void MainWindowTest::moduleLogoutWritesTheMessageFile()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
    gCommandLine = QStringLiteral("1001,张晓燕,5,翠苑物业服务中心,502,前台接待员,03,服务中心,03,操作岗位");
    const QString file = Platform::programFolder() + QStringLiteral("/Command.Dll");
    QFile::remove(file);
    ModalDriver driver([](QDialog *) { return int(QDialog::Rejected); });
    const bool receptionBefore = f.enabled("投诉接待");
    f.main()->logout();
    QCOMPARE(driver.runs, 0);  // no login window as a module
    QFile message(file);
    QVERIFY(message.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(message.readAll()), QStringLiteral("注销\r\n"));
    message.remove();
    // There is no suite window here: that is reported, and the permissions stay as they were.
    QCOMPARE(f.messages.last(), QStringLiteral("找不到主程序窗口“Tavimor系统2011版”。"));
    QCOMPARE(f.enabled("投诉接待"), receptionBefore);
}

void MainWindowTest::otherModulesStandAlone()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
    f.main()->item(QStringLiteral("其它模块"))->trigger();
    QCOMPARE(f.messages.last(), QStringLiteral("对不起，您不属于多模块系统。"));
    QCOMPARE(f.messages.messages.last().icon, Messages::Icon::None);
}

void MainWindowTest::handOverOpensTheMainWindowWithoutLogin()
{
    TestDatabase database(true);
    MessageRecorder messages;
    auto *login = new LoginWindow;
    QVERIFY(login->load(
        QStringLiteral(" 1002 ,李建国,5,翠苑物业服务中心,501,服务中心主任,03,服务中心,01,领导岗位,extra,more")));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(MainWindow::instance());
    QCOMPARE(gUserID, QStringLiteral(" 1002 "));  // copied as handed over
    QCOMPARE(gPostCode, QStringLiteral("501"));
    QCOMPARE(gPostTypeName, QStringLiteral("领导岗位"));
    QVERIFY(MainWindow::instance()->item(QStringLiteral("投诉受理"))->isEnabled());
    QVERIFY(messages.messages.isEmpty());
    delete MainWindow::instance();
}

void MainWindowTest::handOverWithWrongSettingsShowsTheLogin()
{
    TestDatabase database(true);
    MessageRecorder messages;
    Settings::overrideForThisRun(ConnectionSettings{QStringLiteral("sqlite:/nonexistent/x.sqlite"), {}, {}, {}});
    LoginWindow login;
    QVERIFY(!login.load(QStringLiteral("1001,张晓燕,5,翠苑物业服务中心,502,前台接待员,03,服务中心,03,操作岗位")));
    QCOMPARE(messages.count(), 2);
    QVERIFY(messages.messages.at(0).text.startsWith(QStringLiteral("错误信息：")));
    QCOMPARE(messages.messages.at(1).text, QStringLiteral("数据库连接失败!"));
    QCOMPARE(ShellFixture::child<QLabel>(&login, "Label1")->text(), QStringLiteral("V1.0版"));
    QCOMPARE(gPostCode, QStringLiteral("502"));  // kept until the login button is pressed
    QVERIFY(!MainWindow::instance());
}

void MainWindowTest::handOverWithTooFewFieldsIsReported()
{
    TestDatabase database(true);
    MessageRecorder messages;
    LoginWindow login;
    QVERIFY(!login.load(QStringLiteral("1001,张晓燕,5,翠苑物业服务中心,502,前台接待员,03,服务中心,03")));
    QCOMPARE(messages.count(), 1);
    QVERIFY(messages.last().contains(QStringLiteral("10")));
    QVERIFY(gUserID.isEmpty());
    QVERIFY(!MainWindow::instance());
}

void MainWindowTest::bannerStretchesFromItsMiddleSlice()
{
    BannerStrip strip;
    QImage picture(1028, 54, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int x = 590; x < 610; ++x)
        for (int y = 0; y < 54; ++y) picture.setPixel(x, y, qRgb(255, 0, 0));  // the repeated slice
    for (int y = 0; y < 54; ++y) picture.setPixel(1027, y, qRgb(0, 0, 255));   // the right-hand end
    strip.setPicture(picture);
    // 13150 twips (876 px): no slice, yet the right-hand end is drawn at width - 4000 twips.
    QImage narrow = strip.render(876, 54);
    QCOMPARE(QColor(narrow.pixel(875 - 1, 20)).blue() > 0, true);
    QImage wide = strip.render(1600, 54);
    // Slices repeat the red band from x = 8850 + 300 i twips until the right-hand end.
    QCOMPARE(QColor(wide.pixel(620, 20)), QColor(Qt::red));
    QCOMPARE(QColor(wide.pixel(1000, 20)), QColor(Qt::red));
    QVERIFY(QColor(wide.pixel(1599, 20)).blue() > 200);
    // A missing picture gives an empty strip, not a crash.
    BannerStrip empty;
    QCOMPARE(empty.render(800, 54).size(), QSize(800, 54));
}

TAVIMOR_TEST(MainWindowTest)
#include "MainWindowTest.moc"
