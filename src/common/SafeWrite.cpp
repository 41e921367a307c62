#include "SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "Session.h"
#include "data/FileIdentity.h"

#ifdef Q_OS_WIN
#include <QSaveFile>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace SafeWrite {

QString systemErrorText(int code)
{
    switch (code) {
        case EACCES:
        case EPERM: return QStringLiteral("没有权限");
        case ENOENT: return QStringLiteral("文件或文件夹不存在");
        case ENOSPC: return QStringLiteral("磁盘空间不足");
#ifdef EDQUOT
        case EDQUOT: return QStringLiteral("超出了磁盘配额");
#endif
        case EFBIG: return QStringLiteral("文件超出了允许的大小");
        case EROFS: return QStringLiteral("磁盘是只读的");
        case EISDIR: return QStringLiteral("这是一个文件夹");
        case EIO: return QStringLiteral("磁盘读写出错");
        case ENAMETOOLONG: return QStringLiteral("文件名太长");
        default: return QStringLiteral("系统错误代码 %1").arg(code);
    }
}

namespace {

QString native(const QString &path) { return QDir::toNativeSeparators(path); }

QString failed(const QString &path, const QString &reason)
{
    return QStringLiteral("无法写入文件 %1：%2").arg(native(path), reason);
}

// The database this program has open, or one of its journals: a report written over it would
// take the place of every complaint.
bool isOpenDatabase(const QString &path)
{
    const QString database = gConn.file();
    if (database.isEmpty()) return false;
    if (FileIdentity::of(path).sameFile(FileIdentity::of(database))) return true;
    const QString target = QFileInfo(path).absoluteFilePath();
    for (const QString &base : {QFileInfo(database).absoluteFilePath(), QFileInfo(database).canonicalFilePath()}) {
        for (const char *journal : {"-wal", "-shm", "-journal"})
            if (!base.isEmpty() && target == base + QLatin1String(journal)) return true;
    }
    return false;
}

QString refusedAsDatabase(const QString &path)
{
    return QStringLiteral("文件 %1 是本程序正在使用的数据库，没有替换它").arg(native(path));
}

}  // namespace

#ifdef Q_OS_WIN

QString replaceFile(const QString &path, const QByteArray &bytes)
{
    if (isOpenDatabase(path)) return refusedAsDatabase(path);
    const QFileInfo info(path);
    if (info.isDir()) return failed(path, systemErrorText(EISDIR));
    if (info.exists() && !info.isWritable()) return QStringLiteral("文件 %1 是只读的，没有替换它").arg(native(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return failed(path, file.errorString());
    return QString();
}

#else

namespace {

// Writes all of `bytes` to `fd`; false with errno set when a write fails.
bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

QString writeDirectly(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return failed(path, systemErrorText(errno));
    const bool written = writeAll(fd, bytes);
    const int writeError = errno;
    if (::close(fd) != 0 && written) return failed(path, systemErrorText(errno));
    return written ? QString() : failed(path, systemErrorText(writeError));
}

}  // namespace

QString replaceFile(const QString &path, const QByteArray &bytes)
{
    if (isOpenDatabase(path)) return refusedAsDatabase(path);
    // A symbolic link keeps pointing where it did: the file it names is the one replaced.
    QString target = QFileInfo(path).absoluteFilePath();
    if (QFileInfo(target).isSymLink()) {
        const QString resolved = QFileInfo(target).canonicalFilePath();
        if (!resolved.isEmpty()) target = resolved;
    }
    const QByteArray encoded = QFile::encodeName(target);
    struct stat existing {};
    const bool exists = ::stat(encoded.constData(), &existing) == 0;
    mode_t mode = 0666;
    if (exists) {
        if (S_ISDIR(existing.st_mode)) return failed(path, systemErrorText(EISDIR));
        if (!S_ISREG(existing.st_mode)) return writeDirectly(target, bytes);
        // Read-only for everyone means "keep this file", whoever runs the program.
        if ((existing.st_mode & 0222) == 0 || ::access(encoded.constData(), W_OK) != 0)
            return QStringLiteral("文件 %1 是只读的，没有替换它").arg(native(path));
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }

    const QFileInfo info(target);
    QByteArray temporary = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return failed(path, systemErrorText(errno));
    int error = 0;
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes)) error = errno;
    // Some file systems cannot flush to disk (EINVAL); that is no failure of the write.
    if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.constData(), encoded.constData()) != 0) error = errno;
    if (error == 0) return QString();
    ::unlink(temporary.constData());
    return failed(path, systemErrorText(error));
}

#endif

}  // namespace SafeWrite
