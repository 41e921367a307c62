#include "SqlServerBackend.h"

#include <QDateTime>
#include <QRegularExpression>

#include "ConnectionString.h"
#include "Database.h"
#include "Param.h"
#include "SqliteFile.h"
#include "StatementColumns.h"

namespace {

// "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."
constexpr int kNoTransactionToRollBack = 3903;
// The server's number for a date-time outside DATETIME's range.
constexpr int kDateOutOfRange = 242;

int statementTimeout = SqlServerBackend::kStatementTimeoutSeconds;

struct CellsRow : ScanRow {
    const QVector<QVariant> &cells;
    explicit CellsRow(const QVector<QVariant> &c) : cells(c) {}
    QVariant value(int column) const override { return cells.at(column); }
    int columnCount() const override { return int(cells.size()); }
};

// A collation name from the catalogue, fit to stand in a statement's text.
bool isCollationName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_]+$"));
    return pattern.match(name).hasMatch();
}

bool isDateValue(const QVariant &value)
{
    const int type = value.metaType().id();
    return type == QMetaType::QDateTime || type == QMetaType::QDate;
}

QString dateRangeMessage(const QString &column)
{
    return QStringLiteral("“%1”的日期超出了数据库能保存的范围（1753-01-01 至 9999-12-31），请改正后再试。").arg(column);
}

}  // namespace

SqlServerBackend::SqlServerBackend(Database &owner) : m_owner(owner) {}

SqlServerBackend::~SqlServerBackend() = default;

QString SqlServerBackend::sessionSetUp()
{
    return QStringLiteral("SET NOCOUNT OFF; SET LOCK_TIMEOUT %1; SET XACT_ABORT ON")
        .arg(Database::kLockTimeoutMilliseconds);
}

int SqlServerBackend::statementTimeoutSeconds() { return statementTimeout; }

void SqlServerBackend::setStatementTimeoutSeconds(int seconds) { statementTimeout = seconds; }

void SqlServerBackend::open(const ConnectionSettings &settings)
{
    // A value that cannot reach the driver exactly is refused here, before any connection.
    m_connectionString = ConnectionString::build(settings, ConnectionString::driver());
    reconnect();
}

void SqlServerBackend::reconnect()
{
    m_odbc.reset();
    auto connection = std::make_unique<OdbcConnection>();
    connection->connect(m_connectionString, Database::kTimeoutSeconds);
    connection->setQueryTimeout(statementTimeout);
    connection->run(sessionSetUp(), {});
    try {
        OdbcConnection::Result columns = connection->run(ServerSchema::statement(), {});
        m_schema.load(Rows(Columns(columns.columns), std::move(columns.cells)));
    } catch (const DbError &) {
        // A server whose catalogue cannot be read so (a login without the right to see it, a
        // version before sys.columns) is used as before: every column as the client's script
        // makes it.
        if (connection->isDead()) throw;
        m_schema.clear();
    }
    m_columnsMet.clear();
    m_odbc = std::move(connection);
}

void SqlServerBackend::beforeStatement()
{
    // A connection that broke off is made again before the next statement that does not belong to
    // a transaction begun on it: the user's next try works once the network is back. Within a
    // transaction it is not: the server has rolled that transaction back, and what follows must
    // fail with it.
    if (!m_connectionString.isEmpty() && (!m_odbc || m_odbc->isDead())) reconnect();
}

ColumnType SqlServerBackend::columnType(const QString &table, const QString &column) const
{
    return m_schema.columnType(table, column);
}

const QVector<StatementColumns::Met> &SqlServerBackend::columnsMet(const QString &sql) const
{
    auto found = m_columnsMet.constFind(sql);
    if (found != m_columnsMet.constEnd()) return *found;
    if (m_columnsMet.size() >= 2000) m_columnsMet.clear();
    return *m_columnsMet.insert(
        sql, StatementColumns::columnsMet(
                 sql, [&](const QString &table, const QString &column) { return m_schema.contains(table, column); }));
}

