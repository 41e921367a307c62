#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "ReadOnlyFile.h"
#include "TestRegistry.h"
#include "data/Database.h"
#include "data/SchemaUpgrade.h"
#include "data/Scripts.h"
#include "data/Telephone.h"

// A file made by an earlier version of the program is brought up to the current schema when it is
// opened: whole or not at all, never for a file that cannot be written, and never for a newer one.
class SchemaUpgradeTest : public QObject {
    Q_OBJECT
private slots:
    void telephoneDigits_data();
    void telephoneDigits();
    void olderFileGainsTheDigitsAndTheMissingIndexes();
    void failedUpgradeLeavesTheFileAsItWas();
    void newerFileIsRefused();
    void readOnlyOlderFileIsShownUnchanged();
};

namespace {

// A file as the program wrote it before files carried a version: no telephone digits, the old
// expression index, and an index of a later change missing.
QString makeVersionZeroFile(const QTemporaryDir &dir)
{
    const QString file = dir.path() + QStringLiteral("/old.sqlite");
    Scripts::createSqliteDatabase(file, false);
    Database db;
    db.openSqlite(file);
    for (const char *statement :
         {"DROP INDEX ix_投诉信息_电话号码", "ALTER TABLE 投诉信息 DROP COLUMN 联系电话号码",
          "CREATE INDEX ix_投诉信息_电话 ON 投诉信息 (REPLACE(联系电话, ' ', ''))", "DROP INDEX ix_投诉信息_回访",
          "INSERT INTO 投诉信息 (投诉编号, 流水号, 联系电话) VALUES ('00000001', 1, '+86 138-0571-0504')",
          "INSERT INTO 投诉信息 (投诉编号, 流水号, 联系电话) VALUES ('00000002', 2, '(0571)8888 7777')",
          "INSERT INTO 投诉信息 (投诉编号, 流水号, 联系电话) VALUES ('00000003', 3, NULL)", "PRAGMA user_version = 0",
          "PRAGMA journal_mode = DELETE"})
        db.execute(QString::fromUtf8(statement));
    db.close();
    return file;
}

QStringList indexesOf(Database &db)
{
    QStringList names;
    for (const Row row : db.select(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index'")))
        names << row.text(0);
    return names;
}

QStringList digitsByCode(Database &db)
{
    QStringList list;
    for (const Row row : db.select(QStringLiteral("SELECT 投诉编号, 联系电话号码 FROM 投诉信息 ORDER BY 投诉编号")))
        list << row.text(0) + QLatin1Char('=') + row.text(1);
    return list;
}

// Runs one statement on the file without the program's open (and so without its upgrade); the
// first column of the first row, or the error's text.
QString plainRead(const QString &file, const QString &sql)
{
    const QString name = QStringLiteral("plain-read");
    QString answer;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (!db.open()) return db.lastError().text();
        QSqlQuery query(db);
        if (!query.exec(sql)) answer = query.lastError().text();
        else if (query.next()) answer = query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(name);
    return answer;
}

// What the program's open of the file says when it refuses it; empty when it opened the file.
QString openingFailure(const QString &file)
{
    Database db;
    try {
        db.openSqlite(file);
    } catch (const DbError &e) {
        return db.isOpen() ? QStringLiteral("open after a failure: ") + e.description() : e.description();
    }
    return QString();
}

const QStringList kUpgradedDigits{QStringLiteral("00000001=13805710504"), QStringLiteral("00000002=057188887777"),
                                  QStringLiteral("00000003=")};

}  // namespace

void SchemaUpgradeTest::telephoneDigits_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("digits");
    QTest::newRow("separators") << QStringLiteral("(0571) 8600-1001") << QStringLiteral("057186001001");
    QTest::newRow("plus 86") << QStringLiteral(" +86 138 0571 0504") << QStringLiteral("13805710504");
    QTest::newRow("0086") << QStringLiteral("0086-571-86001001") << QStringLiteral("057186001001");
    QTest::newRow("86 before a mobile") << QStringLiteral("8613805710504") << QStringLiteral("13805710504");
    QTest::newRow("plus 86, area code without its 0")
        << QStringLiteral("+86 571 8600 1001") << QStringLiteral("057186001001");
    QTest::newRow("86 before a Beijing number") << QStringLiteral("86 10 6552 9988") << QStringLiteral("01065529988");
    // Without "+" or "00", a leading 86 before no whole number is part of the number.
    QTest::newRow("local 86") << QStringLiteral("86001001") << QStringLiteral("86001001");
    QTest::newRow("no digits") << QStringLiteral("无") << QString();
}

void SchemaUpgradeTest::telephoneDigits()
{
    QFETCH(QString, typed);
    QFETCH(QString, digits);
    QCOMPARE(Telephone::digits(typed), digits);
}

void SchemaUpgradeTest::olderFileGainsTheDigitsAndTheMissingIndexes()
{
    QTemporaryDir dir;
    const QString file = makeVersionZeroFile(dir);
    Database db;
    db.openSqlite(file);
    QCOMPARE(db.scalar(QStringLiteral("PRAGMA user_version")).toInt(), SchemaUpgrade::currentVersion());
    QCOMPARE(digitsByCode(db), kUpgradedDigits);
    const QStringList indexes = indexesOf(db);
    QVERIFY(indexes.contains(QStringLiteral("ix_投诉信息_电话号码")));
    QVERIFY(indexes.contains(QStringLiteral("ix_投诉信息_回访")));
    QVERIFY(!indexes.contains(QStringLiteral("ix_投诉信息_电话")));
    // The next open finds nothing to do, and a new file has the same schema as an upgraded one.
    db.close();
    db.openSqlite(file);
    QCOMPARE(digitsByCode(db), kUpgradedDigits);
    const QString fresh = dir.path() + QStringLiteral("/new.sqlite");
    Scripts::createSqliteDatabase(fresh, false);
    Database made;
    made.openSqlite(fresh);
    QCOMPARE(made.scalar(QStringLiteral("PRAGMA user_version")).toInt(), SchemaUpgrade::currentVersion());
    QStringList upgraded = indexes, created = indexesOf(made);
    upgraded.sort();
    created.sort();
    QCOMPARE(upgraded, created);
}

void SchemaUpgradeTest::failedUpgradeLeavesTheFileAsItWas()
{
    QTemporaryDir dir;
    const QString file = makeVersionZeroFile(dir);
    // Something of that name is in the way of the new index.
    QCOMPARE(plainRead(file, QStringLiteral("CREATE TABLE ix_投诉信息_电话号码 (x)")), QString());
    const QString refusal = openingFailure(file);
    QVERIFY2(refusal.contains(QStringLiteral("ix_投诉信息_电话号码")), qPrintable(refusal));
    // The column added before the failure went with the rest.
    QCOMPARE(plainRead(file, QStringLiteral("PRAGMA user_version")), QStringLiteral("0"));
    QCOMPARE(plainRead(file, QStringLiteral("SELECT count(*) FROM pragma_table_info('投诉信息')"
                                            " WHERE name = '联系电话号码'")),
             QStringLiteral("0"));
}

void SchemaUpgradeTest::newerFileIsRefused()
{
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/newer.sqlite");
    Scripts::createSqliteDatabase(file, false);
    plainRead(file, QStringLiteral("PRAGMA user_version = %1").arg(SchemaUpgrade::currentVersion() + 1));
    const QString refusal = openingFailure(file);
    QVERIFY2(refusal.contains(QStringLiteral("较新版本的程序")), qPrintable(refusal));
}

void SchemaUpgradeTest::readOnlyOlderFileIsShownUnchanged()
{
    QTemporaryDir dir;
    const QString file = makeVersionZeroFile(dir);
    ReadOnlyFile readOnly(file);
    if (!readOnly.holds()) QFAIL("cannot make a read-only file here (as root this needs chattr)");
    Database db;
    db.openSqlite(file);
    QVERIFY(db.isReadOnly());
    // What the program reads is there, worked out as it reads it; the file keeps its version.
    QCOMPARE(digitsByCode(db), kUpgradedDigits);
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 投诉信息 WHERE 联系电话号码 = ? AND 撤销时间 IS NULL"),
                       {QStringLiteral("13805710504")})
                 .toInt(),
             1);
    QCOMPARE(db.scalar(QStringLiteral("PRAGMA user_version")).toInt(), 0);
}

TAVIMOR_TEST(SchemaUpgradeTest)
#include "SchemaUpgradeTest.moc"
