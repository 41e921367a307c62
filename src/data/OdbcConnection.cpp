#include "OdbcConnection.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <QDateTime>
#include <memory>
#include <vector>

#include "DbError.h"
#include "FailureText.h"

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use UTF-16 wide characters");

namespace SqlServerError {

QString lockTimeoutMessage()
{
    return QStringLiteral(
        "数据正被其他工作站使用，等待 5 秒后仍未释放，本次操作没有完成，也没有保存任何内容。请稍后再试。");
}

QString deadlockMessage()
{
    return QStringLiteral("与其他工作站的操作相互等待（死锁），已自动重试一次仍未成功，本次操作没有保存。请稍后再试。");
}

}  // namespace SqlServerError

namespace {

const SQLWCHAR *wide(const QString &text) { return reinterpret_cast<const SQLWCHAR *>(text.utf16()); }

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The diagnostics of a handle as one DbError: the first server error number, and every message
// after the plain Chinese word for what happened (FailureText), which the states and numbers decide.
DbError diagnostics(SQLSMALLINT type, SQLHANDLE handle, const QString &fallback)
{
    int number = 0;
    QStringList messages;
    QStringList codes;
    for (SQLSMALLINT record = 1; handle && record <= 20; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLGetDiagRecW(type, handle, record, state, &native, text, SQLSMALLINT(std::size(text)), &length);
        if (!succeeded(rc)) break;
        if (number == 0 && native != 0) number = int(native);
        codes << QString::fromUtf16(reinterpret_cast<const char16_t *>(state), 5);
        if (native != 0) codes << QString::number(native);
        const QString message =
            QString::fromUtf16(reinterpret_cast<const char16_t *>(text), qMin<int>(length, int(std::size(text)) - 1))
                .trimmed();
        if (!message.isEmpty() && !messages.contains(message)) messages << message;
    }
    if (number == SqlServerError::kLockTimeout) return DbError(number, SqlServerError::lockTimeoutMessage());
    if (number == SqlServerError::kDeadlock) return DbError(number, SqlServerError::deadlockMessage());
    const QString description = messages.isEmpty() ? fallback : messages.join(QLatin1Char('\n'));
    const FailureText::Kind kind =
        FailureText::classify(FailureText::Source::SqlServer, codes.join(QLatin1Char(';')), description);
    return DbError(number == 0 ? -1 : number, FailureText::describe(kind, description));
}

// Owns a statement handle for one call.
struct Statement {
    SQLHSTMT handle = SQL_NULL_HSTMT;
    ~Statement()
    {
        if (handle) {
            SQLFreeStmt(handle, SQL_CLOSE);
            SQLFreeHandle(SQL_HANDLE_STMT, handle);
        }
    }
    [[noreturn]] void fail(const QString &what) const { throw diagnostics(SQL_HANDLE_STMT, handle, what); }
};

// The buffers of the bound parameters; they must live until the statement has run.
struct Parameter {
    std::u16string text;
    SQLBIGINT integer = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT timestamp{};
    QByteArray bytes;
    SQLLEN indicator = 0;
};

void bindParameter(SQLHSTMT stmt, SQLUSMALLINT number, const QVariant &value, Parameter &p, const Statement &owner)
{
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN size = 1;
    SQLSMALLINT digits = 0;
    SQLPOINTER data = nullptr;
    SQLLEN capacity = 0;
    const bool null = value.isNull();
    switch (value.metaType().id()) {
        case QMetaType::Bool:
            cType = SQL_C_SBIGINT;
            sqlType = SQL_BIT;
            p.integer = value.toBool() ? 1 : 0;
            data = &p.integer;
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
            cType = SQL_C_SBIGINT;
            sqlType = SQL_INTEGER;
            p.integer = value.toLongLong();
            data = &p.integer;
            break;
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            cType = SQL_C_SBIGINT;
            sqlType = SQL_BIGINT;
            p.integer = value.toLongLong();
            data = &p.integer;
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            cType = SQL_C_DOUBLE;
            sqlType = SQL_DOUBLE;
            p.real = value.toDouble();
            data = &p.real;
            break;
        case QMetaType::QDateTime:
        case QMetaType::QDate: {
            cType = SQL_C_TYPE_TIMESTAMP;
            sqlType = SQL_TYPE_TIMESTAMP;
            size = 23;
            digits = 3;
            const QDateTime dt =
                value.metaType().id() == QMetaType::QDate ? QDateTime(value.toDate(), QTime(0, 0)) : value.toDateTime();
            const QDate d = dt.date();
            const QTime t = dt.time();
            p.timestamp = SQL_TIMESTAMP_STRUCT{SQLSMALLINT(d.year()),           SQLUSMALLINT(d.month()),
                                               SQLUSMALLINT(d.day()),           SQLUSMALLINT(t.hour()),
                                               SQLUSMALLINT(t.minute()),        SQLUSMALLINT(t.second()),
                                               SQLUINTEGER(t.msec()) * 1000000u};
            data = &p.timestamp;
            break;
        }
        case QMetaType::QByteArray:
            cType = SQL_C_BINARY;
            sqlType = SQL_VARBINARY;
            p.bytes = value.toByteArray();
            size = SQLULEN(qMax<qsizetype>(1, p.bytes.size()));
            data = p.bytes.data();
            capacity = SQLLEN(p.bytes.size());
            p.indicator = capacity;
            break;
        default: {
            // Text, and whatever else the stores bind, as NVARCHAR. Up to 4000 units the declared
            // size stays the same, so the server reuses one plan. FreeTDS cuts a longer
            // SQL_WVARCHAR to 4000 units; as SQL_WLONGVARCHAR it goes whole, as NVARCHAR(MAX).
            const QString text = value.toString();
            p.text.assign(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
            p.text.push_back(u'\0');
            const SQLULEN units = SQLULEN(text.size());
            size = units <= 4000 ? 4000 : units;
            if (units > 4000) sqlType = SQL_WLONGVARCHAR;
            data = p.text.data();
            capacity = SQLLEN(p.text.size() * sizeof(char16_t));
            p.indicator = SQLLEN(units * sizeof(char16_t));
            break;
        }
    }
    if (cType != SQL_C_WCHAR && cType != SQL_C_BINARY) p.indicator = 0;
    if (null) p.indicator = SQL_NULL_DATA;
    const SQLRETURN rc =
        SQLBindParameter(stmt, number, SQL_PARAM_INPUT, cType, sqlType, size, digits, data, capacity, &p.indicator);
    if (!succeeded(rc)) owner.fail(QStringLiteral("参数 %1 无法绑定").arg(number));
}

// How a column is read.
enum class Reading { Text, PaddedText, Integer, Real, Decimal, Timestamp, Date, Time, Binary };

Reading readingOf(SQLSMALLINT type, SQLSMALLINT scale)
{
    switch (type) {
        case SQL_CHAR:
        case SQL_WCHAR: return Reading::PaddedText;
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
        case SQL_BIT: return Reading::Integer;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE: return Reading::Real;
        case SQL_DECIMAL:
        case SQL_NUMERIC: return scale == 0 ? Reading::Decimal : Reading::Real;
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATETIME: return Reading::Timestamp;
        case SQL_TYPE_DATE: return Reading::Date;
        case SQL_TYPE_TIME: return Reading::Time;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY: return Reading::Binary;
        default: return Reading::Text;
    }
}

QVariant nullOf(Reading reading)
{
    switch (reading) {
        case Reading::Integer:
        case Reading::Decimal: return QVariant(QMetaType::fromType<qlonglong>());
        case Reading::Real: return QVariant(QMetaType::fromType<double>());
        case Reading::Timestamp: return QVariant(QMetaType::fromType<QDateTime>());
        case Reading::Date: return QVariant(QMetaType::fromType<QDate>());
        case Reading::Time: return QVariant(QMetaType::fromType<QTime>());
        case Reading::Binary: return QVariant(QMetaType::fromType<QByteArray>());
        default: return QVariant(QMetaType::fromType<QString>());
    }
}

// Reads a long value in pieces; false when it is NULL.
bool readText(SQLHSTMT stmt, SQLUSMALLINT column, QString *out, const Statement &owner)
{
    out->clear();
    char16_t buffer[2048];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof(buffer), &indicator);
        if (rc == SQL_NO_DATA) return true;
        if (!succeeded(rc)) owner.fail(QStringLiteral("第 %1 列无法读取").arg(column));
        if (indicator == SQL_NULL_DATA) return false;
        const qsizetype room = qsizetype(std::size(buffer)) - 1;
        const qsizetype units = (indicator == SQL_NO_TOTAL || indicator / qsizetype(sizeof(char16_t)) > room)
                                    ? room
                                    : indicator / qsizetype(sizeof(char16_t));
        out->append(QStringView(buffer, units));
        if (rc == SQL_SUCCESS) return true;
    }
}

