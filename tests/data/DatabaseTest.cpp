#include <QDateTime>
#include <QFile>
#include <QTest>

#include "TestDatabase.h"
#include "TestRegistry.h"
#include "data/Database.h"
#include "data/Scripts.h"

// Statements on the embedded database: values round-trip, NULLs, date-times, new IDs, transactions.
class DatabaseTest : public QObject {
    Q_OBJECT
private slots:
    void awkwardTextRoundTripsThroughEveryKindOfStatement_data();
    void awkwardTextRoundTripsThroughEveryKindOfStatement();
    void emptyTextIsStoredAsNull();
    void dateTimesAreStoredAsSortableTextAndCompareAsTimes();
    void insertReturnsTheNewId();
    void failedTransactionLeavesNothing();
    void nestedTransactionRollsBackWhole();
    void badFilesGiveClearErrors();
    void errorsCarryNumberAndDescription();
    void newDatabaseInAnUnwritablePlaceFailsCleanly();
};

void DatabaseTest::awkwardTextRoundTripsThroughEveryKindOfStatement_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("quote") << QStringLiteral("O'Brien's \"flat\"");
    QTest::newRow("percent and underscore") << QStringLiteral("100%_done");
    QTest::newRow("chinese") << QStringLiteral("噪音 扰民：楼上装修");
    QTest::newRow("sql") << QStringLiteral("x'); DROP TABLE t--");  // fits the code column
    QTest::newRow("brackets") << QStringLiteral("[a] !b");
}

void DatabaseTest::awkwardTextRoundTripsThroughEveryKindOfStatement()
{
    QFETCH(QString, text);
    TestDatabase t;
    Database &db = t.db();
    const qint64 id =
        db.insert(QStringLiteral("投诉类别"), {{QStringLiteral("编号"), text}, {QStringLiteral("类别"), text}});
    QCOMPARE(db.scalar(QStringLiteral("SELECT 类别 FROM 投诉类别 WHERE 编号 = ?"), {text}).toString(), text);
    QCOMPARE(
        db.update(QStringLiteral("投诉类别"), {{QStringLiteral("类别"), text + text}}, QStringLiteral("id = ?"), {id}),
        1);
    QCOMPARE(
        db.select(QStringLiteral("SELECT * FROM 投诉类别 WHERE id = ?"), {id}).first().text(QStringLiteral("类别")),
        text + text);
    // A LIKE search matches the text literally: its % and _ are not wildcards.
    db.insert(QStringLiteral("投诉类别"), {{QStringLiteral("编号"), QStringLiteral("decoy")},
                                           {QStringLiteral("类别"), QStringLiteral("100Xdone [a] zb")}});
    const Rows found = db.select(QStringLiteral("SELECT 编号 FROM 投诉类别 WHERE 编号 LIKE ?") + Dialect::likeEscape(),
                                 {Dialect::containsPattern(text)});
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().text(0), text);
    QCOMPARE(db.execute(QStringLiteral("DELETE FROM 投诉类别 WHERE 编号 = ?"), {text}), 1);
    QCOMPARE(t.count(QStringLiteral("投诉类别")), 1);
}

void DatabaseTest::emptyTextIsStoredAsNull()
{
    TestDatabase t;
    const qint64 id =
        t.db().insert(QStringLiteral("投诉信息"), {{QStringLiteral("投诉编号"), QStringLiteral("00000001")},
                                                   {QStringLiteral("流水号"), 1},
                                                   {QStringLiteral("地址"), textOrNull(QString())},
                                                   {QStringLiteral("联系电话"), textOrNull(QStringLiteral("1"))},
                                                   {QStringLiteral("处理时间"), QVariant()}});
    const Row row = t.db().select(QStringLiteral("SELECT * FROM 投诉信息 WHERE ID = ?"), {id}).first();
    QVERIFY(row.isNull(QStringLiteral("地址")));
    QVERIFY(row.isNull(QStringLiteral("处理时间")));
    QCOMPARE(row.text(QStringLiteral("地址")), QString());
    QCOMPARE(row.text(QStringLiteral("联系电话")), QStringLiteral("1"));
    QCOMPARE(t.count(QStringLiteral("投诉信息"), QStringLiteral("地址 IS NULL")), 1);
}

void DatabaseTest::dateTimesAreStoredAsSortableTextAndCompareAsTimes()
{
    TestDatabase t;
    Database &db = t.db();
    const QDateTime times[] = {QDateTime(QDate(2026, 3, 31), QTime(23, 59, 59)),
                               QDateTime(QDate(2026, 4, 1), QTime(0, 0)), QDateTime(QDate(2026, 12, 9), QTime(9, 5))};
    int serial = 0;
    for (const QDateTime &time : times) {
        ++serial;
        db.insert(QStringLiteral("投诉信息"), {{QStringLiteral("投诉编号"), QString::number(serial)},
                                               {QStringLiteral("流水号"), serial},
                                               {QStringLiteral("投诉时间"), time}});
    }
    QCOMPARE(db.scalar(QStringLiteral("SELECT 投诉时间 FROM 投诉信息 WHERE 流水号 = 3")).toString(),
             QStringLiteral("2026-12-09 09:05:00"));
    QCOMPARE(Value::dateTime(db.scalar(QStringLiteral("SELECT 投诉时间 FROM 投诉信息 WHERE 流水号 = 1"))), times[0]);
    // A half-open range of bound date-times: all of March, not 1 April.
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 投诉信息 WHERE 投诉时间 >= ? AND 投诉时间 < ?"),
                       {QDate(2026, 3, 1), QDate(2026, 4, 1)})
                 .toInt(),
             1);
    QCOMPARE(
        db.scalar(QStringLiteral("SELECT count(*) FROM 投诉信息 WHERE 投诉时间 <= ?"), {QDate(2026, 4, 1)}).toInt(), 2);
}

