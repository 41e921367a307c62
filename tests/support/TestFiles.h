#pragma once

#include <sys/resource.h>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <csignal>

// Files that tests put where the program reads or writes.
namespace test_files {

// What a workbook with a password to open looks like from outside: an OLE compound file (magic
// bytes D0 CF 11 E0) whose directory names the stream "EncryptedPackage" in UTF-16.
inline bool writePasswordProtectedWorkbook(const QString &path)
{
    QByteArray stream;
    for (char c : QByteArray("EncryptedPackage")) stream.append(c).append('\0');
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(1000, '\0') + stream) > 0;
}

// Files may grow to at most `bytes` while the object lives, as on a nearly full disk: a write
// beyond fails with EFBIG instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
};

}  // namespace test_files
