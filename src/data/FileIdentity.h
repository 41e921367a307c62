#pragma once

#include <QString>
#include <QtGlobal>

// Which file a path names: its device and inode. A file deleted or replaced under an open
// connection keeps the connection on the old inode while the path names another file or none.
struct FileIdentity {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;

    static FileIdentity of(const QString &path);
    // Both name the same existing file.
    bool sameFile(const FileIdentity &other) const
    {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
};