void DatabaseTest::insertReturnsTheNewId()
{
    TestDatabase t;
    const qint64 first = t.db().insert(QStringLiteral("投诉方式"), {{QStringLiteral("编号"), QStringLiteral("01")}});
    const qint64 second = t.db().insert(QStringLiteral("投诉方式"), {{QStringLiteral("编号"), QStringLiteral("02")}});
    QVERIFY(first > 0);
    QVERIFY(second > first);
    QCOMPARE(t.value(QStringLiteral("SELECT 编号 FROM 投诉方式 WHERE id = ?"), {second}).toString(),
             QStringLiteral("02"));
}

void DatabaseTest::failedTransactionLeavesNothing()
{
    TestDatabase t;
    Database &db = t.db();
    try {
        db.transaction([&] {
            db.insert(QStringLiteral("投诉方式"), {{QStringLiteral("编号"), QStringLiteral("01")}});
            db.execute(QStringLiteral("INSERT INTO no_such_table VALUES (1)"));
        });
        QFAIL("the failing statement must throw");
    } catch (const DbError &) {
    }
    QCOMPARE(t.count(QStringLiteral("投诉方式")), 0);
    QVERIFY(!db.inTransaction());
    // The connection is usable afterwards.
    db.transaction([&] { db.insert(QStringLiteral("投诉方式"), {{QStringLiteral("编号"), QStringLiteral("02")}}); });
    QCOMPARE(t.count(QStringLiteral("投诉方式")), 1);
}

void DatabaseTest::nestedTransactionRollsBackWhole()
{
    TestDatabase t;
    Database &db = t.db();
    db.begin();
    db.insert(QStringLiteral("投诉方式"), {{QStringLiteral("编号"), QStringLiteral("outer")}});
    db.begin();
    db.insert(QStringLiteral("投诉方式"), {{QStringLiteral("编号"), QStringLiteral("inner")}});
    db.rollback();
    QVERIFY_THROWS_EXCEPTION(DbError, db.commit());
    QCOMPARE(t.count(QStringLiteral("投诉方式")), 0);
    QVERIFY(!db.inTransaction());
}

void DatabaseTest::badFilesGiveClearErrors()
{
    QTemporaryDir dir;
    Database db;
    try {
        db.openSqlite(dir.path() + QStringLiteral("/missing.sqlite"));
        QFAIL("a missing file must not open");
    } catch (const DbError &e) {
        QVERIFY2(e.description().contains(QStringLiteral("不存在")), qPrintable(e.description()));
    }
    QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/missing.sqlite")));  // nothing created
    QFile junk(dir.path() + QStringLiteral("/junk.sqlite"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    QVERIFY_THROWS_EXCEPTION(DbError, db.openSqlite(junk.fileName()));
    QVERIFY(!db.isOpen());
    QVERIFY_THROWS_EXCEPTION(DbError, db.select(QStringLiteral("SELECT 1")));
}

void DatabaseTest::errorsCarryNumberAndDescription()
{
    TestDatabase t;
    try {
        t.db().execute(QStringLiteral("INSERT INTO 投诉信息 (投诉编号, 流水号) VALUES ('1', 1)"));
        t.db().execute(QStringLiteral("INSERT INTO 投诉信息 (投诉编号, 流水号) VALUES ('1', 2)"));
        QFAIL("the unique complaint code must refuse a second row");
    } catch (const DbError &e) {
        QVERIFY(e.number() != 0);
        QVERIFY2(e.description().contains(QStringLiteral("UNIQUE"), Qt::CaseInsensitive), qPrintable(e.description()));
    }
}

void DatabaseTest::newDatabaseInAnUnwritablePlaceFailsCleanly()
{
    QTemporaryDir dir;
    QFile blocker(dir.path() + QStringLiteral("/file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // A folder that cannot exist: its parent is a file.
    QVERIFY_THROWS_EXCEPTION(DbError,
                             Scripts::createSqliteDatabase(blocker.fileName() + QStringLiteral("/demo.sqlite"), true));
    // A made database replaces nothing until it is whole, and leaves no temporary file.
    const QString file = dir.path() + QStringLiteral("/demo.sqlite");
    Scripts::createSqliteDatabase(file, true);
    QVERIFY(QFile::exists(file));
    QVERIFY(!QFile::exists(file + QStringLiteral(".new")));
    Database db;
    db.openSqlite(file);
    QVERIFY(db.scalar(QStringLiteral("SELECT count(*) FROM 投诉信息")).toInt() > 30);
}

TAVIMOR_TEST(DatabaseTest)
#include "DatabaseTest.moc"
