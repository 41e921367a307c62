#include "Settings.h"

#include <QSettings>
#include <optional>

namespace Settings {

namespace {
std::optional<ConnectionSettings> runOverride;
}

ConnectionSettings readStored()
{
#ifdef Q_OS_WIN
    QSettings store(QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Tavimor2011"),
                    QSettings::NativeFormat);
#else
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tavimor2011"),
                    QStringLiteral("Tavimor2011"));
#endif
    store.beginGroup(QStringLiteral("DBConfig"));
    ConnectionSettings settings;
    settings.server = store.value(QStringLiteral("Svr")).toString();
    settings.login = store.value(QStringLiteral("UID")).toString();
    settings.password = store.value(QStringLiteral("PWD")).toString();
    settings.database = store.value(QStringLiteral("DBname")).toString();
    return settings;
}

void overrideForThisRun(const ConnectionSettings &settings) { runOverride = settings; }

bool isOverridden() { return runOverride.has_value(); }

ConnectionSettings current() { return runOverride ? *runOverride : readStored(); }

}  // namespace Settings
