#include "Session.h"

#include <QApplication>

// Never destroyed: the connection outlives every window and ends with the process.
Database &gConn = *new Database;

// A write that waits for another station shows the busy pointer while it waits.
[[maybe_unused]] static const bool waitPointerInstalled = [] {
    SqliteFile::setWaitIndicator([](bool waiting) {
        if (!qobject_cast<QApplication *>(QCoreApplication::instance())) return;
        if (waiting) QApplication::setOverrideCursor(Qt::WaitCursor);
        else QApplication::restoreOverrideCursor();
    });
    return true;
}();

QString gUserID;
QString gUserName;
QString gDeptCode;
QString gDeptName;
QString gPostCode;
QString gPostName;
QString gDeptTypeCode;
QString gDeptTypeName;
QString gPostTypeCode;
QString gPostTypeName;
QString gCommandLine;

namespace Session {

namespace {
QString *const handOverFields[] = {&gUserID,   &gUserName,     &gDeptCode,     &gDeptName,     &gPostCode,
                                   &gPostName, &gDeptTypeCode, &gDeptTypeName, &gPostTypeCode, &gPostTypeName};
}

int handOverFieldCount() { return static_cast<int>(std::size(handOverFields)); }

void clearForLogin()
{
    for (QString *field : handOverFields)
        if (field != &gUserName) field->clear();
}

bool takeHandOver(const QString &commandLine)
{
    const QStringList fields = commandLine.split(QLatin1Char(','));
    if (fields.size() < handOverFieldCount()) return false;
    for (int i = 0; i < handOverFieldCount(); ++i) *handOverFields[i] = fields.at(i);
    return true;
}

}  // namespace Session