bool readBinary(SQLHSTMT stmt, SQLUSMALLINT column, QByteArray *out, const Statement &owner)
{
    out->clear();
    char buffer[4096];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_BINARY, buffer, sizeof(buffer), &indicator);
        if (rc == SQL_NO_DATA) return true;
        if (!succeeded(rc)) owner.fail(QStringLiteral("第 %1 列无法读取").arg(column));
        if (indicator == SQL_NULL_DATA) return false;
        const qsizetype bytes =
            (indicator == SQL_NO_TOTAL || indicator > SQLLEN(sizeof(buffer))) ? qsizetype(sizeof(buffer)) : indicator;
        out->append(buffer, bytes);
        if (rc == SQL_SUCCESS) return true;
    }
}

QVariant readCell(SQLHSTMT stmt, SQLUSMALLINT column, Reading reading, const Statement &owner)
{
    SQLLEN indicator = 0;
    const auto get = [&](SQLSMALLINT cType, SQLPOINTER buffer, SQLLEN size) {
        const SQLRETURN rc = SQLGetData(stmt, column, cType, buffer, size, &indicator);
        if (!succeeded(rc)) owner.fail(QStringLiteral("第 %1 列无法读取").arg(column));
        return indicator != SQL_NULL_DATA;
    };
    switch (reading) {
        case Reading::Integer: {
            SQLBIGINT v = 0;
            return get(SQL_C_SBIGINT, &v, sizeof(v)) ? QVariant(qlonglong(v)) : nullOf(reading);
        }
        case Reading::Real: {
            double v = 0;
            return get(SQL_C_DOUBLE, &v, sizeof(v)) ? QVariant(v) : nullOf(reading);
        }
        case Reading::Timestamp:
        case Reading::Date:
        case Reading::Time: {
            SQL_TIMESTAMP_STRUCT ts{};
            if (!get(SQL_C_TYPE_TIMESTAMP, &ts, sizeof(ts))) return nullOf(reading);
            const QDate date(ts.year, ts.month, ts.day);
            const QTime time(ts.hour, ts.minute, ts.second, int(ts.fraction / 1000000u));
            if (reading == Reading::Date) return QVariant(date);
            if (reading == Reading::Time) return QVariant(time);
            return QVariant(QDateTime(date, time));
        }
        case Reading::Binary: {
            QByteArray bytes;
            return readBinary(stmt, column, &bytes, owner) ? QVariant(bytes) : nullOf(reading);
        }
        case Reading::Decimal: {
            QString text;
            if (!readText(stmt, column, &text, owner)) return nullOf(reading);
            bool ok = false;
            const qlonglong n = text.toLongLong(&ok);
            return ok ? QVariant(n) : QVariant(text.toDouble());
        }
        case Reading::Text:
        case Reading::PaddedText: {
            QString text;
            if (!readText(stmt, column, &text, owner)) return nullOf(reading);
            // Fixed-width columns come back filled with blanks up to their width.
            if (reading == Reading::PaddedText) {
                qsizetype end = text.size();
                while (end > 0 && text.at(end - 1) == QLatin1Char(' ')) --end;
                text.truncate(end);
            }
            return QVariant(text);
        }
    }
    return QVariant();
}

}  // namespace

