#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "ReadOnlyFile.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "data/Database.h"
#include "data/FailureText.h"
#include "data/Scripts.h"

using FailureText::Kind;

namespace {

// The error a piece of work throws; fails the test when it throws none.
template <typename Work>
DbError failureOf(Work &&work)
{
    try {
        work();
    } catch (const DbError &e) {
        return e;
    }
    return DbError(0, QStringLiteral("no failure"));
}

// The plain text first, then the driver's text for the administrator.
bool toldAs(const DbError &e, Kind kind)
{
    return e.description().startsWith(FailureText::plain(kind) + QStringLiteral("\n技术信息："));
}

QString explain(const DbError &e) { return QString::number(e.number()) + QLatin1Char(' ') + e.description(); }

void addCategory(Database &db, const QString &code)
{
    db.insert(QStringLiteral("投诉类别"), {{QStringLiteral("编号"), code}, {QStringLiteral("类别"), code}});
}

}  // namespace

// Database trouble on the embedded database: what the user is told, and that nothing is half-written.
class DatabaseFailureTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { SqliteFile::setWriteWaitMilliseconds(5000); }

    // A write that meets another station's lock waits with the indicator on, then gives up;
    // reading goes on meanwhile, and the write succeeds once the lock is gone.
    void lockedWriteGivesUpAndWritesNothing()
    {
        TestDatabase t;
        QList<bool> indicated;
        const auto previous = SqliteFile::setWaitIndicator([&](bool waiting) { indicated << waiting; });
        SqliteFile::setWriteWaitMilliseconds(300);
        Database other;
        other.openSqlite(t.file());
        other.begin();
        addCategory(other, QStringLiteral("别处"));

        QElapsedTimer clock;
        clock.start();
        const DbError e = failureOf([&] {
            t.db().transaction([&] {
                addCategory(t.db(), QStringLiteral("01"));
                addCategory(t.db(), QStringLiteral("02"));
            });
        });
        const qint64 waited = clock.elapsed();
        QCOMPARE(e.number(), 5);
        QVERIFY2(toldAs(e, Kind::Locked), qPrintable(explain(e)));
        QVERIFY2(e.description().contains(QStringLiteral("database is locked")), qPrintable(explain(e)));
        QVERIFY2(waited >= 250 && waited < 3000, qPrintable(QString::number(waited)));
        QCOMPARE(indicated, QList<bool>({true, false}));
        QVERIFY(!t.db().inTransaction());

        // A single change outside a transaction waits in the same way.
        QVERIFY(toldAs(failureOf([&] { t.exec(QStringLiteral("DELETE FROM 投诉类别")); }), Kind::Locked));
        QCOMPARE(t.count(QStringLiteral("投诉类别")), 0);

        other.rollback();
        indicated.clear();
        addCategory(t.db(), QStringLiteral("01"));
        QCOMPARE(t.count(QStringLiteral("投诉类别")), 1);
        QVERIFY(indicated.isEmpty());  // no wait, no indicator
        SqliteFile::setWaitIndicator(previous);
    }

    void readOnlyFileIsKnownAtOpenAndRefusesWrites()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/ro.sqlite");
        Scripts::createSqliteDatabase(file, false);
        {
            Database writable;
            writable.openSqlite(file);
            QVERIFY(!writable.isReadOnly());
        }
        ReadOnlyFile readOnly(file);
        if (!readOnly.holds()) QFAIL("cannot make a read-only file here (as root this needs chattr)");
        Database db;
        db.openSqlite(file);
        QVERIFY(db.isReadOnly());
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 投诉类别")).toInt(), 0);  // reading works
        const DbError e = failureOf([&] { addCategory(db, QStringLiteral("01")); });
        QCOMPARE(e.number(), 8);
        QVERIFY2(toldAs(e, Kind::ReadOnly), qPrintable(explain(e)));
    }

    // A file that is no database, and a damaged one, are named at the open; nothing opens.
    void hostileFilesAreNamedAtOpen()
    {
        QTemporaryDir dir;
        const QString junk = dir.path() + QStringLiteral("/junk.sqlite");
        {
            QFile f(junk);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("PK\x03\x04 not a database at all").repeated(200));
        }
        Database db;
        DbError e = failureOf([&] { db.openSqlite(junk); });
        QVERIFY2(toldAs(e, Kind::NotADatabase), qPrintable(explain(e)));
        QVERIFY(!db.isOpen());

        // Pages 2 to 4 overwritten: the schema still reads, the tables behind it do not.
        const QString damaged = dir.path() + QStringLiteral("/damaged.sqlite");
        Scripts::createSqliteDatabase(damaged, true);
        {
            QFile f(damaged);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const qint64 page = 4096;
            QVERIFY(f.size() > 8 * page);
            f.seek(page);
            f.write(QByteArray(int(3 * page), '\x5a'));
        }
        e = failureOf([&] { db.openSqlite(damaged); });
        QCOMPARE(e.number(), 11);
        QVERIFY2(toldAs(e, Kind::Damaged), qPrintable(explain(e)));
        QVERIFY(!db.isOpen());
    }

    void fullDiskRollsBackTheWholeWrite()
    {
        TestDatabase t;
        t.exec(QStringLiteral("CREATE TABLE filler (b BLOB)"));
        const int pages = t.value(QStringLiteral("PRAGMA page_count")).toInt();
        t.db().select(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 2));
        const DbError e = failureOf([&] {
            t.db().transaction([&] {
                addCategory(t.db(), QStringLiteral("01"));
                t.exec(QStringLiteral("INSERT INTO filler VALUES (zeroblob(100000))"));
            });
        });
        QCOMPARE(e.number(), 13);
        QVERIFY2(toldAs(e, Kind::DiskFull), qPrintable(explain(e)));
        QCOMPARE(t.count(QStringLiteral("投诉类别")), 0);
        addCategory(t.db(), QStringLiteral("01"));  // a small write still fits
        QCOMPARE(t.count(QStringLiteral("投诉类别")), 1);
    }

    // Writes into a file that was deleted, or replaced by another one, would be lost: refused.
    void removedOrReplacedFileRefusesWrites()
    {
        TestDatabase t;
        addCategory(t.db(), QStringLiteral("01"));
        QVERIFY(QFile::remove(t.file()));
        DbError e = failureOf([&] { addCategory(t.db(), QStringLiteral("02")); });
        QCOMPARE(e.number(), FailureText::kFileRemovedNumber);
        QVERIFY2(toldAs(e, Kind::FileRemoved), qPrintable(explain(e)));
        QVERIFY(
            toldAs(failureOf([&] { t.exec(QStringLiteral("UPDATE 投诉类别 SET 类别 = 'x'")); }), Kind::FileRemoved));
        QCOMPARE(t.count(QStringLiteral("投诉类别")), 1);  // what was there still reads

        Scripts::createSqliteDatabase(t.file(), false);  // another file under the same name
        e = failureOf([&] { addCategory(t.db(), QStringLiteral("03")); });
        QVERIFY2(toldAs(e, Kind::FileRemoved), qPrintable(explain(e)));
        Database fresh;
        fresh.openSqlite(t.file());
        QCOMPARE(fresh.scalar(QStringLiteral("SELECT count(*) FROM 投诉类别")).toInt(), 0);
    }

    // The -wal and -shm of a deleted database must not be read into a new one of that name.
    void newDatabaseIgnoresAStaleJournal()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/demo.sqlite");
        Scripts::createSqliteDatabase(file, true);
        {
            Database db;
            db.openSqlite(file);
            db.execute(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
            db.execute(QStringLiteral("DELETE FROM 投诉信息"));
            db.execute(QStringLiteral("VACUUM"));
            QVERIFY(QFile::exists(file + QStringLiteral("-wal")));
            // What a deleted file leaves behind while its program still runs.
            for (const char *suffix : {"-wal", "-shm"})
                QVERIFY(QFile::copy(file + QLatin1String(suffix), file + QLatin1String(suffix) + ".stale"));
        }
        QVERIFY(QFile::remove(file));
        for (const char *suffix : {"-wal", "-shm"}) {
            QFile::remove(file + QLatin1String(suffix));
            QVERIFY(QFile::rename(file + QLatin1String(suffix) + ".stale", file + QLatin1String(suffix)));
        }

        Scripts::createSqliteDatabase(file, true);
        Database db;
        db.openSqlite(file);
        QVERIFY(db.scalar(QStringLiteral("SELECT count(*) FROM 投诉信息")).toInt() > 30);
        QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    }

    // The server's codes that cannot be produced here: a lost connection, a lock time-out.
    void serverFailuresAreNamedByTheirCodes()
    {
        using FailureText::Source;
        QCOMPARE(FailureText::classify(Source::SqlServer, QStringLiteral("08S01"), QStringLiteral("link failure")),
                 Kind::ConnectionLost);
        // FreeTDS names a socket closed under a request with the warning state and a number of its own.
        QCOMPARE(FailureText::classify(Source::SqlServer, QStringLiteral("01000;20017"), QStringLiteral("EOF")),
                 Kind::ConnectionLost);
        QCOMPARE(
            FailureText::classify(Source::SqlServer, QStringLiteral("08001;0"), QStringLiteral("Unable to connect")),
            Kind::CannotConnect);
        // A server that does not answer: FreeTDS gives the state of a broken link first.
        QCOMPARE(FailureText::classify(Source::SqlServer, QStringLiteral("08S01;20009;08001"), QStringLiteral("x")),
                 Kind::CannotConnect);
        QCOMPARE(FailureText::classify(Source::SqlServer, QStringLiteral("1222"), QString()), Kind::Locked);
        QCOMPARE(FailureText::classify(Source::SqlServer, QStringLiteral("9002"), QString()), Kind::DiskFull);
        // A server number is no SQLite code: 270 would read as SQLITE_CANTOPEN in SQLite's low byte.
        QCOMPARE(FailureText::classify(Source::SqlServer, QStringLiteral("270"), QStringLiteral("x")), Kind::Other);
        QCOMPARE(FailureText::classify(Source::SqlServer, QString(),
                                       QStringLiteral("[FreeTDS][SQL Server]Write failed: Broken pipe")),
                 Kind::ConnectionLost);
        QCOMPARE(FailureText::describe(Kind::Other, QStringLiteral("no such table: x")),
                 QStringLiteral("no such table: x"));
    }
};

TAVIMOR_TEST(DatabaseFailureTest)
#include "DatabaseFailureTest.moc"
