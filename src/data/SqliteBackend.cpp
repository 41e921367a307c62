#include "SqliteBackend.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "ColumnLengths.h"
#include "Database.h"
#include "FailureText.h"
#include "Param.h"
#include "SchemaUpgrade.h"
#include "SqliteLocks.h"

namespace {

DbError errorFrom(const QSqlError &error, const QString &context = QString())
{
    bool ok = false;
    int number = error.nativeErrorCode().toInt(&ok);
    if (!ok) number = error.type() == QSqlError::NoError ? -1 : -static_cast<int>(error.type()) - 100;
    QString description = error.databaseText().trimmed();
    const QString driver = error.driverText().trimmed();
    if (description.isEmpty()) description = driver;
    else if (!driver.isEmpty() && !description.contains(driver))
        description = driver + QStringLiteral(": ") + description;
    if (description.isEmpty()) description = QStringLiteral("未知的数据库错误");
    if (!context.isEmpty()) description += QStringLiteral(" (") + context + QLatin1Char(')');
    const FailureText::Kind kind =
        FailureText::classify(FailureText::Source::Sqlite, error.nativeErrorCode(), description);
    return DbError(number, FailureText::describe(kind, description));
}

struct QueryRow : ScanRow {
    const QSqlQuery &query;
    explicit QueryRow(const QSqlQuery &q) : query(q) {}
    QVariant value(int column) const override { return query.value(column); }
    int columnCount() const override { return query.record().count(); }
};

}  // namespace

SqliteBackend::SqliteBackend(Database &owner, const QString &connectionName) : m_owner(owner), m_name(connectionName) {}

SqliteBackend::~SqliteBackend() { close(); }

void SqliteBackend::open(const QString &file)
{
    if (file.isEmpty()) throw DbError(-1, QStringLiteral("没有指定数据库文件"));
    // The driver would silently create an empty database for a missing file.
    if (!QFileInfo::exists(file)) throw DbError(-1, QStringLiteral("数据库文件不存在：%1").arg(file));
    SqliteLocks::install();
    const auto connect = [&](SqliteFile::Access access) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
            db.setDatabaseName(SqliteFile::driverName(file, access));
            db.setConnectOptions(SqliteFile::connectOptions(access));
            if (!db.open()) {
                const DbError error = errorFrom(db.lastError(), file);
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(m_name);
                throw error;
            }
        }
        m_open = true;
        try {
            SqliteFile::checkIsComplaintDatabase(m_owner, file);
        } catch (const DbError &e) {
            close();
            throw DbError(e.number(), e.description() + QStringLiteral(" (") + file + QLatin1Char(')'));
        }
    };
    const SqliteFile::Access access = SqliteFile::accessFor(file);
    try {
        connect(access);
    } catch (const DbError &e) {
        // SQLITE_CANTOPEN: a folder that cannot be written holds no -shm file to read through.
        if (access != SqliteFile::Access::ReadOnly || (e.number() & 0xff) != 14 || !SqliteFile::holdsEveryChange(file))
            throw;
        connect(SqliteFile::Access::Unchanging);
    }
    // Readers beside one writer; silently stays in the default mode on a read-only folder.
    try {
        select(QStringLiteral("PRAGMA journal_mode=WAL"), {});
    } catch (const DbError &) {
    }
    try {
        m_file.opened(m_owner, file);
        SchemaUpgrade::bringUpToDate(m_owner);
    } catch (const DbError &) {
        close();
        throw;
    }
}

void SqliteBackend::close()
{
    if (!QSqlDatabase::contains(m_name)) return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_open = false;
    m_file.closed();
}

void SqliteBackend::prepare(QSqlQuery &query, const QString &sql, const QVariantList &params)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql)) fail(query);
    static const Dialect dialect(Dialect::Sqlite);
    for (const QVariant &param : params) query.addBindValue(dialect.bindValue(Param::valueOf(param)));
}

void SqliteBackend::fail(const QSqlQuery &query) const { throw errorFrom(query.lastError()); }

int SqliteBackend::execute(const QString &sql, const QVariantList &params)
{
    // A change outside a transaction begins like every write (file check, bounded wait).
    if (!m_owner.inTransaction() && SqliteFile::changesRows(sql))
        return m_owner.transaction([&] { return execute(sql, params); });
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    prepare(query, sql, params);
    if (!query.exec()) fail(query);
    const int affected = query.numRowsAffected();
    query.finish();
    return affected;
}

Rows SqliteBackend::select(const QString &sql, const QVariantList &params)
{
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    prepare(query, sql, params);
    if (!query.exec()) fail(query);
    const QSqlRecord record = query.record();
    const int count = record.count();
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) names << record.fieldName(i);
    QVector<QVariant> cells;
    while (query.next()) {
        for (int i = 0; i < count; ++i) cells.append(query.value(i));
    }
    if (query.lastError().isValid()) fail(query);
    query.finish();
    return Rows(Columns(names), std::move(cells));
}

void SqliteBackend::scan(const QString &sql, const QVariantList &params,
                         const std::function<void(const ScanRow &)> &visit)
{
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    prepare(query, sql, params);
    if (!query.exec()) fail(query);
    const QueryRow row(query);
    while (query.next()) visit(row);
    if (query.lastError().isValid()) fail(query);
    query.finish();
}

qint64 SqliteBackend::insert(const QString &table, const QStringList &columns, const QVariantList &values)
{
    const QStringList marks(columns.size(), QStringLiteral("?"));
    const Rows rows = select(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING ID")
                                 .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                             values);
    if (rows.isEmpty() || rows.value(0, 0).isNull())
        throw DbError(-1, QStringLiteral("新记录没有返回编号 (%1)").arg(table));
    return rows.value(0, 0).toLongLong();
}

void SqliteBackend::beginTransaction() { m_file.beginWrite(m_owner); }

void SqliteBackend::commitTransaction() { execute(QStringLiteral("COMMIT"), {}); }

void SqliteBackend::rollbackTransaction()
{
    try {
        execute(QStringLiteral("ROLLBACK"), {});
    } catch (const DbError &) {
        // A failed statement may already have ended the transaction.
    }
}

ColumnType SqliteBackend::columnType(const QString &table, const QString &column) const
{
    return ColumnLengths::typeOf(table, column);
}
