#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "MessageRecorder.h"
#include "TdsEndpoint.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/FlexGrid.h"
#include "common/GridModel.h"
#include "common/Session.h"
#include "common/Settings.h"
#include "data/ColumnLengths.h"
#include "data/Database.h"
#include "data/OdbcConnection.h"
#include "intake/IntakeWindows.h"
#include "shell/SessionStore.h"

namespace {

QString utf16Hex(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return QString::fromLatin1(bytes.toHex());
}

// The values bound to the statements sent so far whose text contains `sql`.
QJsonArray argumentsOf(const TdsEndpoint &endpoint, const QString &sql)
{
    QJsonArray all;
    for (const QJsonObject &s : endpoint.statements())
        if (s[QStringLiteral("sql")].toString().contains(sql))
            for (const QJsonValue &a : s[QStringLiteral("arguments")].toArray()) all.append(a);
    return all;
}

int countOf(const QStringList &texts, const QString &part)
{
    int n = 0;
    for (const QString &t : texts) n += t.contains(part) ? 1 : 0;
    return n;
}

}  // namespace

// The SQL Server path end to end: the real Database over unixODBC and FreeTDS, against the
// test endpoint, which records what reaches the wire.
class OdbcBackendTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        gConn.close();
        TestDatabase::clearSession();
    }
    void everyTextTravelsAsNvarcharInUtf16_data();
    void everyTextTravelsAsNvarcharInUtf16();
    void sessionIsSetUpAfterEveryOpenOnTds74();
    void handWrittenPasswordsReachTheLoginWhole();
    void paddedEmployeeNumbersLogIn();
    void identityIsTakenWithoutABareOutput();
    void lockTimeOutIsToldAndTheWindowStaysUsable();
    void deadlockVictimIsRetriedOnce();
    void failedCommitLeavesACleanSession();
    void overlongValueNeverReachesTheServer();
};

void OdbcBackendTest::everyTextTravelsAsNvarcharInUtf16_data()
{
    QTest::addColumn<QString>("collation");
    QTest::newRow("chinese database") << "Chinese_PRC_CI_AS";
    QTest::newRow("latin database") << "SQL_Latin1_General_CP1_CI_AS";
}

void OdbcBackendTest::everyTextTravelsAsNvarcharInUtf16()
{
    QFETCH(QString, collation);
    const QStringList texts{QStringLiteral("王䶮01"), QStringLiteral("𠮷"), QStringLiteral("😀")};
    TdsEndpoint endpoint(
        {TdsEndpoint::rowCount(QStringLiteral("UPDATE 投诉信息"), 1),
         TdsEndpoint::rows(QStringLiteral("FROM 员工档案"),
                           {{"工号", "char(10)"}, {"姓名", "nvarchar(50)"}, {"代号", "nchar(6)"}, {"ID", "int"}},
                           {{QStringLiteral("1001"), texts[0] + texts[1] + texts[2], QStringLiteral("05"), 3}})},
        {{QStringLiteral("collation"), collation}});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    const QDateTime when(QDate(2026, 12, 8), QTime(17, 5, 9));
    QCOMPARE(db.execute(QStringLiteral("UPDATE 投诉信息 SET 投诉人 = ?, 地址 = ?, 联系电话 = ?, 处理结果 = ?,"
                                       " 投诉时间 = ? WHERE ID = ?"),
                        {texts[0], texts[1], texts[2], nullText(), when, 7}),
             1);
    const QJsonArray arguments = argumentsOf(endpoint, QStringLiteral("UPDATE 投诉信息"));
    QCOMPARE(arguments.size(), 6);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject a = arguments[i].toObject();
        QVERIFY2(a[QStringLiteral("type")].toString().startsWith(QLatin1String("nvarchar")),
                 qPrintable(a[QStringLiteral("type")].toString()));
        QCOMPARE(a[QStringLiteral("utf16_hex")].toString(), utf16Hex(texts[i]));
        QCOMPARE(a[QStringLiteral("value")].toString(), texts[i]);
    }
    QVERIFY(arguments[3].toObject()[QStringLiteral("type")].toString().startsWith(QLatin1String("nvarchar")));
    QVERIFY(arguments[3].toObject()[QStringLiteral("value")].isNull());
    QVERIFY(
        arguments[4].toObject()[QStringLiteral("value")].toString().startsWith(QLatin1String("2026-12-08 17:05:09")));
    QCOMPARE(arguments[5].toObject()[QStringLiteral("value")].toInt(), 7);

    // Text beyond NVARCHAR(4000) goes whole, as NVARCHAR(MAX).
    const QString longText = QString(5000, QLatin1Char('z')) + texts[1];
    db.execute(QStringLiteral("UPDATE 投诉信息 SET 投诉内容 = ? WHERE ID = 8"), {longText});
    const QJsonObject longArgument = argumentsOf(endpoint, QStringLiteral("WHERE ID = 8")).first().toObject();
    QVERIFY(longArgument[QStringLiteral("type")].toString().startsWith(QLatin1String("nvarchar")));
    QCOMPARE(longArgument[QStringLiteral("value")].toString(), longText);

    // What comes back is read as UTF-16 too; fixed-width codes without their padding.
    const Row row =
        db.select(QStringLiteral("SELECT 工号, 姓名, 代号, ID FROM 员工档案 WHERE 工号 = ?"), {QStringLiteral("1001")})
            .first();
    QCOMPARE(row.text(QStringLiteral("工号")), QStringLiteral("1001"));
    QCOMPARE(row.text(QStringLiteral("姓名")), texts.join(QString()));
    QCOMPARE(row.text(QStringLiteral("代号")), QStringLiteral("05"));
    QCOMPARE(row.number(QStringLiteral("ID")), 3);
}

