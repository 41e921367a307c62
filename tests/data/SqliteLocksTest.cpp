#include <QFile>
#include <QTest>

#include "FileLocks.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "data/Database.h"
#include "data/SqliteLocks.h"

namespace {

void addCategory(Database &db, const QString &code)
{
    db.insert(QStringLiteral("投诉类别"), {{QStringLiteral("编号"), code}, {QStringLiteral("类别"), code}});
}

}  // namespace

// The locks of this process's connections on one database file, against another station.
class SqliteLocksTest : public QObject {
    Q_OBJECT
private slots:
    void init() { REQUIRE_SQLITE_SHELL(); }

    // Another descriptor of the file and of its -shm, opened and closed, drops nothing; of two
    // connections, the one that stays keeps the locks when the first one closes; the last one
    // leaves no lock behind. The other station's writes and ours all stay, and the file is whole.
    void connectionsOfOneProcessShareTheirLocks()
    {
        TestDatabase t;
        const QString shm = t.file() + QStringLiteral("-shm");
        Database second;
        second.openSqlite(t.file());
        addCategory(second, QStringLiteral("01"));

        file_locks::peek(t.file());
        file_locks::peek(shm);
        t.db().close();  // the connection that took the first locks
        QVERIFY(file_locks::on(t.file()) > 0);
        QVERIFY(file_locks::on(shm) > 0);
        QVERIFY(SqliteLocks::onFileDescriptions());

        QCOMPARE(file_locks::otherStation(t.file(),
                                          QStringLiteral("INSERT INTO 投诉类别 (编号, 类别) VALUES ('02', '02');")),
                 QString());
        QVERIFY(QFile::exists(shm));  // the other station could not take the journal away
        addCategory(second, QStringLiteral("03"));
        QCOMPARE(
            second.scalar(QStringLiteral("SELECT group_concat(编号) FROM (SELECT 编号 FROM 投诉类别 ORDER BY 编号)"))
                .toString(),
            QStringLiteral("01,02,03"));

        second.close();
        QCOMPARE(file_locks::on(t.file()), 0);
        QCOMPARE(file_locks::on(shm), 0);
        QCOMPARE(file_locks::otherStation(t.file(),
                                          QStringLiteral("PRAGMA integrity_check; SELECT count(*) FROM 投诉类别;")),
                 QStringLiteral("ok\n3"));
    }
};

TAVIMOR_TEST(SqliteLocksTest)
#include "SqliteLocksTest.moc"
