#pragma once

#include "DatabaseBackend.h"
#include "SqliteFile.h"

class Database;
class QSqlQuery;

// The embedded SQLite file, through Qt SQL. Every text column holds any characters, in any
// number; the lengths of the SQL Server script (ColumnLengths) are kept here as well, so that
// what is saved in the demo would also fit on the server.
class SqliteBackend : public DatabaseBackend {
public:
    // `owner` is the Database this backend serves: the file checks run their statements through it.
    SqliteBackend(Database &owner, const QString &connectionName);
    ~SqliteBackend() override;

    // Opens `file`; throws DbError (nothing stays open then).
    void open(const QString &file);

    bool isOpen() const override { return m_open; }
    bool isReadOnly() const override { return m_file.isReadOnly(); }
    QString file() const override { return m_file.path(); }
    QString connectionName() const override { return m_name; }

    int execute(const QString &sql, const QVariantList &params) override;
    Rows select(const QString &sql, const QVariantList &params) override;
    void scan(const QString &sql, const QVariantList &params,
              const std::function<void(const ScanRow &)> &visit) override;
    qint64 insert(const QString &table, const QStringList &columns, const QVariantList &values) override;

    void beginTransaction() override;
    void commitTransaction() override;
    void rollbackTransaction() override;

    ColumnType columnType(const QString &table, const QString &column) const override;

private:
    void close();
    void prepare(QSqlQuery &query, const QString &sql, const QVariantList &params);
    [[noreturn]] void fail(const QSqlQuery &query) const;

    Database &m_owner;
    QString m_name;
    bool m_open = false;
    SqliteFile m_file;
};
