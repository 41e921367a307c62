#include "Connection.h"

#include "ErrorReports.h"
#include "Messages.h"
#include "Session.h"
#include "Settings.h"

bool OpenConnection(const QString &login, const QString &password, const QString &database, const QString &server)
{
    try {
        gConn.open(ConnectionSettings{server, login, password, database});
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
