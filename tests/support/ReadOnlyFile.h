#pragma once

#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

// Makes a file, or a folder, that nobody may write, not even root (permissions, and for root the
// immutable attribute), for the lifetime of the object. A folder can still be read and entered.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString &file) : m_file(file), m_folder(QFileInfo(file).isDir())
    {
        QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther | entering());
        if (::geteuid() == 0) m_immutable = QProcess::execute(QStringLiteral("chattr"), {"+i", file}) == 0;
    }
    ~ReadOnlyFile()
    {
        if (m_immutable) QProcess::execute(QStringLiteral("chattr"), {"-i", m_file});
        QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner | (entering() & QFile::ExeOwner));
    }
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

    // The file really cannot be opened for writing; nothing can be made in the folder.
    bool holds() const
    {
        QFile probe(m_folder ? m_file + QStringLiteral("/.write-probe") : m_file);
        if (!probe.open(m_folder ? QIODevice::WriteOnly : QIODevice::ReadWrite)) return true;
        if (m_folder) probe.remove();
        return false;
    }

private:
    QFile::Permissions entering() const
    {
        return m_folder ? QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther : QFile::Permissions();
    }

    QString m_file;
    bool m_folder;
    bool m_immutable = false;
};