void OdbcBackendTest::sessionIsSetUpAfterEveryOpenOnTds74()
{
    TdsEndpoint endpoint({TdsEndpoint::rowCount(QStringLiteral("WHERE ID = 1"), 1),
                          TdsEndpoint::rowCount(QStringLiteral("WHERE ID = 2"), 0)});
    TDS_START(endpoint);
    Database db;
    for (int open = 1; open <= 2; ++open) {
        db.open(endpoint.settings());
        const QList<QJsonObject> logins = endpoint.requests(QStringLiteral("login"));
        QCOMPARE(logins.size(), open);
        QCOMPARE(logins.last()[QStringLiteral("tds_version")].toString(), QStringLiteral("7.4"));
        // The first statement of the session sets it up, NOCOUNT first; the read of the columns follows.
        const QString first = endpoint.sqlTexts().value(open == 1 ? 0 : 4);
        QVERIFY(endpoint.sqlTexts().value(open == 1 ? 1 : 5).contains(QLatin1String("sys.columns")));
        QVERIFY2(first.startsWith(QLatin1String("SET NOCOUNT OFF")), qPrintable(first));
        QVERIFY(first.contains(QLatin1String("SET LOCK_TIMEOUT 5000")));
        QVERIFY(first.contains(QLatin1String("SET XACT_ABORT ON")));
        // Conditional writes judge success by the row count.
        QCOMPARE(db.execute(QStringLiteral("UPDATE 投诉信息 SET 撤销时间 = ? WHERE ID = 1"), {QDate(2026, 12, 8)}), 1);
        QCOMPARE(db.execute(QStringLiteral("UPDATE 投诉信息 SET 撤销时间 = ? WHERE ID = 2"), {QDate(2026, 12, 8)}), 0);
    }
}

void OdbcBackendTest::handWrittenPasswordsReachTheLoginWhole()
{
    TdsEndpoint endpoint;
    TDS_START(endpoint);
    const QString file = Settings::storedFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    const auto write = [&](const QString &password) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QStringLiteral("[DBConfig]\nSvr=127.0.0.1,%1\nUID=sa\nPWD=%2\nDBname=物业\n")
                    .arg(endpoint.port())
                    .arg(password)
                    .toUtf8());
    };
    const QStringList whole{QStringLiteral("p,w;x=1"), QStringLiteral("a}b"), QStringLiteral("p}w;x}"),
                            QStringLiteral("{p=w"), QStringLiteral(" 空格 ")};
    for (const QString &password : whole) {
        write(password);
        Database db;
        db.open(Settings::readStored());
        const QJsonObject login = endpoint.requests(QStringLiteral("login")).last();
        QCOMPARE(login[QStringLiteral("password")].toString(), password);
        QCOMPARE(login[QStringLiteral("password_utf16_hex")].toString(), utf16Hex(password));
        QCOMPARE(login[QStringLiteral("database")].toString(), QStringLiteral("物业"));
    }
    // A value that FreeTDS could only receive altered is refused before connecting, by name.
    const int logins = endpoint.requests(QStringLiteral("login")).size();
    write(QStringLiteral("a};UID=x"));
    Database db;
    try {
        db.open(Settings::readStored());
        QFAIL("connected with a password that cannot be passed");
    } catch (const DbError &e) {
        QVERIFY2(e.description().contains(QLatin1String("PWD")), qPrintable(e.description()));
    }
    QCOMPARE(endpoint.requests(QStringLiteral("login")).size(), logins);
    QFile::remove(file);
}

