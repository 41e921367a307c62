#pragma once

#include <QString>
#include <QStringList>

#include "data/Database.h"

// The one shared connection of the program. Every window reads and writes through it.
extern Database &gConn;

// Who is logged in, and in which post. Written only by the login and the command-line hand-over.
extern QString gUserID;  // employee number; "超级用户" for the built-in super user
extern QString gUserName;
extern QString gDeptCode;
extern QString gDeptName;
extern QString gPostCode;
extern QString gPostName;
extern QString gDeptTypeCode;
extern QString gDeptTypeName;
extern QString gPostTypeCode;
extern QString gPostTypeName;
// The program's argument string; non-empty when the suite's main program started this module.
extern QString gCommandLine;

namespace Session {

inline QString superUserId() { return QStringLiteral("超级用户"); }
inline bool isSuperUser() { return gUserID == superUserId(); }

// Empties the session globals that a login attempt clears (all but gUserName).
void clearForLogin();

// The command-line hand-over of the suite's main program: ten comma-separated fields, in the
// order of the session globals, copied as they are (no trimming); further fields are ignored.
// Returns false, and changes nothing, when there are fewer than ten fields.
bool takeHandOver(const QString &commandLine);
int handOverFieldCount();

}  // namespace Session
