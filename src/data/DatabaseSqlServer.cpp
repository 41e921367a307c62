// The SQL Server path of Database: the suite's server through unixODBC and FreeTDS, with every
// text as UTF-16 (OdbcConnection). The SQLite path stays on Qt SQL in Database.cpp.

#include "ConnectionString.h"
#include "Database.h"
#include "OdbcConnection.h"

namespace {

// "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."
constexpr int kNoTransactionToRollBack = 3903;

struct CellsRow : ScanRow {
    const QVector<QVariant> &cells;
    explicit CellsRow(const QVector<QVariant> &c) : cells(c) {}
    QVariant value(int column) const override { return cells.at(column); }
    int columnCount() const override { return int(cells.size()); }
};

}  // namespace

QString Database::sqlServerSessionSetUp()
{
    return QStringLiteral("SET NOCOUNT OFF; SET LOCK_TIMEOUT %1; SET XACT_ABORT ON").arg(kLockTimeoutMilliseconds);
}

void Database::openSqlServer(const ConnectionSettings &settings)
{
    m_dialect = Dialect(Dialect::SqlServer);
    // A value that cannot reach the driver exactly is refused here, before any connection.
    m_odbcConnectionString = ConnectionString::build(settings, ConnectionString::driver());
    reopenSqlServer();
}

void Database::reopenSqlServer()
{
    m_open = false;
    m_odbc.reset();
    auto connection = std::make_unique<OdbcConnection>();
    connection->connect(m_odbcConnectionString, kTimeoutSeconds);
    connection->run(sqlServerSessionSetUp(), {});
    m_odbc = std::move(connection);
    m_open = true;
}

qint64 Database::runSqlServer(const QString &sql, const QVariantList &params,
                              const std::function<void(const ScanRow &)> &visit)
{
    OdbcConnection::RowVisitor rowVisitor;
    if (visit) rowVisitor = [&](const QVector<QVariant> &cells) { visit(CellsRow(cells)); };
    return runStatement(sql, params, rowVisitor).rowsAffected;
}

Rows Database::selectSqlServer(const QString &sql, const QVariantList &params)
{
    OdbcConnection::Result result = runStatement(sql, params, {});
    return Rows(Columns(result.columns), std::move(result.cells));
}

OdbcConnection::Result Database::runStatement(const QString &sql, const QVariantList &params,
                                              const OdbcConnection::RowVisitor &visit)
{
    QVariantList bound;
    bound.reserve(params.size());
    for (const QVariant &param : params) bound << m_dialect.bindValue(param);
    try {
        return m_odbc->run(sql, bound, visit);
    } catch (const DbError &e) {
        // A statement of its own (outside a transaction) that lost a deadlock was rolled back by
        // the server; it is tried once more. Inside a transaction the whole transaction is
        // (transaction()); rows already streamed to a visitor cannot be taken back.
        if (e.number() != kDeadlockVictim || inTransaction() || visit) throw;
    }
    return m_odbc->run(sql, bound, visit);
}

void Database::endSqlServerTransaction(bool commit)
{
    if (commit) {
        // On failure Database::commit() rolls back, which leaves the session clean.
        m_odbc->run(QStringLiteral("COMMIT TRANSACTION"), {});
        return;
    }
    try {
        m_odbc->run(QStringLiteral("ROLLBACK TRANSACTION"), {});
    } catch (const DbError &e) {
        // With XACT_ABORT the server may already have ended the transaction: then there is
        // nothing to roll back (3903), and the session is clean.
        if (e.number() == kNoTransactionToRollBack) return;
        // A session whose transaction state is unknown is not used again: a new one takes its
        // place (and the server rolls back whatever the old one held).
        try {
            reopenSqlServer();
        } catch (const DbError &) {
            // Not reachable now; the next statement says so.
        }
    }
}
