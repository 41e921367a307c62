#include "Readers.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

namespace readers {

namespace {

QString libreOffice()
{
    for (const char *name : {"soffice", "libreoffice"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty()) return found;
    }
    return QString();
}

// Runs a program to its end within `seconds`; its standard output, or a null text after a warning.
QString run(const QString &program, const QStringList &arguments, int seconds)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(seconds * 1000)) {
        process.kill();
        process.waitForFinished(5000);
        qWarning().noquote() << program << "did not finish within" << seconds << "seconds";
        return QString();
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning().noquote() << program << "failed:" << process.readAllStandardError();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

}  // namespace

bool inCI() { return qEnvironmentVariable("CI") == QLatin1String("true"); }

QString missingOpenpyxl()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) return QStringLiteral("/usr/bin/python3 is missing");
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"), {"-c", "import openpyxl"}) != 0)
        return QStringLiteral("openpyxl is missing (Debian package python3-openpyxl)");
    return QString();
}

QString missingLibreOffice()
{
    return libreOffice().isEmpty() ? QStringLiteral("LibreOffice is missing (Debian package libreoffice-calc-nogui)")
                                   : QString();
}

QString missingPdfText()
{
    return QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
               ? QStringLiteral("pdftotext is missing (Debian package poppler-utils)")
               : QString();
}

QString convertWithLibreOffice(const QString &file, const QString &filter, const QString &folder, int seconds)
{
    QTemporaryDir profile;
    if (!profile.isValid()) return QString();
    const QStringList arguments{
        QStringLiteral("--headless"),
        QStringLiteral("--norestore"),
        QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString(QUrl::FullyEncoded),
        QStringLiteral("--convert-to"),
        filter,
        QStringLiteral("--outdir"),
        folder,
        file};
    if (run(libreOffice(), arguments, seconds).isNull()) return QString();
    // A CSV export of one sheet other than the first is named after the sheet: "NAME-SHEET.csv".
    const QString base = QFileInfo(file).completeBaseName(), extension = filter.section(QLatin1Char(':'), 0, 0);
    const QDir out(folder);
    if (out.exists(base + QLatin1Char('.') + extension)) return out.filePath(base + QLatin1Char('.') + extension);
    const QStringList named = out.entryList({base + QStringLiteral("-*.") + extension}, QDir::Files);
    if (!named.isEmpty()) return out.filePath(named.first());
    qWarning().noquote() << "LibreOffice wrote no" << extension << "file of" << file << "into" << folder;
    return QString();
}

QString pdfPageText(const QString &pdf, int page)
{
    const QString p = QString::number(page);
    const QString text = run(QStringLiteral("pdftotext"), {"-layout", "-f", p, "-l", p, pdf, "-"}, 60);
    return text.isNull() ? QString() : text;
}

}  // namespace readers
