#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>

// One connection to SQL Server through unixODBC's wide-character API. Statement text and every
// text value travel as UTF-16 (SQL_C_WCHAR bound as SQL_WVARCHAR, so the server sees NVARCHAR),
// whatever the database's collation; integers, date-times and NULLs are bound with their own
// types. Every result is read to its end before the call returns, so the connection is never
// left busy (FreeTDS has one active result per connection).
//
// Failures are thrown as DbError with the server's error number; a lock time-out (1222), a
// deadlock (1205) and a statement cancelled by the query time-out carry a message in Chinese.
class OdbcConnection {
public:
    // What one statement or batch gave back: the columns and cells of its first result set, and the
    // number of rows that its last counting statement changed (-1 when none counted).
    struct Result {
        QStringList columns;
        QVector<QVariant> cells;
        qint64 rowsAffected = -1;
    };
    // Receives the cells of one row of the first result set, when results are streamed.
    using RowVisitor = std::function<void(const QVector<QVariant> &cells)>;

    OdbcConnection();
    ~OdbcConnection();
    OdbcConnection(const OdbcConnection &) = delete;
    OdbcConnection &operator=(const OdbcConnection &) = delete;

    // Connects with a complete connection string (SQLDriverConnectW) and a login time-out.
    void connect(const QString &connectionString, int timeoutSeconds);
    void disconnect();
    // True once the driver knows that the link to the server has broken (or there never was one):
    // nothing more can be sent over this connection.
    bool isDead() const;

    // How long each statement may run before the driver cancels it (SQL_ATTR_QUERY_TIMEOUT);
    // 0 waits for ever.
    void setQueryTimeout(int seconds) { m_queryTimeout = seconds; }

    // Runs a statement or batch with "?" parameters. With a visitor, the rows of the first result
    // set go to it one by one instead of into the result. With `lastResult`, the result kept is the
    // batch's last result set instead of its first (a trigger's rows come before the batch's own).
    Result run(const QString &sql, const QVariantList &params, const RowVisitor &visit = {}, bool lastResult = false);

private:
    void *m_env = nullptr;
    void *m_dbc = nullptr;
    int m_queryTimeout = 0;
};

// Server error numbers that the client treats on their own.
namespace SqlServerError {
constexpr int kLockTimeout = 1222;
constexpr int kDeadlock = 1205;
QString lockTimeoutMessage();
QString deadlockMessage();
}  // namespace SqlServerError
