#include <QTest>

#include "TestRegistry.h"
#include "data/Database.h"
#include "data/Dialect.h"
#include "data/Scripts.h"

class DialectTest : public QObject {
    Q_OBJECT
private slots:
    void sqlServerTexts();
    void sqliteTexts();
    void dateTimesBindAsTheDialectStoresThem();
    void scriptsSplitIntoStatements();
};

void DialectTest::sqlServerTexts()
{
    const Dialect d(Dialect::SqlServer);
    QCOMPARE(d.concat({QStringLiteral("地址"), QStringLiteral("投诉人")}), QStringLiteral("地址 + 投诉人"));
    QCOMPARE(d.length(QStringLiteral("GYD_DH")), QStringLiteral("len(GYD_DH)"));
    QCOMPARE(d.naturalOrder(QStringLiteral("GYD_DH")), QStringLiteral("len(GYD_DH), GYD_DH"));
    QCOMPARE(d.dateOnly(QStringLiteral("投诉时间")), QStringLiteral("CONVERT(date, 投诉时间)"));
    QCOMPARE(
        d.insertReturningId(QStringLiteral("投诉方式"), {QStringLiteral("编号"), QStringLiteral("方式")}),
        QStringLiteral("INSERT INTO 投诉方式 (编号,方式) VALUES (?,?); SELECT CAST(SCOPE_IDENTITY() AS BIGINT) AS ID"));
    QCOMPARE(d.maxForUpdate(QStringLiteral("投诉信息"), QStringLiteral("流水号")),
             QStringLiteral("SELECT MAX(流水号) FROM 投诉信息 WITH (UPDLOCK, HOLDLOCK)"));
    QCOMPARE(d.beginTransaction(), QStringLiteral("BEGIN TRANSACTION"));
    QCOMPARE(QStringLiteral("SELECT id FROM 投诉类别") + d.lockingRead() + QStringLiteral(" WHERE 编号 = ?"),
             QStringLiteral("SELECT id FROM 投诉类别 WITH (UPDLOCK, HOLDLOCK) WHERE 编号 = ?"));
}

void DialectTest::sqliteTexts()
{
    const Dialect d(Dialect::Sqlite);
    QCOMPARE(d.concat({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}), QStringLiteral("a || b || c"));
    QCOMPARE(d.length(QStringLiteral("x")), QStringLiteral("length(x)"));
    QCOMPARE(d.beginTransaction(), QStringLiteral("BEGIN IMMEDIATE"));
    QCOMPARE(d.lockingRead(), QString());
    QCOMPARE(Dialect::containsPattern(QStringLiteral("5%_[!")), QStringLiteral("%5!%!_![!!%"));
}

void DialectTest::dateTimesBindAsTheDialectStoresThem()
{
    const QDateTime when(QDate(2026, 12, 8), QTime(17, 5, 9));
    QCOMPARE(Dialect(Dialect::Sqlite).bindValue(when).toString(), QStringLiteral("2026-12-08 17:05:09"));
    QCOMPARE(Dialect(Dialect::Sqlite).bindValue(QDate(2026, 1, 2)).toString(), QStringLiteral("2026-01-02 00:00:00"));
    QCOMPARE(Dialect(Dialect::SqlServer).bindValue(when).toDateTime(), when);
    QCOMPARE(Dialect(Dialect::SqlServer).bindValue(when).metaType().id(), int(QMetaType::QDateTime));
    QVERIFY(Dialect(Dialect::Sqlite).bindValue(QVariant()).isNull());
}

void DialectTest::scriptsSplitIntoStatements()
{
    QCOMPARE(Scripts::statements(QStringLiteral("INSERT INTO t VALUES ('a;b'); -- c; d\nSELECT 'it''s;';")),
             (QStringList{QStringLiteral("INSERT INTO t VALUES ('a;b')"), QStringLiteral("SELECT 'it''s;'")}));
    QCOMPARE(Scripts::statements(QStringLiteral("CREATE TABLE a (x INT);\nGO\nCREATE TABLE b (y INT);\ngo\n")).size(),
             2);
    QVERIFY(Scripts::statements(Scripts::text(QStringLiteral("sqlserver.sql"))).size() >= 5);
}

TAVIMOR_TEST(DialectTest)
#include "DialectTest.moc"
