#pragma once

#include <QByteArray>
#include <QString>

#include "data/Database.h"

// The four stored connection settings: application "Tavimor2011", section "DBConfig", keys
// "Svr", "UID", "PWD", "DBname". They are only read; a missing key reads as empty.
//
// Linux: ~/.config/Tavimor2011/Tavimor2011.ini (or under $XDG_CONFIG_HOME), group [DBConfig],
// read literally: a value is all the text after the first "=" of its line, so that
// "dbserver\SQLEXPRESS", "dbserver,1433" or a password with ",", ";" or "=" reads as written.
// Windows: the registry under HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Tavimor2011,
// where the suite keeps them.
namespace Settings {

ConnectionSettings readStored();

// Where the settings file is looked for on this machine.
QString storedFile();
// Where the settings are read from: the registry key on Windows, storedFile() elsewhere.
QString storedPlace();
// The [DBConfig] values of a settings file's text. Lines beginning with ";" or "#" are comments;
// group and key names are matched without regard to case; the first of two equal keys counts.
ConnectionSettings parseIni(const QByteArray &text);

// Connection settings that take the place of the stored ones for this run (the --demo option);
// nothing is written to the store.
void overrideForThisRun(const ConnectionSettings &settings);

// What ConnectFromSettings uses: the override when there is one, else the stored settings.
ConnectionSettings current();

}  // namespace Settings
