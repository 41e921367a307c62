#pragma once

#include <unistd.h>
#include <QFile>
#include <QProcess>

// Makes a file that nobody may write, not even root (permissions, and for root the immutable
// attribute), for the lifetime of the object.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString &file) : m_file(file)
    {
        QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        if (::geteuid() == 0) m_immutable = QProcess::execute(QStringLiteral("chattr"), {"+i", file}) == 0;
    }
    ~ReadOnlyFile()
    {
        if (m_immutable) QProcess::execute(QStringLiteral("chattr"), {"-i", m_file});
        QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner);
    }
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

    // The file really cannot be opened for writing.
    bool holds() const
    {
        QFile probe(m_file);
        return !probe.open(QIODevice::ReadWrite);
    }

private:
    QString m_file;
    bool m_immutable = false;
};
