#include "Database.h"

#include <QAtomicInt>

#include "ColumnLengths.h"
#include "SqlServerBackend.h"
#include "SqliteBackend.h"

namespace {

QAtomicInt connectionCounter;

}  // namespace

QVariant nullText() { return QVariant(QMetaType::fromType<QString>()); }

QVariant textOrNull(const QString &text) { return text.isEmpty() ? nullText() : QVariant(text); }

Database::Database() : m_name(QStringLiteral("tavimor-%1").arg(connectionCounter.fetchAndAddRelaxed(1))) {}

Database::~Database() { close(); }

bool Database::isOpen() const { return m_backend && m_backend->isOpen(); }

bool Database::isReadOnly() const { return m_backend && m_backend->isReadOnly(); }

QString Database::file() const { return m_backend ? m_backend->file() : QString(); }

ColumnType Database::columnType(const QString &table, const QString &column) const
{
    return m_backend ? m_backend->columnType(table, column) : ColumnLengths::typeOf(table, column);
}

void Database::close()
{
    m_backend.reset();
    m_depth = 0;
    m_rollbackOnly = false;
}

void Database::open(const ConnectionSettings &settings)
{
    close();
    m_name = QStringLiteral("tavimor-%1").arg(connectionCounter.fetchAndAddRelaxed(1));
    if (settings.isSqlite()) {
        m_dialect = Dialect(Dialect::Sqlite);
        auto backend = std::make_unique<SqliteBackend>(*this, m_name);
        // Installed before it opens: the checks of the file run their statements through this object.
        m_backend = std::move(backend);
        try {
            static_cast<SqliteBackend &>(*m_backend).open(settings.sqliteFile());
        } catch (const DbError &) {
            m_backend.reset();
            throw;
        }
        return;
    }
    m_dialect = Dialect(Dialect::SqlServer);
    auto backend = std::make_unique<SqlServerBackend>(*this);
    backend->open(settings);
    m_backend = std::move(backend);
}

DatabaseBackend &Database::requireOpen()
{
    if (!m_backend) throw DbError(-1, QStringLiteral("数据库没有连接"));
    if (m_depth == 0) m_backend->beforeStatement();
    if (!m_backend->isOpen()) throw DbError(-1, QStringLiteral("数据库没有连接"));
    return *m_backend;
}

int Database::execute(const QString &sql, const QVariantList &params) { return requireOpen().execute(sql, params); }

Rows Database::select(const QString &sql, const QVariantList &params) { return requireOpen().select(sql, params); }

QVariant Database::scalar(const QString &sql, const QVariantList &params)
{
    const Rows rows = select(sql, params);
    if (rows.isEmpty() || rows.columns().size() == 0) return QVariant();
    return rows.value(0, 0);
}

void Database::scan(const QString &sql, const QVariantList &params, const std::function<void(const ScanRow &)> &visit)
{
    requireOpen().scan(sql, params, visit);
}

QVariantList Database::checkedValues(const QString &table, const Fields &fields) const
{
    QVariantList values;
    values.reserve(fields.size());
    for (const auto &field : fields) {
        if (field.second.metaType().id() == QMetaType::QString)
            columnType(table, field.first).check(field.first, field.second.toString());
        values << Param::column(table, field.first, field.second);
    }
    return values;
}

qint64 Database::insert(const QString &table, const Fields &fields)
{
    const QVariantList values = checkedValues(table, fields);
    QStringList columns;
    for (const auto &field : fields) columns << field.first;
    // The insert and the read of its identity are one: a failure between them leaves no row.
    return transaction([&] { return requireOpen().insert(table, columns, values); });
}

int Database::update(const QString &table, const Fields &fields, const QString &where, const QVariantList &whereParams)
{
    QVariantList values = checkedValues(table, fields);
    QStringList assignments;
    for (const auto &field : fields) assignments << field.first + QStringLiteral(" = ?");
    values += whereParams;
    return execute(
        QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table, assignments.join(QStringLiteral(", ")), where), values);
}

void Database::begin()
{
    DatabaseBackend &backend = requireOpen();
    if (m_depth == 0) {
        m_rollbackOnly = false;
        backend.beginTransaction();
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
        if (!m_backend) throw DbError(-1, QStringLiteral("数据库没有连接"));
        m_backend->commitTransaction();
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
    if (m_backend && m_backend->isOpen()) m_backend->rollbackTransaction();
}
