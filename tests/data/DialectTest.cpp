#include <QTest>

#include "TestRegistry.h"
#include "data/Database.h"
#include "data/Dialect.h"
#include "data/Scripts.h"

class DialectTest : public QObject {
    Q_OBJECT
private slots:
    void likePatternsMatchLiterally();
    void dateTimesBindAsTheDialectStoresThem();
    void scriptsSplitIntoStatements();
};

void DialectTest::likePatternsMatchLiterally()
{
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