void OdbcBackendTest::paddedEmployeeNumbersLogIn()
{
    // The suite keeps the number in a fixed-width column: the server finds it by "=" and sends
    // it back with its blanks, once as CHAR (trimmed when read) and once as VARCHAR; the password
    // is compared by the program.
    TdsEndpoint endpoint(
        {TdsEndpoint::rows(QStringLiteral("FROM 员工档案"), {{"工号", "varchar(10)"}, {"帐号密码", "varchar(10)"}},
                           {{QStringLiteral("1001      "), QStringLiteral("1234")}})});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    const SessionStore store(db);
    QVERIFY(store.authenticate(QStringLiteral("1001"), QStringLiteral("1234")));
    QVERIFY(!store.authenticate(QStringLiteral(" 1001"), QStringLiteral("1234")));
    QVERIFY(!store.authenticate(QStringLiteral("1001"), QStringLiteral("12345")));
    endpoint.setScript(
        {TdsEndpoint::rows(QStringLiteral("FROM 员工档案"), {{"工号", "char(10)"}, {"帐号密码", "char(10)"}},
                           {{QStringLiteral("1001      "), QStringLiteral("1234      ")}})});
    QVERIFY(store.authenticate(QStringLiteral("1001"), QStringLiteral("1234")));
}

void OdbcBackendTest::identityIsTakenWithoutABareOutput()
{
    // The table has a trigger: a bare OUTPUT INSERTED is refused as the server refuses it.
    QJsonObject inserted = TdsEndpoint::rows(QStringLiteral("INSERT INTO 投诉类别"), {{"ID", "bigint"}}, {{42}});
    inserted[QStringLiteral("rowcount")] = 1;
    TdsEndpoint endpoint({TdsEndpoint::failure(QStringLiteral("OUTPUT\\s+INSERTED\\.\\w+\\s+VALUES"), 334,
                                               QStringLiteral("The target table cannot have enabled triggers"
                                                              " if the statement contains an OUTPUT clause"
                                                              " without INTO clause.")),
                          inserted});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    QCOMPARE(db.insert(QStringLiteral("投诉类别"), {{QStringLiteral("编号"), QStringLiteral("09")},
                                                    {QStringLiteral("类别"), QStringLiteral("绿化")}}),
             42);
    const QStringList texts = endpoint.sqlTexts();
    QCOMPARE(countOf(texts, QStringLiteral("INSERT INTO 投诉类别")), 1);
    const QString insert = texts.filter(QStringLiteral("INSERT INTO 投诉类别")).first();
    QVERIFY2(insert.contains(QLatin1String("SCOPE_IDENTITY()")), qPrintable(insert));
    QVERIFY(!insert.contains(QLatin1String("OUTPUT"), Qt::CaseInsensitive));
}

