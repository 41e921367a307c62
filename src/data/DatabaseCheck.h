#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "Dialect.h"

class Database;
struct ConnectionSettings;

// What an administrator needs to know before the client runs on a database: every table and
// column the client reads or writes (found or missing, with type and length), the indexes it
// relies on, the collation and code page, and whether the login may read the suite's tables and
// write the complaint tables. The writes are tried inside a transaction that is rolled back and
// touch no row, so nothing stays.
//
// What is needed comes from the client's own scripts: the tables and columns of the embedded
// schema (db/schema.sqlite.sql), of which the complaint tables and their indexes are those that
// db/sqlserver.sql creates.
class DatabaseCheck {
public:
    struct Table {
        QString name;
        QStringList columns;
        bool complaintTable = false;  // written by the client; otherwise a suite table it reads
    };
    struct Index {
        QString name;
        QString table;
        QString columns;
        bool unique = false;
    };
    // A code column of a complaint table that statements compare with a column of the suite.
    struct JoinedPair {
        QString table;
        QString column;
        QString suiteTable;
        QString suiteColumn;
        QString usedBy;  // the windows whose statements compare them
    };
    struct Result {
        QStringList lines;    // the report, line by line
        QStringList missing;  // what the client needs and does not find, one item a line
        bool ok() const { return missing.isEmpty(); }
        QString text() const { return lines.join(QLatin1Char('\n')) + QLatin1Char('\n'); }
    };

    explicit DatabaseCheck(Database &db) : m_db(db) {}

    // Runs every check; database failures become lines of the report, never exceptions.
    Result run();

    // --check-database: connects with `settings` (never printing the password), prints the
    // report and returns the exit status: 0 when everything is there, 1 when something is
    // missing, 2 when the database cannot be reached.
    static int report(const ConnectionSettings &settings, QString *text);

    static QList<Table> requiredTables();
    // The indexes of the complaint tables that db/sqlserver.sql makes, or on SQLite every index of
    // the embedded schema.
    static QList<Index> requiredIndexes(Dialect::Kind kind = Dialect::SqlServer);
    static QList<JoinedPair> joinedPairs();

private:
    struct Found {
        QString type;
        int length = 0;  // characters; -1 for MAX; 0 when the type has none
    };

    void checkColumns(Result &result, const QList<Table> &tables);
    void checkIndexes(Result &result);
    void checkCollation(Result &result);
    // DatabaseCheckCollations.cpp
    void checkJoinedCollations(Result &result);
    void checkAccess(Result &result, const QList<Table> &tables);

    Database &m_db;
    QHash<QString, QHash<QString, Found>> m_found;  // table (lower case) -> column (lower case)
};
