#include "Settings.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <optional>

namespace Settings {

namespace {
std::optional<ConnectionSettings> runOverride;
}

QString storedFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tavimor2011/Tavimor2011.ini");
}

QString storedPlace()
{
#ifdef Q_OS_WIN
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Tavimor2011");
#else
    return storedFile();
#endif
}

ConnectionSettings parseIni(const QByteArray &text)
{
    ConnectionSettings settings;
    bool seen[4] = {false, false, false, false};
    QString *const targets[4] = {&settings.server, &settings.login, &settings.password, &settings.database};
    static const char *const keys[4] = {"Svr", "UID", "PWD", "DBname"};

    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF")) body.remove(0, 3);
    bool inGroup = false;
    for (QByteArray line : body.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#')) continue;
        if (trimmed.startsWith('[')) {
            inGroup = trimmed.endsWith(']') && trimmed.mid(1, trimmed.size() - 2).trimmed().toLower() == "dbconfig";
            continue;
        }
        if (!inGroup) continue;
        const int equals = line.indexOf('=');
        if (equals < 0) continue;
        const QByteArray key = line.left(equals).trimmed().toLower();
        for (int i = 0; i < 4; ++i) {
            if (seen[i] || key != QByteArray(keys[i]).toLower()) continue;
            *targets[i] = QString::fromUtf8(line.mid(equals + 1));
            seen[i] = true;
        }
    }
    return settings;
}

ConnectionSettings readStored()
{
#ifdef Q_OS_WIN
    QSettings store(storedPlace(), QSettings::NativeFormat);
    store.beginGroup(QStringLiteral("DBConfig"));
    ConnectionSettings settings;
    settings.server = store.value(QStringLiteral("Svr")).toString();
    settings.login = store.value(QStringLiteral("UID")).toString();
    settings.password = store.value(QStringLiteral("PWD")).toString();
    settings.database = store.value(QStringLiteral("DBname")).toString();
    return settings;
#else
    QFile file(storedFile());
    if (!file.open(QIODevice::ReadOnly)) return ConnectionSettings{};
    return parseIni(file.readAll());
#endif
}

void overrideForThisRun(const ConnectionSettings &settings) { runOverride = settings; }

ConnectionSettings current() { return runOverride ? *runOverride : readStored(); }

}  // namespace Settings
