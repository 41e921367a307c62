#include "FileIdentity.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

FileIdentity FileIdentity::of(const QString &path)
{
    FileIdentity identity;
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return identity;
    identity.exists = true;
    identity.device = static_cast<quint64>(info.st_dev);
    identity.inode = static_cast<quint64>(info.st_ino);
#else
    // No inode to compare: at least a removed file is seen.
    identity.exists = QFileInfo::exists(path);
#endif
    return identity;
}