SqlServerBackend::Bound SqlServerBackend::bind(const QString &sql, const QVariantList &params, bool writing) const
{
    Bound bound;
    bound.sql = sql;
    bound.params.reserve(params.size());
    QStringList wrappers;  // per mark: the conversion around it, "%1" standing for the mark
    const QVector<StatementColumns::Met> &met = columnsMet(sql);
    static const Dialect dialect(Dialect::SqlServer);
    for (int i = 0; i < params.size(); ++i) {
        const ColumnParam *named = Param::columnOf(params.at(i));
        const QVariant value = Param::valueOf(params.at(i));
        const QString table = named ? named->table : met.value(i).table;
        const QString column = named ? named->column : met.value(i).column;
        QString wrapper;
        if (!table.isEmpty() && !value.isNull()) {
            const ColumnType type = columnType(table, column);
            const bool text = value.metaType().id() == QMetaType::QString;
            if (type.kind == ColumnType::NarrowText && text) {
                const QString string = value.toString();
                if (writing) type.check(column, string);
                // Only a column of at most 8000 bytes has an index to seek, and only a value that
                // fits it can equal a stored one; a long text is converted where it is stored.
                if (type.length > 0 && type.unitsOf(string) <= 8000 && type.firstUnrepresentable(string).isEmpty()) {
                    wrapper = isCollationName(type.collation) ? QStringLiteral("CAST(%1 COLLATE ") + type.collation +
                                                                    QStringLiteral(" AS VARCHAR(8000))")
                                                              : QStringLiteral("CAST(%1 AS VARCHAR(8000))");
                }
            } else if (type.kind == ColumnType::DateTime && isDateValue(value)) {
                const QDate day =
                    value.metaType().id() == QMetaType::QDate ? value.toDate() : value.toDateTime().date();
                if (day.isValid() && (day.year() < 1753 || day.year() > 9999))
                    throw DbError(kDateOutOfRange, dateRangeMessage(column));
                wrapper = QStringLiteral("CAST(%1 AS DATETIME)");
            } else if (writing && text && type.isText()) {
                type.check(column, value.toString());
            }
        }
        wrappers << wrapper;
        bound.params << dialect.bindValue(value);
    }
    const QVector<qsizetype> marks = StatementColumns::marks(sql);
    // From the last mark back, so that the earlier positions stay right.
    for (qsizetype i = qMin<qsizetype>(marks.size(), wrappers.size()) - 1; i >= 0; --i) {
        if (wrappers.at(i).isEmpty()) continue;
        bound.sql.replace(marks.at(i), 1, wrappers.at(i).arg(QStringLiteral("?")));
    }
    return bound;
}

OdbcConnection::Result SqlServerBackend::run(const QString &sql, const QVariantList &params,
                                             const OdbcConnection::RowVisitor &visit, bool lastResult)
{
    if (!m_odbc) throw DbError(-1, QStringLiteral("数据库没有连接"));
    const Bound bound = bind(sql, params, SqliteFile::changesRows(sql));
    try {
        return m_odbc->run(bound.sql, bound.params, visit, lastResult);
    } catch (const DbError &e) {
        // A statement of its own (outside a transaction) that lost a deadlock was rolled back by
        // the server; it is tried once more. Inside a transaction the whole transaction is
        // (Database::transaction); rows already streamed to a visitor cannot be taken back.
        if (e.number() != Database::kDeadlockVictim || m_owner.inTransaction() || visit) throw;
    }
    return m_odbc->run(bound.sql, bound.params, visit, lastResult);
}

int SqlServerBackend::execute(const QString &sql, const QVariantList &params)
{
    return int(run(sql, params).rowsAffected);
}

Rows SqlServerBackend::select(const QString &sql, const QVariantList &params)
{
    OdbcConnection::Result result = run(sql, params);
    return Rows(Columns(result.columns), std::move(result.cells));
}

void SqlServerBackend::scan(const QString &sql, const QVariantList &params,
                            const std::function<void(const ScanRow &)> &visit)
{
    run(sql, params, [&](const QVector<QVariant> &cells) { visit(CellsRow(cells)); });
}

qint64 SqlServerBackend::insert(const QString &table, const QStringList &columns, const QVariantList &values)
{
    // SCOPE_IDENTITY() in the same batch: the identity of this insert, not of a row that a trigger
    // on the table inserted (OUTPUT INSERTED without INTO is refused on a table with a trigger). A
    // trigger may itself return rows: the identity is the batch's last result, read by its name.
    const QStringList marks(columns.size(), QStringLiteral("?"));
    const OdbcConnection::Result result =
        run(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3); SELECT CAST(SCOPE_IDENTITY() AS BIGINT) AS ID")
                .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
            values, {}, true);
    const int column = result.columns.indexOf(QStringLiteral("ID"));
    if (column < 0 || result.cells.size() != result.columns.size() || result.cells.at(column).isNull())
        throw DbError(-1, QStringLiteral("新记录没有返回编号 (%1)").arg(table));
    return result.cells.at(column).toLongLong();
}

void SqlServerBackend::beginTransaction() { run(QStringLiteral("BEGIN TRANSACTION"), {}); }

void SqlServerBackend::commitTransaction()
{
    // On failure Database::commit() rolls back, which leaves the session clean.
    run(QStringLiteral("COMMIT TRANSACTION"), {});
}

void SqlServerBackend::rollbackTransaction()
{
    if (!m_odbc) return;
    try {
        m_odbc->run(QStringLiteral("ROLLBACK TRANSACTION"), {});
    } catch (const DbError &e) {
        // With XACT_ABORT the server may already have ended the transaction: then there is
        // nothing to roll back (3903), and the session is clean.
        if (e.number() == kNoTransactionToRollBack) return;
        // A session whose transaction state is unknown is not used again: a new one takes its
        // place (and the server rolls back whatever the old one held).
        try {
            reconnect();
        } catch (const DbError &) {
            // Not reachable now; the next statement says so.
        }
    }
}
