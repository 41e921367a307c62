#include "Platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>
#include <QSettings>
#endif

namespace Platform {

QString programFolder()
{
    const QString path = QCoreApplication::applicationFilePath();
    const QString real = QFileInfo(path).canonicalFilePath();
    return QFileInfo(real.isEmpty() ? path : real).absolutePath();
}

bool openWebPage(const QString &address) { return QDesktopServices::openUrl(QUrl(address)); }

bool startProgram(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

bool activateWindowByTitle(const QString &title)
{
#ifdef Q_OS_WIN
    HWND window = FindWindowW(nullptr, reinterpret_cast<const wchar_t *>(title.utf16()));
    if (!window) return false;
    ShowWindow(window, SW_RESTORE);
    return SetForegroundWindow(window) != 0;
#else
    // X11 and most Wayland compositors with XWayland: wmctrl activates a window by its exact title.
    const QString wmctrl = QStandardPaths::findExecutable(QStringLiteral("wmctrl"));
    if (!wmctrl.isEmpty()) {
        QProcess process;
        process.start(wmctrl, {QStringLiteral("-F"), QStringLiteral("-a"), title});
        if (process.waitForFinished(3000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return true;
        return false;
    }
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (!xdotool.isEmpty()) {
        QProcess process;
        process.start(xdotool, {QStringLiteral("search"), QStringLiteral("--name"),
                                QStringLiteral("^") + QRegularExpression::escape(title) + QStringLiteral("$"),
                                QStringLiteral("windowactivate")});
        return process.waitForFinished(3000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
    return false;
#endif
}

bool readMachineRegistry(const QString &key, const QString &valueName, QString &value)
{
#ifdef Q_OS_WIN
    QSettings registry(QStringLiteral("HKEY_LOCAL_MACHINE\\") + key, QSettings::NativeFormat);
    if (!registry.contains(valueName)) {
        value.clear();
        return false;
    }
    value = registry.value(valueName).toString();
    return true;
#else
    Q_UNUSED(key);
    Q_UNUSED(valueName);
    value.clear();
    return false;
#endif
}

QString systemInformationTool()
{
    QString path;
    if (readMachineRegistry(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"), path))
        return path;
    if (readMachineRegistry(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"),
                            path)) {
        const QString file = path + QStringLiteral("\\MSINFO32.EXE");
        if (QFileInfo::exists(file)) return file;
    }
#ifndef Q_OS_WIN
    static const char *const tools[] = {"gnome-system-monitor", "hardinfo", "kinfocenter", "xfce4-taskmanager",
                                        "mate-system-monitor"};
    for (const char *tool : tools) {
        const QString found = QStandardPaths::findExecutable(QLatin1String(tool));
        if (!found.isEmpty()) return found;
    }
#endif
    return QString();
}

}  // namespace Platform