void OdbcBackendTest::lockTimeOutIsToldAndTheWindowStaysUsable()
{
    // The reception register of department 5 holds one pending complaint; another station holds
    // its row locked, so voiding it waits out the lock time-out.
    const QJsonObject reg =
        TdsEndpoint::rows(QStringLiteral("FROM 投诉信息 WHERE 部门编号"),
                          {{"ID", "int"},
                           {"投诉编号", "nvarchar(20)"},
                           {"投诉类别", "nvarchar(100)"},
                           {"投诉方式", "nvarchar(100)"},
                           {"投诉时间", "datetime"},
                           {"投诉人", "nvarchar(100)"},
                           {"地址", "nvarchar(200)"},
                           {"联系电话", "nvarchar(100)"},
                           {"投诉内容", "nvarchar(max)"},
                           {"接待人", "nvarchar(50)"},
                           {"处理状态", "nvarchar(20)"},
                           {"处理结果", "nvarchar(max)"},
                           {"处理时间", "datetime"},
                           {"S_ID", "int"},
                           {"管理处代号", "nvarchar(20)"}},
                          {{1, QStringLiteral("00000001"), QStringLiteral("噪音"), QStringLiteral("电话"),
                            QStringLiteral("2026-12-08 09:00:00"), QStringLiteral("王䶮"), QVariant(), QVariant(),
                            QStringLiteral("楼上装修"), QStringLiteral("张晓燕"), QStringLiteral("尚未受理"),
                            QVariant(), QVariant(), QVariant(), QStringLiteral("1")}});
    const QJsonObject locked = TdsEndpoint::failure(QStringLiteral("UPDATE 投诉信息 SET 撤销时间"), 1222,
                                                    QStringLiteral("Lock request time out period exceeded."));
    TdsEndpoint endpoint({locked, reg});
    TDS_START(endpoint);
    gConn.open(endpoint.settings());
    TestDatabase::login(QStringLiteral("1001"), QStringLiteral("张晓燕"), QStringLiteral("5"),
                        QStringLiteral("翠苑物业服务中心"), QStringLiteral("502"), QStringLiteral("前台接待员"));
    MessageRecorder messages;
    std::unique_ptr<QWidget> window(createReceptionWindow());
    window->show();
    auto *grid = window->findChild<FlexGrid *>(QStringLiteral("MSFlexGrid1"));
    auto *voidButton = window->findChild<QPushButton *>(QStringLiteral("Command13"));
    QVERIFY(grid && voidButton);
    QCOMPARE(grid->grid()->rowCount(), 1);
    const int before = messages.count();
    const QModelIndex cell = grid->grid()->index(0, 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
    QVERIFY(voidButton->isEnabled());

    voidButton->click();
    QCOMPARE(messages.count(), before + 1);
    QVERIFY2(messages.last().contains(SqlServerError::lockTimeoutMessage()), qPrintable(messages.last()));
    QVERIFY(messages.last().contains(QLatin1String("1222")));
    // The window goes on: the complaint is still listed, and once the lock is gone it is voided.
    QCOMPARE(grid->grid()->rowCount(), 1);
    endpoint.setScript({TdsEndpoint::rowCount(QStringLiteral("UPDATE 投诉信息 SET 撤销时间"), 1)});
    voidButton->click();
    QCOMPARE(messages.count(), before + 1);
    QCOMPARE(countOf(endpoint.sqlTexts(), QStringLiteral("UPDATE 投诉信息 SET 撤销时间")), 2);
    QCOMPARE(grid->grid()->rowCount(), 0);
}

void OdbcBackendTest::deadlockVictimIsRetriedOnce()
{
    const QString update = QStringLiteral("UPDATE 投诉类别 SET 类别");
    TdsEndpoint endpoint({TdsEndpoint::times(TdsEndpoint::failure(update, 1205, QStringLiteral("deadlock victim")), 1),
                          TdsEndpoint::rowCount(update, 1)});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    endpoint.clearRecord();
    const int changed = db.transaction([&] {
        return db.update(QStringLiteral("投诉类别"), {{QStringLiteral("类别"), QStringLiteral("噪音")}},
                         QStringLiteral("编号 = ?"), {QStringLiteral("01")});
    });
    QCOMPARE(changed, 1);
    QStringList texts = endpoint.sqlTexts();
    QCOMPARE(countOf(texts, update), 2);
    QCOMPARE(countOf(texts, QStringLiteral("BEGIN TRANSACTION")), 2);
    QCOMPARE(countOf(texts, QStringLiteral("ROLLBACK")), 1);
    QVERIFY(texts.last().contains(QLatin1String("COMMIT")));

    // Chosen twice: the user is told, after exactly one more try.
    endpoint.setScript({TdsEndpoint::failure(update, 1205, QStringLiteral("deadlock victim"))});
    endpoint.clearRecord();
    try {
        db.transaction([&] {
            db.update(QStringLiteral("投诉类别"), {{QStringLiteral("类别"), QStringLiteral("噪音")}},
                      QStringLiteral("编号 = ?"), {QStringLiteral("01")});
        });
        QFAIL("no failure");
    } catch (const DbError &e) {
        QCOMPARE(e.number(), 1205);
        QCOMPARE(e.description(), SqlServerError::deadlockMessage());
    }
    texts = endpoint.sqlTexts();
    QCOMPARE(countOf(texts, update), 2);
    QVERIFY(!db.inTransaction());
    // A statement of its own is tried once more as well.
    endpoint.clearRecord();
    QVERIFY_THROWS_EXCEPTION(DbError,
                             db.execute(QStringLiteral("UPDATE 投诉类别 SET 类别 = ?"), {QStringLiteral("x")}));
    QCOMPARE(countOf(endpoint.sqlTexts(), update), 2);
}

void OdbcBackendTest::failedCommitLeavesACleanSession()
{
    TdsEndpoint endpoint({TdsEndpoint::failure(QStringLiteral("^COMMIT"), 3902, QStringLiteral("commit failed")),
                          TdsEndpoint::rowCount(QStringLiteral("DELETE"), 1)});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    const auto work = [&] {
        db.execute(QStringLiteral("DELETE FROM 投诉类别 WHERE 编号 = ?"), {QStringLiteral("01")});
    };
    QVERIFY_THROWS_EXCEPTION(DbError, db.transaction(work));
    QVERIFY(!db.inTransaction());
    QCOMPARE(endpoint.sqlTexts().last(), QStringLiteral("ROLLBACK TRANSACTION"));
    QCOMPARE(endpoint.requests(QStringLiteral("login")).size(), 1);
    // The server may have ended the transaction itself (XACT_ABORT): the session is clean as well.
    endpoint.setScript({TdsEndpoint::failure(QStringLiteral("^COMMIT"), 3902, QStringLiteral("commit failed")),
                        TdsEndpoint::failure(QStringLiteral("ROLLBACK"), 3903, QStringLiteral("no transaction")),
                        TdsEndpoint::rowCount(QStringLiteral("DELETE"), 1)});
    QVERIFY_THROWS_EXCEPTION(DbError, db.transaction(work));
    QCOMPARE(endpoint.requests(QStringLiteral("login")).size(), 1);

    // When even the rollback fails, the session is replaced by a new one, set up as ever.
    endpoint.setScript(
        {TdsEndpoint::failure(QStringLiteral("^COMMIT"), 3902, QStringLiteral("commit failed")),
         TdsEndpoint::times(TdsEndpoint::failure(QStringLiteral("ROLLBACK"), 50000, QStringLiteral("no")), 1),
         TdsEndpoint::rowCount(QStringLiteral("DELETE"), 1)});
    QVERIFY_THROWS_EXCEPTION(DbError, db.transaction(work));
    QCOMPARE(endpoint.requests(QStringLiteral("login")).size(), 2);
    const QStringList texts = endpoint.sqlTexts();
    QVERIFY(texts.value(texts.size() - 2).startsWith(QLatin1String("SET NOCOUNT OFF")));
    QVERIFY(db.isOpen());
    endpoint.setScript({TdsEndpoint::rowCount(QStringLiteral("DELETE"), 1)});
    QCOMPARE(db.execute(QStringLiteral("DELETE FROM 投诉类别 WHERE 编号 = ?"), {QStringLiteral("01")}), 1);
}

void OdbcBackendTest::overlongValueNeverReachesTheServer()
{
    TdsEndpoint endpoint({TdsEndpoint::rowCount(QStringLiteral("投诉信息"), 1)});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    endpoint.clearRecord();
    const QString tooLong = QStringLiteral("𠮷").repeated(51);  // 102 of the server's units
    try {
        db.update(QStringLiteral("投诉信息"), {{QStringLiteral("投诉人"), tooLong}}, QStringLiteral("ID = ?"), {1});
        QFAIL("written");
    } catch (const DbError &e) {
        QVERIFY(e.description().contains(QStringLiteral("投诉人")));
    }
    QVERIFY_THROWS_EXCEPTION(DbError, db.insert(QStringLiteral("投诉信息"), {{QStringLiteral("投诉人"), tooLong}}));
    QVERIFY(endpoint.statements().isEmpty());
    QCOMPARE(db.update(QStringLiteral("投诉信息"), {{QStringLiteral("投诉人"), tooLong.left(100)}},
                       QStringLiteral("ID = ?"), {1}),
             1);
}

TAVIMOR_TEST(OdbcBackendTest)
#include "OdbcBackendTest.moc"