OdbcConnection::OdbcConnection() = default;

OdbcConnection::~OdbcConnection() { disconnect(); }

void OdbcConnection::disconnect()
{
    if (m_dbc) {
        SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        m_dbc = nullptr;
    }
    if (m_env) {
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
        m_env = nullptr;
    }
}

void OdbcConnection::connect(const QString &connectionString, int timeoutSeconds)
{
    disconnect();
    SQLHENV env = SQL_NULL_HENV;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw DbError(-1, QStringLiteral("无法初始化 ODBC 驱动管理器"));
    m_env = env;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        const DbError error = diagnostics(SQL_HANDLE_ENV, env, QStringLiteral("无法建立 ODBC 连接"));
        disconnect();
        throw error;
    }
    const auto seconds = reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds));
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, seconds, 0);
    SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT, seconds, 0);
    SQLWCHAR completed[1024];
    SQLSMALLINT completedLength = 0;
    const SQLRETURN rc =
        SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR *>(wide(connectionString)), SQL_NTS, completed,
                          SQLSMALLINT(std::size(completed)), &completedLength, SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc)) {
        const DbError error = diagnostics(SQL_HANDLE_DBC, dbc, QStringLiteral("无法连接数据库服务器"));
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        disconnect();
        throw error;
    }
    m_dbc = dbc;
}

