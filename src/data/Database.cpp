#include "Database.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "ColumnLengths.h"
#include "FailureText.h"
#include "OdbcConnection.h"
#include "SchemaUpgrade.h"

namespace {

QAtomicInt connectionCounter;

DbError errorFrom(const QSqlError &error, FailureText::Source source, const QString &context = QString())
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
    const FailureText::Kind kind = FailureText::classify(source, error.nativeErrorCode(), description);
    return DbError(number, FailureText::describe(kind, description));
}

FailureText::Source sourceOf(const Dialect &dialect)
{
    return dialect.isSqlite() ? FailureText::Source::Sqlite : FailureText::Source::SqlServer;
}

}  // namespace

QVariant nullText() { return QVariant(QMetaType::fromType<QString>()); }

QVariant textOrNull(const QString &text) { return text.isEmpty() ? nullText() : QVariant(text); }

Database::Database() : m_name(QStringLiteral("tavimor-%1").arg(connectionCounter.fetchAndAddRelaxed(1))) {}

Database::~Database() { close(); }

bool Database::isOpen() const { return m_open; }

void Database::close()
{
    m_odbcConnectionString.clear();
    if (m_odbc) {
        m_odbc.reset();
        m_open = false;
        m_depth = 0;
        m_rollbackOnly = false;
    }
    if (!QSqlDatabase::contains(m_name)) return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_open = false;
    m_depth = 0;
    m_rollbackOnly = false;
    m_sqliteFile.closed();
}

void Database::open(const ConnectionSettings &settings)
{
    close();
    m_name = QStringLiteral("tavimor-%1").arg(connectionCounter.fetchAndAddRelaxed(1));
    if (settings.isSqlite()) {
        m_dialect = Dialect(Dialect::Sqlite);
        const QString file = settings.sqliteFile();
        if (file.isEmpty()) throw DbError(-1, QStringLiteral("没有指定数据库文件"));
        // The driver would silently create an empty database for a missing file.
        if (!QFileInfo::exists(file)) throw DbError(-1, QStringLiteral("数据库文件不存在：%1").arg(file));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
            db.setDatabaseName(file);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(SqliteFile::writeWaitMilliseconds()));
            if (!db.open()) {
                const DbError error = errorFrom(db.lastError(), FailureText::Source::Sqlite, file);
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(m_name);
                throw error;
            }
        }
        m_open = true;
        try {
            // Proves that the file is a readable database, not just a file.
            select(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        } catch (const DbError &e) {
            close();
            throw DbError(e.number(), e.description() + QStringLiteral(" (") + file + QLatin1Char(')'));
        }
        // Readers beside one writer; silently stays in the default mode on a read-only folder.
        try {
            select(QStringLiteral("PRAGMA journal_mode=WAL"));
        } catch (const DbError &) {
        }
        try {
            m_sqliteFile.opened(*this, file);
            SchemaUpgrade::bringUpToDate(*this);
        } catch (const DbError &) {
            close();
            throw;
        }
        return;
    }

    openSqlServer(settings);
}

void Database::requireOpen()
{
    // A server connection that broke off is made again before the next statement that does not
    // belong to a transaction begun on it: the user's next try works once the network is back.
    // Within a transaction it is not: the server has rolled that transaction back, and what
    // follows must fail with it.
    if (m_depth == 0 && !m_odbcConnectionString.isEmpty() && (!m_odbc || m_odbc->isDead())) reopenSqlServer();
    if (!m_open) throw DbError(-1, QStringLiteral("数据库没有连接"));
}

void Database::prepare(QSqlQuery &query, const QString &sql, const QVariantList &params)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql)) fail(query, sql);
    for (const QVariant &param : params) query.addBindValue(m_dialect.bindValue(param));
}

void Database::fail(const QSqlQuery &query, const QString &sql) const
{
    Q_UNUSED(sql);
    throw errorFrom(query.lastError(), sourceOf(m_dialect));
}

