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

static QString settingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tavimor2011/Tavimor2011.ini");
}

void SessionTest::storedSettingsAreReadNeverWritten()
{
    const QString file = settingsFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    {
        QSettings ini(file, QSettings::IniFormat);
        ini.beginGroup(QStringLiteral("DBConfig"));
        ini.setValue(QStringLiteral("Svr"), QStringLiteral("db;host"));
        ini.setValue(QStringLiteral("UID"), QStringLiteral("sa"));
        ini.setValue(QStringLiteral("PWD"), QStringLiteral("p'w}"));
        ini.setValue(QStringLiteral("DBname"), QStringLiteral("物业"));
    }
    const QByteArray before = [&] {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const ConnectionSettings s = Settings::readStored();
    QCOMPARE(s.server, QStringLiteral("db;host"));
    QCOMPARE(s.login, QStringLiteral("sa"));
    QCOMPARE(s.password, QStringLiteral("p'w}"));
    QCOMPARE(s.database, QStringLiteral("物业"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    f.close();
    QFile::remove(file);
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
    QCOMPARE(messages.messages.at(0).title, QStringLiteral("信息文本"));
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
