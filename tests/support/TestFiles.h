#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

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

}  // namespace test_files
