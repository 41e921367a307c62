#include "ConnectionString.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>

#include "Database.h"

namespace ConnectionString {

namespace {

// "key=value;" with the value bare or braced, exactly as the driver will read it back.
QString pair(const QString &key, const QString &value, const QString &setting)
{
    const auto refuse = [&](const QString &why) {
        throw DbError(
            -1,
            QStringLiteral("连接设置 %1 的值无法原样传给数据库驱动：%2。请在设置文件中修改 %1。").arg(setting, why));
    };
    if (value.contains(QChar(0))) refuse(QStringLiteral("其中有空字符"));
    const bool bare = !value.contains(QLatin1Char(';')) && !value.startsWith(QLatin1Char('{')) &&
                      value.trimmed().size() == value.size();
    if (bare) return key + QLatin1Char('=') + value + QLatin1Char(';');
    // Braced, the value runs to the first "};": one that holds "};" itself would end early and
    // the rest would be read as further keywords.
    if (value.contains(QStringLiteral("};"))) refuse(QStringLiteral("其中含有“};”"));
    return key + QStringLiteral("={") + value + QStringLiteral("};");
}

}  // namespace

QString build(const ConnectionSettings &settings, const QString &driver)
{
    // "host,port" is the usual way to name a port for SQL Server; FreeTDS wants it apart.
    // "host\instance" stays whole: FreeTDS asks the server's browser service for the port.
    QString server = settings.server;
    QString port;
    const int comma = server.lastIndexOf(QLatin1Char(','));
    if (comma > 0) {
        // Digits only, checked one by one: QString::toInt stops quietly at an embedded NUL, and
        // whatever followed it would reach the driver as keywords of its own.
        const QString digits = server.mid(comma + 1).trimmed();
        const bool numeric = !digits.isEmpty() && digits.size() <= 5 &&
                             std::all_of(digits.begin(), digits.end(),
                                         [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
        if (numeric) {
            port = digits;
            server = server.left(comma).trimmed();
        }
    }
    QString s = QStringLiteral("DRIVER={") + driver + QStringLiteral("};");
    s += pair(QStringLiteral("SERVER"), server, QStringLiteral("Svr"));
    if (!port.isEmpty()) s += QStringLiteral("PORT=") + port + QLatin1Char(';');
    s += pair(QStringLiteral("UID"), settings.login, QStringLiteral("UID"));
    s += pair(QStringLiteral("PWD"), settings.password, QStringLiteral("PWD"));
    s += pair(QStringLiteral("DATABASE"), settings.database, QStringLiteral("DBname"));
    s += QStringLiteral("TDS_Version=7.4;ClientCharset=UTF-8;");
    return s;
}

QString driver()
{
    // Debian's tdsodbc registers the driver as "FreeTDS"; without the registration the library
    // itself can be named.
    QFile ini(QStringLiteral("/etc/odbcinst.ini"));
    if (ini.open(QIODevice::ReadOnly) && ini.readAll().contains("[FreeTDS]")) return QStringLiteral("FreeTDS");
    static const char *const candidates[] = {"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so",
                                             "/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so",
                                             "/usr/lib/odbc/libtdsodbc.so", "/usr/local/lib/libtdsodbc.so"};
    for (const char *path : candidates)
        if (QFileInfo::exists(QLatin1String(path))) return QLatin1String(path);
    return QStringLiteral("FreeTDS");
}

}  // namespace ConnectionString
