#include "SqliteLocks.h"

#include <sqlite3.h>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(F_OFD_SETLK) && defined(F_OFD_GETLK) && defined(F_OFD_SETLKW)

namespace {

using FcntlCall = int (*)(int, int, ...);
using CloseCall = int (*)(int);

FcntlCall previousFcntl = nullptr;
CloseCall previousClose = nullptr;

enum class Mode { Undecided, FileDescriptions, Posix };
std::atomic<Mode> mode{Mode::Undecided};

using FileKey = std::pair<dev_t, ino_t>;

// One locked file: the description that holds this process's locks on it, and SQLite's
// descriptors of it that have locked or unlocked something.
struct LockedFile {
    int lockDescriptor = -1;
    int descriptors = 0;
};

// Made once and never destroyed: a connection may still close while the program ends.
struct Registry {
    std::mutex mutex;
    std::map<FileKey, LockedFile> files;
    std::unordered_map<int, FileKey> fileOfDescriptor;
};

Registry &registry()
{
    static Registry *const instance = new Registry;
    return *instance;
}

int fileDescriptionCommand(int command)
{
    switch (command) {
        case F_SETLK: return F_OFD_SETLK;
        case F_SETLKW: return F_OFD_SETLKW;
        case F_GETLK: return F_OFD_GETLK;
        default: return 0;
    }
}

// The description that holds the locks of the file behind `fd`, made on first use; -1 with errno
// set when there is none. Called with the registry locked.
int lockDescriptorOf(int fd)
{
    auto &files = registry().files;
    auto &fileOfDescriptor = registry().fileOfDescriptor;
    const auto known = fileOfDescriptor.find(fd);
    if (known != fileOfDescriptor.end()) return files[known->second].lockDescriptor;
    struct stat info {};
    if (::fstat(fd, &info) != 0) return -1;
    const FileKey key{info.st_dev, info.st_ino};
    auto file = files.find(key);
    if (file == files.end()) {
        // A duplicate shares SQLite's open file description: nothing is opened by name. It is
        // closed on exec, so that a started program never inherits the locks, and like SQLite's
        // own it is never 0, 1 or 2, where a stray write to a standard stream would land in the file.
        const int duplicate = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (duplicate < 0) return -1;
        file = files.emplace(key, LockedFile{duplicate, 0}).first;
    }
    ++file->second.descriptors;
    fileOfDescriptor.emplace(fd, key);
    return file->second.lockDescriptor;
}

int lockingFcntl(int fd, int command, ...)
{
    va_list arguments;
    va_start(arguments, command);
    const int onDescription = fileDescriptionCommand(command);
    if (onDescription == 0) {
        // Every other command SQLite gives (F_GETFD, F_SETFD) takes an int or nothing.
        const int value = va_arg(arguments, int);
        va_end(arguments);
        return previousFcntl(fd, command, value);
    }
    auto *lock = va_arg(arguments, struct flock *);
    va_end(arguments);

    if (mode.load() != Mode::Posix) {
        std::lock_guard<std::mutex> guard(registry().mutex);
        const int lockDescriptor = lockDescriptorOf(fd);
        if (lockDescriptor < 0) return -1;
        struct flock request = *lock;
        request.l_pid = 0;  // required for description locks
        const int result = ::fcntl(lockDescriptor, onDescription, &request);
        if (result == 0 || errno != EINVAL || mode.load() == Mode::FileDescriptions) {
            if (result == 0) {
                mode.store(Mode::FileDescriptions);
                if (command == F_GETLK) *lock = request;
            }
            return result;
        }
        // A kernel without description locks refuses the first one: POSIX locks from now on, as
        // SQLite would have taken them. No lock is held yet, so the duplicates can go.
        mode.store(Mode::Posix);
        for (const auto &file : registry().files) previousClose(file.second.lockDescriptor);
        registry().files.clear();
        registry().fileOfDescriptor.clear();
    }
    return previousFcntl(fd, command, lock);
}

int trackingClose(int fd)
{
    {
        std::lock_guard<std::mutex> guard(registry().mutex);
        auto &files = registry().files;
        auto &fileOfDescriptor = registry().fileOfDescriptor;
        const auto known = fileOfDescriptor.find(fd);
        if (known != fileOfDescriptor.end()) {
            const auto file = files.find(known->second);
            fileOfDescriptor.erase(known);
            // SQLite closes its last descriptor of a file only when no connection of this
            // process holds a lock on it any more.
            if (file != files.end() && --file->second.descriptors == 0) {
                previousClose(file->second.lockDescriptor);
                files.erase(file);
            }
        }
    }
    return previousClose(fd);
}

void installNow()
{
    sqlite3_vfs *vfs = sqlite3_vfs_find(nullptr);
    if (!vfs || vfs->iVersion < 3 || !vfs->xGetSystemCall || !vfs->xSetSystemCall) return;
    previousFcntl = reinterpret_cast<FcntlCall>(vfs->xGetSystemCall(vfs, "fcntl"));
    previousClose = reinterpret_cast<CloseCall>(vfs->xGetSystemCall(vfs, "close"));
    if (!previousFcntl || !previousClose) return;
    // Both or neither: the close keeps the registry of the lock calls right.
    if (vfs->xSetSystemCall(vfs, "close", reinterpret_cast<sqlite3_syscall_ptr>(&trackingClose)) != SQLITE_OK) return;
    if (vfs->xSetSystemCall(vfs, "fcntl", reinterpret_cast<sqlite3_syscall_ptr>(&lockingFcntl)) != SQLITE_OK)
        vfs->xSetSystemCall(vfs, "close", reinterpret_cast<sqlite3_syscall_ptr>(previousClose));
}

}  // namespace

void SqliteLocks::install()
{
    static std::once_flag once;
    std::call_once(once, installNow);
}

bool SqliteLocks::onFileDescriptions() { return mode.load() == Mode::FileDescriptions; }

#else

// No description locks on this system: SQLite keeps its own locks.
void SqliteLocks::install() {}

bool SqliteLocks::onFileDescriptions() { return false; }

#endif
