#pragma once

#include <QString>

struct ConnectionSettings;

// The ODBC connection string for the suite's SQL Server, DSN-less through FreeTDS.
//
// FreeTDS 1.3 ends a braced value at the first "};" and does not turn "}}" back into "}", so a
// value is passed bare where it can be (no ";", no leading "{", no blank at either end) and in
// braces, unescaped, only where it must; a value that holds "};" cannot be passed at all and is
// refused before connecting, with a message that names the setting. The protocol is asked for explicitly
// (TDS 7.4), so that a site's freetds.conf cannot push an older one, and the client side speaks
// UTF-8 to the driver.
namespace ConnectionString {

// Throws DbError naming the setting when a value cannot be passed exactly.
QString build(const ConnectionSettings &settings, const QString &driver);

// The FreeTDS driver as the driver manager knows it: its name in /etc/odbcinst.ini, or the library.
QString driver();

}  // namespace ConnectionString
