#include "Scripts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "Database.h"

static void initResources() { Q_INIT_RESOURCE(db); }

namespace Scripts {

QString text(const QString &name)
{
    initResources();
    QFile file(QStringLiteral(":/db/") + name);
    if (!file.open(QIODevice::ReadOnly)) throw DbError(-1, QStringLiteral("找不到数据库脚本 %1").arg(name));
    return QString::fromUtf8(file.readAll());
}

QStringList statements(const QString &script)
{
    QStringList result;
    static const QRegularExpression go(QStringLiteral("^\\s*GO\\s*$"),
                                       QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
    if (go.match(script).hasMatch()) {
        for (const QString &batch : script.split(go)) {
            if (!batch.trimmed().isEmpty()) result << batch.trimmed();
        }
        return result;
    }
    QString current;
    bool inString = false;
    for (int i = 0; i < script.size(); ++i) {
        const QChar c = script.at(i);
        if (!inString && c == QLatin1Char('-') && i + 1 < script.size() && script.at(i + 1) == QLatin1Char('-')) {
            while (i < script.size() && script.at(i) != QLatin1Char('\n')) ++i;
            current += QLatin1Char('\n');
            continue;
        }
        if (c == QLatin1Char('\'')) inString = !inString;  // a doubled quote toggles twice
        if (!inString && c == QLatin1Char(';')) {
            if (!current.trimmed().isEmpty()) result << current.trimmed();
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty()) result << current.trimmed();
    return result;
}

void run(Database &db, const QString &name)
{
    const QStringList list = statements(text(name));
    db.transaction([&] {
        for (const QString &statement : list) db.execute(statement);
    });
}

void createSqliteDatabase(const QString &file, bool withDemo)
{
    const QFileInfo info(file);
    QDir folder = info.absoluteDir();
    if (!folder.exists() && !QDir().mkpath(folder.absolutePath()))
        throw DbError(-1, QStringLiteral("无法创建文件夹 %1").arg(folder.absolutePath()));
    const QString temporary = info.absoluteFilePath() + QStringLiteral(".new");
    QFile::remove(temporary);
    {
        QFile probe(temporary);
        if (!probe.open(QIODevice::WriteOnly))
            throw DbError(-1, QStringLiteral("无法写入 %1：%2").arg(temporary, probe.errorString()));
    }
    try {
        const SqliteFile::NewDatabase making(temporary);
        Database db;
        db.openSqlite(temporary);
        db.execute(QStringLiteral("PRAGMA journal_mode=DELETE"));
        run(db, QStringLiteral("schema.sqlite.sql"));
        if (withDemo) run(db, QStringLiteral("demo.sql"));
        db.close();
    } catch (...) {
        QFile::remove(temporary);
        throw;
    }
    // A journal left by an earlier file of that name would be read into the new one and damage it.
    for (const char *suffix : {"-wal", "-shm", "-journal"})
        QFile::remove(info.absoluteFilePath() + QLatin1String(suffix));
    QFile::remove(info.absoluteFilePath());
    if (!QFile::rename(temporary, info.absoluteFilePath())) {
        QFile::remove(temporary);
        throw DbError(-1, QStringLiteral("无法创建数据库文件 %1").arg(info.absoluteFilePath()));
    }
}

}  // namespace Scripts
