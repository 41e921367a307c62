#include "ShellFixture.h"
#include "TestRegistry.h"
#include "common/Session.h"
#include "common/Settings.h"

// The login window driven through its controls on the demo database.
class LoginTest : public QObject {
    Q_OBJECT
private slots:
    void emptyFieldsAreRefusedFirst();
    void superUserIsExactAndNeedsNoRow();
    void passwordIsTrimmedButTheNumberIsNot();
    void quotesCannotAlterTheStatements();
    void employeeWhoLeftHasNoPost();
    void singlePostOpensTheMainWindowAtOnce();
    void twoPostsAreOfferedInDatabaseOrder();
    void focusOnTheNumberHidesThePosts();
    void enterMovesToTheNextControl();
    void connectionFailureEndsTheProgram();
    void quitEndsTheProgram();
};

void LoginTest::emptyFieldsAreRefusedFirst()
{
    ShellFixture f;
    f.logIn(QString(), QStringLiteral("1234"));
    f.logIn(QStringLiteral("1001"), QString());
    QCOMPARE(f.messages.texts(), (QStringList{QStringLiteral("用户名不能为空!"), QStringLiteral("密码不能为空!")}));
    QCOMPARE(f.messages.messages.at(0).icon, Messages::Icon::Information);
    QVERIFY(!f.main());
}

void LoginTest::superUserIsExactAndNeedsNoRow()
{
    ShellFixture f;
    gUserName = QStringLiteral("kept");
    for (const QString &user : {QStringLiteral("PELOR"), QStringLiteral("pelOr ")}) {
        f.logIn(user, QStringLiteral("brivet"));
        QCOMPARE(f.messages.last(), QStringLiteral("用户名或密码不正确,请重新输入!"));
        QVERIFY(!f.main());
    }
    f.logIn(QStringLiteral("pelOr"), QStringLiteral("brivet"));
    QVERIFY(f.main());
    QCOMPARE(gUserID, QStringLiteral("超级用户"));
    QVERIFY(gPostCode.isEmpty());
    QCOMPARE(gUserName, QStringLiteral("kept"));  // the login never clears the name
    for (QAction *item : f.main()->items()) QVERIFY2(item->isEnabled(), qPrintable(item->objectName()));
}

void LoginTest::passwordIsTrimmedButTheNumberIsNot()
{
    ShellFixture f;
    f.logIn(QStringLiteral(" 1001"), QStringLiteral("1234"));
    QCOMPARE(f.messages.last(), QStringLiteral("用户名或密码不正确,请重新输入!"));
    f.logIn(QStringLiteral("1001"), QStringLiteral("wrong"));
    QCOMPARE(f.messages.count(), 2);
    QVERIFY(gUserID.isEmpty());
    f.logIn(QStringLiteral("1001"), QStringLiteral("  1234 "));
    QVERIFY(f.main());
    QCOMPARE(gUserID, QStringLiteral("1001"));
}

void LoginTest::quotesCannotAlterTheStatements()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1001"), QStringLiteral("' OR '1'='1"));
    f.logIn(QStringLiteral("1001' --"), QStringLiteral("x"));
    QCOMPARE(f.messages.texts(), QStringList(2, QStringLiteral("用户名或密码不正确,请重新输入!")));
    QVERIFY(!f.main());
}

void LoginTest::employeeWhoLeftHasNoPost()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1005"), QStringLiteral("1234"));
    QCOMPARE(f.messages.last(), QStringLiteral("对不起，您没有岗位，请选择系统管理员"));
    QCOMPARE(f.messages.messages.last().icon, Messages::Icon::None);
    QVERIFY(!f.main());
    QVERIFY(gUserID.isEmpty());
}

