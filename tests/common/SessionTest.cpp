#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/Connection.h"
#include "common/Session.h"
#include "common/Settings.h"

// The session hand-over, the stored settings and the connection messages.
class SessionTest : public QObject {
    Q_OBJECT
private slots:
    void handOverTakesTheFirstTenFieldsAsTheyAre();
    void handOverWithTooFewFieldsChangesNothing();
    void loginAttemptKeepsOnlyTheName();
    void storedSettingsAreReadNeverWritten();
    void readmeExampleReadsAsShown();
    void missingSettingsReadAsEmptyAndFailWithBothMessages();
    void wrongServerGivesBothMessagesInOrder();
    void goodSettingsOpenTheSharedConnection();
};

void SessionTest::handOverTakesTheFirstTenFieldsAsTheyAre()
{
    TestDatabase::clearSession();
    QVERIFY(Session::takeHandOver(QStringLiteral(" 1001 ,张晓燕,5,翠苑,502,前台, 03,服务中心,03,操作岗位 ,11th,12th")));
    QCOMPARE(gUserID, QStringLiteral(" 1001 "));
    QCOMPARE(gUserName, QStringLiteral("张晓燕"));
    QCOMPARE(gPostCode, QStringLiteral("502"));
    QCOMPARE(gDeptTypeCode, QStringLiteral(" 03"));
    QCOMPARE(gPostTypeName, QStringLiteral("操作岗位 "));
    QVERIFY(Session::takeHandOver(QStringLiteral("a,b,c,d,e,f,g,h,i,j")));
    QCOMPARE(gPostTypeName, QStringLiteral("j"));
    QVERIFY(Session::takeHandOver(QStringLiteral(",,,,,,,,,")));  // ten empty fields
    QVERIFY(gUserID.isEmpty());
}

void SessionTest::handOverWithTooFewFieldsChangesNothing()
{
    TestDatabase::clearSession();
    gUserID = QStringLiteral("before");
    QVERIFY(!Session::takeHandOver(QStringLiteral("a,b,c,d,e,f,g,h,i")));
    QCOMPARE(gUserID, QStringLiteral("before"));
}

void SessionTest::loginAttemptKeepsOnlyTheName()
{
    QVERIFY(Session::takeHandOver(QStringLiteral("a,b,c,d,e,f,g,h,i,j")));
    Session::clearForLogin();
    QCOMPARE(gUserName, QStringLiteral("b"));
    for (const QString *g : {&gUserID, &gDeptCode, &gDeptName, &gPostCode, &gPostName, &gDeptTypeCode, &gDeptTypeName,
                             &gPostTypeCode, &gPostTypeName})
        QVERIFY(g->isEmpty());
}

static QString settingsFile() { return Settings::storedFile(); }

void SessionTest::storedSettingsAreReadNeverWritten()
{
    QCOMPARE(settingsFile(), QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                 QStringLiteral("/Tavimor2011/Tavimor2011.ini"));
    const QString file = settingsFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    // Written by hand, as an administrator does: every value is the text after the first "=".
    const QByteArray written =
        "; the suite's connection\r\n"
        "[Other]\r\nSvr=wrong\r\n"
        "[DBConfig]\r\n"
        "Svr=dbserver\\SQLEXPRESS\r\n"
        "uid = sa\r\n"
        "PWD=p,w;x=1 \"q\" ; not a comment\r\n"
        "DBname=物业管理\r\n"
        "PWD=second\r\n";
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\xEF\xBB\xBF" + written);
    }
    const ConnectionSettings s = Settings::readStored();
    QCOMPARE(s.server, QStringLiteral("dbserver\\SQLEXPRESS"));
    QCOMPARE(s.login, QStringLiteral(" sa"));
    QCOMPARE(s.password, QStringLiteral("p,w;x=1 \"q\" ; not a comment"));
    QCOMPARE(s.database, QStringLiteral("物业管理"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), "\xEF\xBB\xBF" + written);
    f.close();
    QFile::remove(file);

    // A port after a comma and an empty value read as written, too.
    const ConnectionSettings port = Settings::parseIni("[dbconfig]\nSvr=dbserver,1433\nPWD=\n");
    QCOMPARE(port.server, QStringLiteral("dbserver,1433"));
    QVERIFY(port.password.isEmpty() && port.login.isEmpty());
}

void SessionTest::readmeExampleReadsAsShown()
{
    QFile readme(QDir(qEnvironmentVariable("TAVIMOR_SOURCE_DIR")).filePath(QStringLiteral("README.md")));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QByteArray text = readme.readAll();
    const int start = text.indexOf("```ini\n");
    QVERIFY(start >= 0);
    const int end = text.indexOf("```", start + 7);
    const ConnectionSettings s = Settings::parseIni(text.mid(start + 7, end - start - 7));
    QCOMPARE(s.server, QStringLiteral("dbserver\\SQLEXPRESS"));
    QCOMPARE(s.login, QStringLiteral("complaints"));
    QCOMPARE(s.password, QStringLiteral("p,w;x=1"));
    QCOMPARE(s.database, QStringLiteral("物业管理"));
}

void SessionTest::missingSettingsReadAsEmptyAndFailWithBothMessages()
{
    QFile::remove(settingsFile());
    const ConnectionSettings s = Settings::readStored();
    QVERIFY(s.server.isEmpty() && s.login.isEmpty() && s.password.isEmpty() && s.database.isEmpty());
    // An empty sqlite: setting names no file at all.
    MessageRecorder messages;
    Settings::overrideForThisRun(ConnectionSettings{QStringLiteral("sqlite:"), {}, {}, {}});
    QVERIFY(!ConnectFromSettings());
    QCOMPARE(messages.count(), 2);
    QCOMPARE(messages.messages.at(1).text, QStringLiteral("数据库连接失败!"));
}

void SessionTest::wrongServerGivesBothMessagesInOrder()
{
    MessageRecorder messages;
    // A SQL Server that does not answer: nothing listens on port 1 of this machine.
    Settings::overrideForThisRun(ConnectionSettings{QStringLiteral("127.0.0.1,1"), QStringLiteral("sa"),
                                                    QStringLiteral("x"), QStringLiteral("物业")});
    QVERIFY(!ConnectFromSettings());
    QCOMPARE(messages.count(), 2);
    QVERIFY(messages.messages.at(0).text.startsWith(QStringLiteral("错误信息：")));
    QVERIFY(messages.messages.at(0).text.size() > 5);  // with the driver's description
    QCOMPARE(messages.messages.at(0).title, Messages::programTitle());
    QCOMPARE(messages.messages.at(0).icon, Messages::Icon::Information);
    QCOMPARE(messages.messages.at(1).text, QStringLiteral("数据库连接失败!"));
    QCOMPARE(messages.messages.at(1).title, QStringLiteral("连接提示"));
    QVERIFY(!gConn.isOpen());
}

void SessionTest::goodSettingsOpenTheSharedConnection()
{
    TestDatabase database;
    gConn.close();
    MessageRecorder messages;
    QVERIFY(ConnectFromSettings());
    QVERIFY(messages.messages.isEmpty());
    QVERIFY(gConn.isOpen());
    QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM 投诉信息")).toInt(), 0);
}

TAVIMOR_TEST(SessionTest)
#include "SessionTest.moc"
