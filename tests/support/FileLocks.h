#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTest>

// The locks on a database file as the kernel lists them, and the sqlite3 shell as another station.
namespace file_locks {

// How many locks the kernel lists on the file (/proc/locks names it by device and inode), of
// every process.
inline int on(const QString &file)
{
    struct stat info {};
    if (::stat(QFile::encodeName(file).constData(), &info) != 0) return 0;
    const QString id = QStringLiteral("%1:%2:%3")
                           .arg(major(info.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(minor(info.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(info.st_ino);
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) return 0;
    int count = 0;
    for (const QByteArray &line : locks.readAll().split('\n'))
        if (QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(id)) ++count;
    return count;
}

// Empty when the sqlite3 shell can be run; otherwise why not (a test must fail in CI then).
inline QString shellMissing()
{
    return QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty()
               ? QStringLiteral("the sqlite3 shell is missing (Debian package sqlite3)")
               : QString();
}

// A test that needs the sqlite3 shell fails without it in CI and is skipped elsewhere.
#define REQUIRE_SQLITE_SHELL()                                               \
    do {                                                                     \
        const QString missing = file_locks::shellMissing();                  \
        if (!missing.isEmpty()) {                                            \
            if (qEnvironmentVariableIsSet("CI")) QFAIL(qPrintable(missing)); \
            QSKIP(qPrintable(missing));                                      \
        }                                                                    \
    } while (false)

// The sqlite3 shell as another station: runs `sql` on the file and ends. Returns what it printed,
// or "failed: " and its error.
inline QString otherStation(const QString &file, const QString &sql)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), file, sql});
    if (!shell.waitForFinished(30000) || shell.exitCode() != 0)
        return QStringLiteral("failed: ") + QString::fromUtf8(shell.readAllStandardError());
    return QString::fromUtf8(shell.readAllStandardOutput()).trimmed();
}

// Reads a little of the file through a descriptor of its own and closes it, as a file dialog's
// type look-up does.
inline void peek(const QString &file)
{
    QFile f(file);
    if (f.open(QIODevice::ReadOnly)) f.read(16);
}

}  // namespace file_locks