int Database::execute(const QString &sql, const QVariantList &params)
{
    // A change outside a transaction begins like every write (file check, bounded wait).
    if (m_depth == 0 && m_dialect.isSqlite() && SqliteFile::changesRows(sql))
        return transaction([&] { return execute(sql, params); });
    requireOpen();
    if (m_odbc) return int(runSqlServer(sql, params));
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    prepare(query, sql, params);
    if (!query.exec()) fail(query, sql);
    const int affected = query.numRowsAffected();
    query.finish();
    return affected;
}

Rows Database::select(const QString &sql, const QVariantList &params)
{
    requireOpen();
    if (m_odbc) return selectSqlServer(sql, params);
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    prepare(query, sql, params);
    if (!query.exec()) fail(query, sql);
    const QSqlRecord record = query.record();
    const int count = record.count();
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) names << record.fieldName(i);
    QVector<QVariant> cells;
    while (query.next()) {
        for (int i = 0; i < count; ++i) cells.append(query.value(i));
    }
    if (query.lastError().isValid()) fail(query, sql);
    query.finish();
    return Rows(Columns(names), std::move(cells));
}

QVariant Database::scalar(const QString &sql, const QVariantList &params)
{
    const Rows rows = select(sql, params);
    if (rows.isEmpty() || rows.columns().size() == 0) return QVariant();
    return rows.value(0, 0);
}

namespace {

struct QueryRow : ScanRow {
    const QSqlQuery &query;
    explicit QueryRow(const QSqlQuery &q) : query(q) {}
    QVariant value(int column) const override { return query.value(column); }
    int columnCount() const override { return query.record().count(); }
};

}  // namespace

void Database::scan(const QString &sql, const QVariantList &params, const std::function<void(const ScanRow &)> &visit)
{
    requireOpen();
    if (m_odbc) {
        runSqlServer(sql, params, visit);
        return;
    }
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    prepare(query, sql, params);
    if (!query.exec()) fail(query, sql);
    const QueryRow row(query);
    while (query.next()) visit(row);
    if (query.lastError().isValid()) fail(query, sql);
    query.finish();
}

qint64 Database::insert(const QString &table, const Fields &fields)
{
    if (m_depth == 0 && m_dialect.isSqlite()) return transaction([&] { return insert(table, fields); });
    QStringList columns;
    QVariantList values;
    for (const auto &field : fields) {
        columns << field.first;
        values << field.second;
    }
    ColumnLengths::check(table, fields);
    const QVariant id = scalar(m_dialect.insertReturningId(table, columns), values);
    if (id.isNull()) throw DbError(-1, QStringLiteral("新记录没有返回编号 (%1)").arg(table));
    return id.toLongLong();
}

int Database::update(const QString &table, const Fields &fields, const QString &where, const QVariantList &whereParams)
{
    QStringList assignments;
    QVariantList values;
    for (const auto &field : fields) {
        assignments << field.first + QStringLiteral(" = ?");
        values << field.second;
    }
    values += whereParams;
    ColumnLengths::check(table, fields);
    return execute(
        QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table, assignments.join(QStringLiteral(", ")), where), values);
}

void Database::begin()
{
    requireOpen();
    if (m_depth == 0) {
        m_rollbackOnly = false;
        if (m_dialect.isSqlite()) m_sqliteFile.beginWrite(*this);
        else execute(m_dialect.beginTransaction());
    }
    ++m_depth;
}

void Database::commit()
{
    if (m_depth == 0) return;
    if (--m_depth > 0) return;
    if (m_rollbackOnly) {
        m_depth = 1;
        rollback();
        throw DbError(-1, QStringLiteral("事务已回滚"));
    }
    try {
        if (m_odbc) endSqlServerTransaction(true);
        else execute(QStringLiteral("COMMIT"));
    } catch (const DbError &) {
        m_depth = 1;
        rollback();
        throw;
    }
}

void Database::rollback()
{
    if (m_depth == 0) return;
    if (--m_depth > 0) {
        m_rollbackOnly = true;
        return;
    }
    m_rollbackOnly = false;
    if (!m_open) return;
    try {
        if (m_odbc) endSqlServerTransaction(false);
        else execute(QStringLiteral("ROLLBACK"));
    } catch (const DbError &) {
        // A failed statement may already have ended the transaction.
    }
}
