#pragma once

#include <QString>

// Opening the shared connection gConn.

// Replaces gConn by a new connection opened with the four values; on failure shows
// "错误信息：" + the description (with the program's title) and returns false. A database that refuses
// writes opens with a warning that nothing can be saved.
bool OpenConnection(const QString &login, const QString &password, const QString &database, const QString &server);

// The warning shown after a connection opened on a database that refuses writes.
QString readOnlyWarning();

// Reads the connection settings and opens gConn with them; on failure, after the message of
// OpenConnection, shows "数据库连接失败!" (title "连接提示") and returns false.
bool ConnectFromSettings();
