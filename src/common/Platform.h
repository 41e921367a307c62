#pragma once

#include <QString>
#include <QStringList>

// The services of the operating system that the program uses.
namespace Platform {

// The folder of the program's own files (pictures, message file). Resolved through symbolic links,
// so that a launcher elsewhere still finds them.
QString programFolder();

// Opens a web page in the user's default browser; false when no browser could be started.
bool openWebPage(const QString &address);

// Starts a program in its own window; false when it could not be started.
bool startProgram(const QString &program, const QStringList &arguments = {});

// Brings the top-level window with this exact title to the front; false when none is found.
bool activateWindowByTitle(const QString &title);

// Reads a value under HKEY_LOCAL_MACHINE (Windows); false elsewhere or when missing.
bool readMachineRegistry(const QString &key, const QString &valueName, QString &value);

// The system-information program: on Windows the one registered under the Shared Tools keys,
// elsewhere the first installed of a few well-known ones. Empty when there is none.
QString systemInformationTool();

}  // namespace Platform
