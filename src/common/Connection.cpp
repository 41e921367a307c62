#include "Connection.h"

#include "ErrorReports.h"
#include "Messages.h"
#include "Session.h"
#include "Settings.h"

QString readOnlyWarning()
{
    return QStringLiteral(
        "数据库是只读的：可以查看，但不能保存任何修改。请系统管理员检查数据库文件及其文件夹的写入权限。");
}

bool OpenConnection(const QString &login, const QString &password, const QString &database, const QString &server)
{
    try {
        gConn.open(ConnectionSettings{server, login, password, database});
        if (gConn.isReadOnly()) Messages::show(readOnlyWarning(), QStringLiteral("连接提示"), Messages::Icon::Warning);
        return true;
    } catch (const DbError &e) {
        ErrorReports::ShowConnection(e.description());
        return false;
    }
}

bool ConnectFromSettings()
{
    const ConnectionSettings settings = Settings::current();
    if (!OpenConnection(settings.login, settings.password, settings.database, settings.server)) {
        Messages::show(QStringLiteral("数据库连接失败!"), QStringLiteral("连接提示"), Messages::Icon::Information);
        return false;
    }
    return true;
}