bool OdbcConnection::isDead() const
{
    if (!m_dbc) return true;
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttrW(m_dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return succeeded(rc) && dead == SQL_CD_TRUE;
}

OdbcConnection::Result OdbcConnection::run(const QString &sql, const QVariantList &params, const RowVisitor &visit,
                                           bool lastResult)
{
    if (!m_dbc) throw DbError(-1, QStringLiteral("数据库没有连接"));
    Statement stmt;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt.handle))) {
        stmt.handle = SQL_NULL_HSTMT;
        throw diagnostics(SQL_HANDLE_DBC, m_dbc, QStringLiteral("无法执行语句"));
    }
    if (m_queryTimeout > 0)
        SQLSetStmtAttr(stmt.handle, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(m_queryTimeout)), 0);
    std::vector<Parameter> buffers(size_t(params.size()));
    for (int i = 0; i < params.size(); ++i)
        bindParameter(stmt.handle, SQLUSMALLINT(i + 1), params.at(i), buffers[size_t(i)], stmt);

    Result result;
    SQLRETURN rc = SQLExecDirectW(stmt.handle, const_cast<SQLWCHAR *>(wide(sql)), SQL_NTS);
    if (!succeeded(rc) && rc != SQL_NO_DATA) stmt.fail(QStringLiteral("语句执行失败"));
    bool haveRows = false;
    for (;;) {
        if (rc != SQL_NO_DATA) {
            SQLSMALLINT count = 0;
            if (!succeeded(SQLNumResultCols(stmt.handle, &count))) stmt.fail(QStringLiteral("结果无法读取"));
            if (count > 0) {
                const bool keep = !haveRows || lastResult;
                haveRows = true;
                if (keep) {
                    result.columns.clear();
                    result.cells.clear();
                }
                std::vector<Reading> readings;
                for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(count); ++c) {
                    SQLWCHAR name[256] = {};
                    SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
                    SQLULEN size = 0;
                    if (!succeeded(SQLDescribeColW(stmt.handle, c, name, SQLSMALLINT(std::size(name)), &nameLength,
                                                   &type, &size, &scale, &nullable)))
                        stmt.fail(QStringLiteral("结果无法读取"));
                    readings.push_back(readingOf(type, scale));
                    if (keep)
                        result.columns << QString::fromUtf16(reinterpret_cast<const char16_t *>(name),
                                                             qMin<int>(nameLength, int(std::size(name)) - 1));
                }
                QVector<QVariant> row(count);
                for (;;) {
                    const SQLRETURN fetched = SQLFetch(stmt.handle);
                    if (fetched == SQL_NO_DATA) break;
                    if (!succeeded(fetched)) stmt.fail(QStringLiteral("结果无法读取"));
                    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(count); ++c)
                        row[c - 1] = readCell(stmt.handle, c, readings[c - 1], stmt);
                    if (!keep) continue;
                    if (visit) visit(row);
                    else result.cells += row;
                }
            } else {
                SQLLEN changed = -1;
                if (succeeded(SQLRowCount(stmt.handle, &changed)) && changed >= 0) result.rowsAffected = changed;
            }
        } else if (result.rowsAffected < 0) {
            result.rowsAffected = 0;
        }
        rc = SQLMoreResults(stmt.handle);
        if (rc == SQL_NO_DATA) break;
        if (!succeeded(rc)) stmt.fail(QStringLiteral("语句执行失败"));
    }
    return result;
}