void LoginTest::singlePostOpensTheMainWindowAtOnce()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
    QVERIFY(f.main());
    QVERIFY(f.posts()->isHidden());
    QCOMPARE(gUserName, QStringLiteral("张晓燕"));
    QCOMPARE(gDeptCode, QStringLiteral("5"));
    QCOMPARE(gDeptName, QStringLiteral("翠苑物业服务中心"));
    QCOMPARE(gPostCode, QStringLiteral("502"));
    QCOMPARE(gPostName, QStringLiteral("前台接待员"));
    QCOMPARE(gDeptTypeCode, QStringLiteral("03"));
    QCOMPARE(gDeptTypeName, QStringLiteral("服务中心"));
    QCOMPARE(gPostTypeCode, QStringLiteral("03"));
    QCOMPARE(gPostTypeName, QStringLiteral("操作岗位"));
}

void LoginTest::twoPostsAreOfferedInDatabaseOrder()
{
    ShellFixture f;
    f.logIn(QStringLiteral("1002"), QStringLiteral("1234"));
    QVERIFY(!f.main());
    QListWidget *list = f.posts();
    QVERIFY(list->isVisible());
    QVERIFY(ShellFixture::child<QWidget>(f.login, "Label2")->isVisible());
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("翠苑物业服务中心 服务中心主任(主要)"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("客户服务部 客服专员(兼职)"));
    list->setCurrentRow(1);
    emit list->itemDoubleClicked(list->item(1));
    QVERIFY(f.main());
    QCOMPARE(gPostCode, QStringLiteral("202"));
    QCOMPARE(gDeptCode, QStringLiteral("2"));
}

void LoginTest::focusOnTheNumberHidesThePosts()
{
    ShellFixture f;
    QApplication::setActiveWindow(f.login);
    QVERIFY(QTest::qWaitForWindowActive(f.login));
    f.logIn(QStringLiteral("1002"), QStringLiteral("1234"));
    QVERIFY(f.posts()->isVisible());
    QLineEdit *user = ShellFixture::child<QLineEdit>(f.login, "TxtUser");
    user->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    QVERIFY(f.posts()->isHidden());
    QVERIFY(ShellFixture::child<QWidget>(f.login, "Label2")->isHidden());
}

void LoginTest::enterMovesToTheNextControl()
{
    ShellFixture f;
    QApplication::setActiveWindow(f.login);
    QVERIFY(QTest::qWaitForWindowActive(f.login));
    QLineEdit *user = ShellFixture::child<QLineEdit>(f.login, "TxtUser");
    QLineEdit *password = ShellFixture::child<QLineEdit>(f.login, "txtPassword");
    user->setFocus();
    QTest::keyClick(user, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), password);
    QTest::keyClick(password, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), ShellFixture::child<QWidget>(f.login, "cmdOK"));
    QVERIFY(f.messages.messages.isEmpty());  // Enter in a box never logs in by itself
    QVERIFY(!f.main());

    // Enter on the focused login button presses it, as on every desktop.
    user->setText(QStringLiteral("1001"));
    password->setText(QStringLiteral("1234"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(f.main());
    QCOMPARE(gUserID, QStringLiteral("1001"));
}

void LoginTest::connectionFailureEndsTheProgram()
{
    ShellFixture f;
    Settings::overrideForThisRun(ConnectionSettings{QStringLiteral("sqlite:/nonexistent/db.sqlite"), {}, {}, {}});
    f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
    QCOMPARE(f.messages.count(), 2);
    QVERIFY(f.messages.messages.at(0).text.startsWith(QStringLiteral("错误信息：")));
    QCOMPARE(f.messages.messages.at(0).title, Messages::programTitle());
    QCOMPARE(f.messages.messages.at(1).text, QStringLiteral("数据库连接失败!"));
    QCOMPARE(f.messages.messages.at(1).title, QStringLiteral("连接提示"));
    QVERIFY(ProgramEndRecorder::ended());
}

void LoginTest::quitEndsTheProgram()
{
    ShellFixture f;
    ShellFixture::child<QPushButton>(f.login, "cmdCancel")->click();
    QVERIFY(ProgramEndRecorder::ended());
}

TAVIMOR_TEST(LoginTest)
#include "LoginTest.moc"
