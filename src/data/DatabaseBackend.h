#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

#include "ColumnType.h"
#include "Rows.h"

// One kind of database behind Database: SQLite through Qt SQL (SqliteBackend) or SQL Server
// through unixODBC (SqlServerBackend). Database keeps what both share (nested transactions, the
// checks of inserted and changed values); a backend runs the statements, begins and ends the
// outermost transaction, and knows its columns. Bound values may be Param::column values.
class DatabaseBackend {
public:
    virtual ~DatabaseBackend() = default;

    virtual bool isOpen() const = 0;
    virtual bool isReadOnly() const { return false; }
    // The Qt SQL connection name (SQLite); empty for a backend without one.
    virtual QString connectionName() const { return QString(); }

    // The database file (SQLite); empty for a server.
    virtual QString file() const { return QString(); }

    // Called before each statement that does not belong to a transaction begun on this backend.
    virtual void beforeStatement() {}

    virtual int execute(const QString &sql, const QVariantList &params) = 0;
    virtual Rows select(const QString &sql, const QVariantList &params) = 0;
    virtual void scan(const QString &sql, const QVariantList &params,
                      const std::function<void(const ScanRow &)> &visit) = 0;
    // Inserts one row and returns its identity column `ID`; called inside a transaction.
    virtual qint64 insert(const QString &table, const QStringList &columns, const QVariantList &values) = 0;

    // The outermost transaction.
    virtual void beginTransaction() = 0;
    virtual void commitTransaction() = 0;
    // Must leave the connection usable; failures of its own are swallowed.
    virtual void rollbackTransaction() = 0;

    // What the database holds in `table`.`column` (names matched without regard to case).
    virtual ColumnType columnType(const QString &table, const QString &column) const = 0;
};
