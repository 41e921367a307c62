#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include "ReplayDatabase.h"
#include "TestRegistry.h"
#include "common/Session.h"
#include "data/DbError.h"

namespace {

// The number of the failure that running `sql` over the endpoint meets, 0 when none.
int failureOf(const QString &sql, const QVariantList &params = {})
{
    try {
        if (sql.startsWith(QLatin1String("SELECT"))) gConn.select(sql, params);
        else gConn.execute(sql, params);
    } catch (const DbError &e) {
        return e.number();
    }
    return 0;
}

QString storedComplainant(ReplayDatabase &replay)
{
    return replay.db().value(QStringLiteral("SELECT 投诉人 FROM 投诉信息 WHERE ID = 1")).toString();
}

}  // namespace

// The endpoint's replay answers as the server of its profile would: the statements run on the
// test's SQLite file, but comparisons, limits, dates and collations are the server's.
class ServerProfileTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { TestDatabase::clearSession(); }

    // Under a _CI_ collation "=", IN, GROUP BY and the unique index ignore case, width and trailing
    // blanks; a time bound to a statement arrives with its hour whole.
    void textComparesAsItsCollationDoes()
    {
        ReplayDatabase replay(QStringLiteral("plain"));
        TDS_START(replay.endpoint);
        replay.open();
        replay.db().exec(QStringLiteral("DELETE FROM 投诉类别"));
        replay.db().exec(
            QStringLiteral("INSERT INTO 投诉类别 (编号, 类别) VALUES ('ab', '噪音'), ('AB', '漏水'), "
                           "('x', '电梯')"));
        QCOMPARE(gConn
                     .select(QStringLiteral("SELECT 类别 FROM 投诉类别 WHERE 编号 = ? ORDER BY 类别"),
                             {QStringLiteral("ａｂ ")})
                     .size(),
                 2);
        QCOMPARE(gConn
                     .scalar(QStringLiteral("SELECT count(*) FROM 投诉类别 WHERE 编号 IN (?, ?)"),
                             {QStringLiteral("X"), QStringLiteral("y")})
                     .toInt(),
                 1);
        QCOMPARE(gConn.select(QStringLiteral("SELECT 编号, count(*) AS n FROM 投诉类别 GROUP BY 编号")).size(), 2);
        // Another complaint with the code of the first, in other letters: the unique index refuses it.
        replay.db().exec(QStringLiteral("UPDATE 投诉信息 SET 投诉编号 = 'a0000001' WHERE ID = 1"));
        QCOMPARE(
            failureOf(QStringLiteral("UPDATE 投诉信息 SET 投诉编号 = ? WHERE ID = 2"), {QStringLiteral("A0000001")}),
            2601);
        QVERIFY(replay.db().value(QStringLiteral("SELECT 投诉编号 FROM 投诉信息 WHERE ID = 2")).toString() !=
                QLatin1String("A0000001"));

        gConn.execute(QStringLiteral("UPDATE 投诉信息 SET 投诉时间 = ? WHERE ID = 1"),
                      {QDateTime(QDate(2026, 3, 15), QTime(9, 5, 7))});
        QCOMPARE(replay.db().value(QStringLiteral("SELECT 投诉时间 FROM 投诉信息 WHERE ID = 1")).toString(),
                 QStringLiteral("2026-03-15 09:05:07"));
    }

    // What the column cannot hold is refused with the server's number and nothing is stored:
    // VARCHAR counts bytes of its code page, NVARCHAR characters; a DATETIME holds 1753 to 9999; a
    // text compared with a DATETIME must convert; DATEDIFF in seconds stops at 68 years.
    void serverRefusesWhatItCannotHold_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("tooLong");
        QTest::newRow("plain") << "plain" << 8152;
        QTest::newRow("legacy") << "legacy" << 8152;
        QTest::newRow("mixed") << "mixed" << 2628;
    }
    void serverRefusesWhatItCannotHold()
    {
        QFETCH(QString, profile);
        QFETCH(int, tooLong);
        ReplayDatabase replay(profile);
        TDS_START(replay.endpoint);
        replay.open();
        const QString update = QStringLiteral("UPDATE 投诉信息 SET 投诉人 = ? WHERE ID = 1");
        const QString before = storedComplainant(replay);
        // Eleven Chinese characters are 22 bytes: too many for legacy's VARCHAR(20), not for NVARCHAR(100).
        const QString eleven = QStringLiteral("欧阳").repeated(5) + QStringLiteral("明");
        QCOMPARE(failureOf(update, {eleven}), profile == QLatin1String("legacy") ? 8152 : 0);
        QCOMPARE(failureOf(update, {QStringLiteral("长").repeated(101)}), tooLong);
        QCOMPARE(storedComplainant(replay), profile == QLatin1String("legacy") ? before : eleven);
        QCOMPARE(failureOf(update, {QStringLiteral("长").repeated(10)}), 0);

        QCOMPARE(failureOf(QStringLiteral("UPDATE 投诉信息 SET 处理时间 = ? WHERE ID = 1"),
                           {QDateTime(QDate(1700, 1, 1), QTime(8, 0))}),
                 242);
        QCOMPARE(failureOf(QStringLiteral("UPDATE 投诉信息 SET 处理时间 = ? WHERE ID = 1"),
                           {QDateTime(QDate(1753, 1, 1), QTime(8, 0))}),
                 0);
        QCOMPARE(failureOf(QStringLiteral("SELECT ID FROM 投诉信息 WHERE 投诉时间 >= ?"), {QStringLiteral("昨天")}),
                 241);
        QCOMPARE(failureOf(QStringLiteral("SELECT DATEDIFF(second, 投诉时间, ?) FROM 投诉信息"),
                           {QDateTime(QDate(2100, 1, 1), QTime(0, 0))}),
                 535);
        QCOMPARE(failureOf(QStringLiteral("SELECT DATEDIFF(second, 投诉时间, ?) FROM 投诉信息"),
                           {QDateTime(QDate(2060, 1, 1), QTime(0, 0))}),
                 0);
        // A character outside the code page reaches a VARCHAR column as "?".
        gConn.execute(update, {QStringLiteral("王䶮")});
        QCOMPARE(storedComplainant(replay),
                 profile == QLatin1String("legacy") ? QStringLiteral("王?") : QStringLiteral("王䶮"));
    }

    // Two columns of different collations meet only through a COLLATE clause; a text literal
    // without N is in the database's code page; CHAR(n) compares without its padding.
    void collationsMeetOnlyWhereTheServerLetsThem()
    {
        ReplayDatabase mixed(QStringLiteral("mixed"));
        TDS_START(mixed.endpoint);
        mixed.open();
        const QString join =
            QStringLiteral("SELECT count(*) FROM 投诉信息 a JOIN 设置管理处 b ON b.GYD_DH = a.管理处代号%1");
        QCOMPARE(failureOf(join.arg(QString())), 468);
        const int joined = mixed.db().value(join.arg(QString())).toInt();
        QVERIFY(joined > 0);
        QCOMPARE(gConn.scalar(join.arg(QStringLiteral(" COLLATE DATABASE_DEFAULT"))).toInt(), joined);
        const QString pending = QStringLiteral("SELECT count(*) FROM 投诉信息 WHERE 处理状态 = %1'尚未受理'");
        QVERIFY(gConn.scalar(pending.arg(QStringLiteral("N"))).toInt() > 0);
        QCOMPARE(gConn.scalar(pending.arg(QString())).toInt(), 0);
        gConn.close();

        ReplayDatabase legacy(QStringLiteral("legacy"));
        TDS_START(legacy.endpoint);
        legacy.open();
        // The CHAR(10) number arrives padded and is read without its blanks; "=" ignores them too.
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT 工号 FROM 员工档案 WHERE 工号 = ?"), {QStringLiteral("1001  ")})
                     .toString(),
                 QStringLiteral("1001"));
    }

    // Statements that a real server answers only by reading a whole index or table are written to
    // the record: a function around an indexed column of the register, and an NVARCHAR parameter
    // against a VARCHAR column under a SQL_ collation.
    void scanWarningsAreRecorded()
    {
        QTemporaryDir dir;
        const QString profile = dir.filePath(QStringLiteral("latin.json"));
        QFile file(profile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument::fromJson(R"json({"collation": "SQL_Latin1_General_CP1_CI_AS",
            "tables": {"设置管理处": {"columns": {"GYD_DH": "varchar(10)", "Gyd_name": "varchar(100)"}},
                       "投诉信息": {"columns": {"投诉时间": "datetime", "部门编号": "nvarchar(20)"},
                                    "indexed": ["投诉时间", "部门编号"]}}})json")
                       .toJson());
        file.close();
        ReplayDatabase replay(profile);
        TDS_START(replay.endpoint);
        replay.open();
        replay.endpoint.clearRecord();
        gConn.select(QStringLiteral("SELECT ID FROM 投诉信息 WHERE 部门编号 = ? AND 投诉时间 >= ?"),
                     {QStringLiteral("5"), QDateTime(QDate(2026, 1, 1), QTime(0, 0))});
        QCOMPARE(replay.endpoint.scanWarnings().size(), 0);
        gConn.select(QStringLiteral("SELECT ID FROM 投诉信息 WHERE CONVERT(date, 投诉时间) = ?"), {QDate(2026, 1, 1)});
        gConn.select(QStringLiteral("SELECT Gyd_name FROM 设置管理处 WHERE GYD_DH = ?"), {QStringLiteral("1")});
        const auto warnings = replay.endpoint.scanWarnings();
        QCOMPARE(warnings.size(), 2);
        QVERIFY(warnings.at(0).first.contains(QStringLiteral("CONVERT(date, 投诉时间)")));
        QVERIFY(warnings.at(0).second.contains(QStringLiteral("投诉信息.投诉时间")));
        QVERIFY(warnings.at(1).second.contains(QStringLiteral("设置管理处.GYD_DH")));
    }
};

TAVIMOR_TEST(ServerProfileTest)
#include "ServerProfileTest.moc"
