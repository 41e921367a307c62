#include "FailureText.h"

#include <QStringList>

#include "SqlServerErrors.h"

namespace FailureText {

namespace {

bool mentions(const QString &text, std::initializer_list<const char *> phrases)
{
    for (const char *phrase : phrases)
        if (text.contains(QLatin1String(phrase), Qt::CaseInsensitive)) return true;
    return false;
}

// SQLite reports a primary result code, or an extended one whose low byte is the primary code.
Kind fromSqliteCode(int code)
{
    if (code == kFileRemovedNumber) return Kind::FileRemoved;  // SQLITE_READONLY_DBMOVED
    switch (code & 0xff) {
        case 5:  // SQLITE_BUSY
        case 6:  // SQLITE_LOCKED
            return Kind::Locked;
        case 8: return Kind::ReadOnly;       // SQLITE_READONLY
        case 11: return Kind::Damaged;       // SQLITE_CORRUPT
        case 13: return Kind::DiskFull;      // SQLITE_FULL
        case 14: return Kind::CannotOpen;    // SQLITE_CANTOPEN
        case 26: return Kind::NotADatabase;  // SQLITE_NOTADB
        default: return Kind::Other;
    }
}

}  // namespace

Kind classify(Source source, const QString &nativeCode, const QString &technical)
{
    Kind first = Kind::Other;
    if (source == Source::SqlServer) {
        first = SqlServerErrors::classify(nativeCode);
    } else {
        // SQLite gives its result code.
        bool numeric = false;
        const int number = nativeCode.trimmed().toInt(&numeric);
        if (numeric) first = fromSqliteCode(number);
    }
    if (first != Kind::Other) return first;
    // The texts, for drivers that give no usable code. The server's own messages (a lock time-out,
    // a communication link failure, the TCP provider's and FreeTDS's read, write and end-of-stream
    // failures) always come with the state or number that SqlServerErrors reads.
    if (mentions(technical, {"database is locked", "database table is locked"})) return Kind::Locked;
    if (mentions(technical, {"connection is dead", "server closed the connection", "broken pipe", "connection reset"}))
        return Kind::ConnectionLost;
    if (mentions(technical, {"database disk image is malformed"})) return Kind::Damaged;
    if (mentions(technical, {"file is not a database"})) return Kind::NotADatabase;
    if (mentions(technical, {"database or disk is full"})) return Kind::DiskFull;
    if (mentions(technical, {"readonly database", "read-only"})) return Kind::ReadOnly;
    return Kind::Other;
}

QString plain(Kind kind)
{
    switch (kind) {
        case Kind::Other: return QString();
        case Kind::Locked: return QStringLiteral("数据库正被其他用户使用，请稍后再试");
        case Kind::ReadOnly:
            return QStringLiteral("数据库是只读的，不能保存修改。请系统管理员检查数据库文件及其文件夹的写入权限");
        case Kind::CannotOpen:
            return QStringLiteral("无法打开数据库文件。请检查数据库设置，以及文件和文件夹是否存在、能否读写");
        case Kind::NotADatabase: return QStringLiteral("这个文件不是投诉管理的数据库。请检查数据库设置");
        case Kind::Damaged: return QStringLiteral("数据库文件已损坏。请停止使用，由系统管理员从备份恢复");
        case Kind::DiskFull: return QStringLiteral("磁盘已满，修改没有保存。请清理磁盘空间后再试");
        case Kind::FileRemoved:
            return QStringLiteral(
                "数据库文件已被删除或替换，修改没有保存。请退出程序，由系统管理员恢复数据库文件后重新登录");
        case Kind::CannotConnect:
            return QStringLiteral("无法连接数据库服务器。请检查数据库设置和网络，以及服务器是否在运行");
        case Kind::TooSlow:
            return QStringLiteral("数据库服务器响应太慢，本次操作已经停止，没有保存任何内容。请稍后再试");
        case Kind::ConnectionLost:
            return QStringLiteral("与数据库服务器的连接已断开，本次操作没有完成。请检查网络后再试，程序会重新连接");
        case Kind::LoginRefused:
            return QStringLiteral("数据库服务器拒绝了登录：登录名或密码不对。请检查数据库设置中的登录名和密码");
        case Kind::TooLong: return QStringLiteral("输入的内容超过了数据库中该栏的长度，没有保存。请缩短后再试");
        case Kind::DateOutOfRange:
            return QStringLiteral("日期超出了数据库能保存的范围（1753年至9999年），没有保存。请检查输入的日期");
    }
    return QString();
}

QString describe(Kind kind, const QString &technical)
{
    const QString text = plain(kind);
    if (text.isEmpty()) return technical;
    if (technical.isEmpty()) return text;
    return text + QStringLiteral("\n技术信息：") + technical;
}

}  // namespace FailureText
