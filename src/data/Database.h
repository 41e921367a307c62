#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

#include "ColumnType.h"
#include "DbError.h"
#include "Dialect.h"
#include "Param.h"
#include "Rows.h"
#include "SqliteFile.h"

class DatabaseBackend;

// The four stored connection settings. A server of the form "sqlite:<file>" names an embedded
// SQLite database; anything else is a SQL Server reached through ODBC and FreeTDS.
struct ConnectionSettings {
    QString server;
    QString login;
    QString password;
    QString database;

    bool isSqlite() const { return server.startsWith(QLatin1String("sqlite:")); }
    QString sqliteFile() const { return server.mid(7); }
};

// Column values of one row to insert or change, in statement order.
using Fields = QList<QPair<QString, QVariant>>;

// A typed NULL for a text column.
QVariant nullText();
// The text, or NULL when it is empty.
QVariant textOrNull(const QString &text);

// One database connection, to SQLite (SqliteBackend) or SQL Server (SqlServerBackend). Every
// statement takes its values as bound parameters ("?"); a value may name the column it meets
// (Param::column). All failures are thrown as DbError.
class Database {
public:
    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    static constexpr int kTimeoutSeconds = 30;
    // SQL Server: how long a statement waits for a row that another station holds locked before
    // it fails with error 1222 (SET LOCK_TIMEOUT after every open).
    static constexpr int kLockTimeoutMilliseconds = 5000;
    // SQL Server's number for a deadlock victim; its transaction is run once more.
    static constexpr int kDeadlockVictim = 1205;

    // Opens a new connection (replacing any previous one of this object).
    void open(const ConnectionSettings &settings);
    void openSqlite(const QString &file) { open(ConnectionSettings{QStringLiteral("sqlite:") + file, {}, {}, {}}); }
    void close();
    bool isOpen() const;
    const Dialect &dialect() const { return m_dialect; }
    // The Qt SQL connection name of a SQLite database.
    QString connectionName() const { return m_name; }
    // The database refuses writes (a read-only file, folder or medium); known from the open on.
    bool isReadOnly() const;
    // The database file of an embedded database; empty for a server.
    QString file() const;

    // What the database holds in `table`.`column`: its kind, its length in its own unit (bytes of
    // the code page for VARCHAR/CHAR on SQL Server, characters otherwise). Without a connection,
    // the lengths of the SQL Server script.
    ColumnType columnType(const QString &table, const QString &column) const;

    // Runs a statement whose result is not used; returns the number of rows it changed.
    int execute(const QString &sql, const QVariantList &params = {});
    // Reads a whole result.
    Rows select(const QString &sql, const QVariantList &params = {});
    // The first column of the first row, or a null QVariant when there is no row.
    QVariant scalar(const QString &sql, const QVariantList &params = {});
    // Streams a result row by row to `visit` (for large lists). `visit` must not run
    // statements on this connection.
    void scan(const QString &sql, const QVariantList &params, const std::function<void(const ScanRow &)> &visit);
    // Inserts a row and returns the new identity `ID`. Text longer than its column, or with a
    // character that the column's code page cannot hold, is refused here and in update() before
    // anything is sent (columnType()). One transaction: the row is stored whole or not at all.
    qint64 insert(const QString &table, const Fields &fields);
    // Changes the rows matching `where` (SQL with "?" marks for `whereParams`); returns their count.
    int update(const QString &table, const Fields &fields, const QString &where, const QVariantList &whereParams);

    // Transactions nest; only the outermost one begins and commits.
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return m_depth > 0; }

    // Runs `work` inside one write transaction: committed when it returns, rolled back when it throws.
    // When the server chose the outermost transaction as a deadlock victim (and so rolled it back),
    // the work runs once more before the failure reaches the caller.
    template <typename Work>
    auto transaction(Work &&work) -> decltype(work())
    {
        const bool outermost = m_depth == 0;
        for (int attempt = 1;; ++attempt) {
            begin();
            try {
                if constexpr (std::is_void_v<decltype(work())>) {
                    work();
                    commit();
                    return;
                } else {
                    auto result = work();
                    commit();
                    return result;
                }
            } catch (const DbError &e) {
                rollback();
                if (!outermost || attempt > 1 || e.number() != kDeadlockVictim) throw;
            } catch (...) {
                rollback();
                throw;
            }
        }
    }

private:
    DatabaseBackend &requireOpen();
    // The fields' values, each naming its column, after the checks of columnType().
    QVariantList checkedValues(const QString &table, const Fields &fields) const;

    std::unique_ptr<DatabaseBackend> m_backend;
    QString m_name;
    Dialect m_dialect;
    int m_depth = 0;
    bool m_rollbackOnly = false;
};
