#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <functional>

#include "DbError.h"
#include "Dialect.h"
#include "Rows.h"
#include "SqliteFile.h"

class QSqlQuery;

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

// One database connection. Every statement takes its values as bound parameters ("?").
// All failures are thrown as DbError.
class Database {
public:
    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    static constexpr int kTimeoutSeconds = 30;

    // Opens a new connection (replacing any previous one of this object).
    void open(const ConnectionSettings &settings);
    void openSqlite(const QString &file) { open(ConnectionSettings{QStringLiteral("sqlite:") + file, {}, {}, {}}); }
    void close();
    bool isOpen() const;
    const Dialect &dialect() const { return m_dialect; }
    QString connectionName() const { return m_name; }
    // The database refuses writes (a read-only file, folder or medium); known from the open on.
    bool isReadOnly() const { return m_dialect.isSqlite() && m_sqliteFile.isReadOnly(); }

    // The ODBC connection string for SQL Server. Every value is brace-quoted, so that ";", "}"
    // or "'" inside a value cannot end it or add a keyword.
    static QString odbcConnectionString(const ConnectionSettings &settings, const QString &driver);
    static QString quoteOdbcValue(const QString &value);

    // Runs a statement whose result is not used; returns the number of rows it changed.
    int execute(const QString &sql, const QVariantList &params = {});
    // Reads a whole result.
    Rows select(const QString &sql, const QVariantList &params = {});
    // The first column of the first row, or a null QVariant when there is no row.
    QVariant scalar(const QString &sql, const QVariantList &params = {});
    // Streams a result row by row to `visit` (for large lists). `visit` must not run
    // statements on this connection.
    void scan(const QString &sql, const QVariantList &params, const std::function<void(const QSqlQuery &)> &visit);
    // Inserts a row and returns the new identity `ID`.
    qint64 insert(const QString &table, const Fields &fields);
    // Changes the rows matching `where` (SQL with "?" marks for `whereParams`); returns their count.
    int update(const QString &table, const Fields &fields, const QString &where, const QVariantList &whereParams);

    // Transactions nest; only the outermost one begins and commits.
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return m_depth > 0; }

    // Runs `work` inside one write transaction: committed when it returns, rolled back when it throws.
    template <typename Work>
    auto transaction(Work &&work) -> decltype(work())
    {
        begin();
        try {
            if constexpr (std::is_void_v<decltype(work())>) {
                work();
                commit();
            } else {
                auto result = work();
                commit();
                return result;
            }
        } catch (...) {
            rollback();
            throw;
        }
    }

private:
    void prepare(QSqlQuery &query, const QString &sql, const QVariantList &params);
    [[noreturn]] void fail(const QSqlQuery &query, const QString &sql) const;
    void requireOpen() const;
    static QString odbcDriver();

    QString m_name;
    Dialect m_dialect;
    bool m_open = false;
    int m_depth = 0;
    bool m_rollbackOnly = false;
    SqliteFile m_sqliteFile;
};
