// Any bytes as the stored settings file. Whatever the four values hold, the ODBC connection string
// made from them has exactly its own keys with the values unchanged: no value can end its field
// or add a keyword.
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include "FuzzSupport.h"
#include "common/Settings.h"
#include "data/ConnectionString.h"
#include "data/DbError.h"

namespace {

QTemporaryDir *configHome;

// Reads "KEY=value;KEY={braced;value}" as an ODBC driver manager does: a braced value ends at a
// "}" that is not doubled.
QList<QPair<QString, QString>> parseConnectionString(const QString &text, bool *ok)
{
    QList<QPair<QString, QString>> pairs;
    *ok = true;
    int i = 0;
    while (i < text.size()) {
        const int equals = text.indexOf(QLatin1Char('='), i);
        if (equals < 0) {
            *ok = false;
            return pairs;
        }
        const QString key = text.mid(i, equals - i);
        i = equals + 1;
        QString value;
        if (i < text.size() && text.at(i) == QLatin1Char('{')) {
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    *ok = false;
                    return pairs;
                }
                // As FreeTDS reads it: a braced value ends at the first "};" or at a "}" that ends the text.
                if (text.at(i) == QLatin1Char('}') && (i + 1 == text.size() || text.at(i + 1) == QLatin1Char(';'))) {
                    ++i;
                    break;
                }
                value += text.at(i++);
            }
            if (i < text.size() && text.at(i) != QLatin1Char(';')) {
                *ok = false;
                return pairs;
            }
        } else {
            const int semicolon = text.indexOf(QLatin1Char(';'), i);
            const int end = semicolon < 0 ? int(text.size()) : semicolon;
            value = text.mid(i, end - i);
            i = end;
        }
        pairs.append({key, value});
        if (i < text.size()) ++i;  // the ";"
    }
    return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    configHome = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/fuzz_settings-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", configHome->path().toLocal8Bit());
    QDir().mkpath(configHome->path() + QStringLiteral("/Tavimor2011"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(configHome->path() + QStringLiteral("/Tavimor2011/Tavimor2011.ini"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        file.write(fuzzBytes(data, size));
    }
    const ConnectionSettings settings = Settings::readStored();
    if (settings.isSqlite()) FUZZ_CHECK(settings.sqliteFile() == settings.server.mid(7));

    QString text;
    try {
        text = ConnectionString::build(settings, QStringLiteral("FreeTDS"));
    } catch (const DbError &) {
        return 0;  // a value that cannot reach the driver exactly is refused before connecting
    }
    bool ok = false;
    const auto pairs = parseConnectionString(text, &ok);
    FUZZ_CHECK(ok);
    QMap<QString, QString> values;
    QStringList keys;
    for (const auto &pair : pairs) {
        keys << pair.first;
        values.insert(pair.first, pair.second);
    }
    keys.removeAll(QStringLiteral("PORT"));
    keys.sort();
    FUZZ_CHECK(keys == QStringList({"ClientCharset", "DATABASE", "DRIVER", "PWD", "SERVER", "TDS_Version", "UID"}));
    FUZZ_CHECK(values.value(QStringLiteral("UID")) == settings.login);
    FUZZ_CHECK(values.value(QStringLiteral("PWD")) == settings.password);
    FUZZ_CHECK(values.value(QStringLiteral("DATABASE")) == settings.database);
    return 0;
}
