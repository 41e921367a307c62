#pragma once

#include <memory>

#include "DatabaseBackend.h"
#include "OdbcConnection.h"
#include "ServerSchema.h"
#include "StatementColumns.h"

class Database;
struct ConnectionSettings;

// The suite's SQL Server, through unixODBC and FreeTDS (OdbcConnection). It reads the columns this
// client uses at connect (ServerSchema) and binds every value to the column it meets, as named by
// Param::column and by Database::insert/update, or else as read from the statement's text
// (StatementColumns):
//
// - text meeting a VARCHAR/CHAR column: sent as NVARCHAR and converted on the parameter's side to
//   VARCHAR in the column's collation, so that the server seeks the column's index (under a SQL_
//   collation an NVARCHAR value would make it convert and scan every row). A value it would store
//   or compare with a character its code page cannot hold: refused in a write, left NVARCHAR in a
//   read (nothing stored can equal it);
// - text meeting an NVARCHAR column, and text of no known column: NVARCHAR;
// - a date-time meeting a DATETIME column: converted to DATETIME on the parameter's side, and
//   refused before sending when it lies outside the years 1753 to 9999.
//
// A statement that runs longer than the statement time-out is cancelled and fails with the "too
// slow" message; the transaction it belonged to is rolled back by Database.
class SqlServerBackend : public DatabaseBackend {
public:
    explicit SqlServerBackend(Database &owner);
    ~SqlServerBackend() override;

    // Connects (a value that cannot reach the driver exactly is refused before), sets the session
    // up and reads the schema. Throws DbError.
    void open(const ConnectionSettings &settings);

    // The statements that set up every new session, in order: row counts on (the conditional
    // writes judge success by them), the lock time-out, and XACT_ABORT.
    static QString sessionSetUp();
    // How long a statement may run before it is cancelled (30 s); tests shorten it.
    static int statementTimeoutSeconds();
    static void setStatementTimeoutSeconds(int seconds);
    static constexpr int kStatementTimeoutSeconds = 30;

    bool isOpen() const override { return m_odbc != nullptr; }
    void beforeStatement() override;

    int execute(const QString &sql, const QVariantList &params) override;
    Rows select(const QString &sql, const QVariantList &params) override;
    void scan(const QString &sql, const QVariantList &params,
              const std::function<void(const ScanRow &)> &visit) override;
    qint64 insert(const QString &table, const QStringList &columns, const QVariantList &values) override;

    void beginTransaction() override;
    void commitTransaction() override;
    void rollbackTransaction() override;

    ColumnType columnType(const QString &table, const QString &column) const override;
    const ServerSchema &schema() const { return m_schema; }

    // A statement and its values as they are sent: the marks of values that meet a narrow or
    // DATETIME column (Param::column, or else StatementColumns) wrapped in their conversion, and
    // every value plain. `writing` refuses text that its column cannot hold (too long, or a
    // character of no code page of the column) instead of sending it.
    struct Bound {
        QString sql;
        QVariantList params;
    };
    Bound bind(const QString &sql, const QVariantList &params, bool writing) const;

private:
    void reconnect();
    // The columns the marks of `sql` meet, worked out once per statement text.
    const QVector<StatementColumns::Met> &columnsMet(const QString &sql) const;
    OdbcConnection::Result run(const QString &sql, const QVariantList &params,
                               const OdbcConnection::RowVisitor &visit = {}, bool lastResult = false);

    Database &m_owner;
    QString m_connectionString;
    std::unique_ptr<OdbcConnection> m_odbc;
    ServerSchema m_schema;
    mutable QHash<QString, QVector<StatementColumns::Met>> m_columnsMet;
};
