#include "FileLocker.h"

#include "system/Clock.h"
#include "system/PrinterTypes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Opens one of the shared files under /tmp, which other users' programs may have created first.
// - An existing file is opened without O_CREAT: with fs.protected_regular (Debian's default is 2),
//   an O_CREAT open of a file that another user owns in a sticky directory fails, root included.
// - A missing one is created with O_CREAT|O_EXCL; when another process creates it at the same
//   moment, the existing file is opened instead. Only a file created here gets `mode`.
// - Never through a symbolic link, and never a file with a second hard link: the print side runs
//   as root, and a link planted where fs.protected_hardlinks is off must not make it truncate or
//   chmod another file. Truncation (`truncate`) therefore happens only after these checks.
// - Never blocking in open: a FIFO planted there would hold a write-only open until somebody
//   opens it for reading. O_NONBLOCK changes nothing for the regular files that are used.
// A lock file that is not writable for this user is still good for flock: it is then opened for
// reading only (`readOnlyFallback`).
int openShared(const char* path, int flags, mode_t mode, bool truncate, bool readOnlyFallback)
{
    flags |= O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int round = 0; round < 3; ++round) {
        bool created = false;
        int fd = ::open(path, flags);
        if (fd < 0 && errno == EACCES && readOnlyFallback)
            fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(path, flags | O_CREAT | O_EXCL, mode);
            if (fd < 0 && errno == EEXIST)
                continue; // created by somebody else just now: open that one
            created = fd >= 0;
        }
        if (fd < 0)
            return -1;
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
            ::close(fd);
            return -1;
        }
        if (created)
            fchmod(fd, mode); // the mode as given, whatever the umask
        if (truncate && ftruncate(fd, 0) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    return -1;
}

// Whether path still names the file open at fd: a lock taken on a file that was deleted or
// replaced meanwhile locks nothing that anybody else will look at.
bool namesFile(const char* path, int fd)
{
    struct stat held;
    struct stat named;
    return fstat(fd, &held) == 0 && held.st_nlink > 0 && lstat(path, &named) == 0 && held.st_dev == named.st_dev
        && held.st_ino == named.st_ino;
}
} // namespace

FileLocker::FileLocker()
    : fp(nullptr)
{
    memset(lock_file, 0, sizeof(lock_file));
}

FileLocker::~FileLocker() { unlock(); }

int FileLocker::lockWith(const char* filename, int operation, bool record)
{
    if (!filename)
        return -1;
    const int fd = openShared(filename, O_RDWR | O_APPEND, 0666, false, true);
    if (fd < 0)
        return -1;
    const bool writable = (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    FILE* stream = fdopen(fd, writable ? "a+" : "r");
    if (!stream) {
        ::close(fd);
        return -1;
    }
    if (record)
        copyField(lock_file, filename, sizeof(lock_file));
    if (flock(fd, operation) != 0) {
        const int error = errno;
        fclose(stream);
        return error;
    }
    if (!namesFile(filename, fd)) {
        fclose(stream);
        return EWOULDBLOCK;
    }
    if (fp)
        fclose(fp);
    fp = stream;
    return 0;
}

int FileLocker::lock(const char* filename)
{
    for (int attempt = 1;; ++attempt) {
        const int result = lockWith(filename, LOCK_EX | LOCK_NB, true);
        if (result == 0 || attempt == kLockTries)
            return result;
        libClock().sleepMilliseconds(kLockPauseMs);
    }
}

int FileLocker::trylock(const char* filename) { return lockWith(filename, LOCK_EX | LOCK_NB, false); }

int FileLocker::unlock()
{
    if (!fp)
        return 0;
    const int released = flock(fileno(fp), LOCK_UN);
    fclose(fp);
    fp = nullptr;
    if (released != 0) {
        fprintf(stderr, "unlock fail,remove it!\n");
        if (lock_file[0])
            ::unlink(lock_file);
    }
    return 0;
}

void FileLocker::lock_info(const char* path, const char* info)
{
    const int fd = openShared(path, O_WRONLY, 0644, true, false);
    if (fd < 0)
        return;
    char line[301];
    const int n = snprintf(line, sizeof(line), "Device_Uri=%s\n", info ? info : "");
    const size_t size = n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof(line) - 1);
    if (size > 0 && ::write(fd, line, size) < 0)
        fprintf(stderr, "lock_info: cannot write %s\n", path);
    ::close(fd);
}

bool FileLocker::removelock(const char* filename)
{
    if (!filename)
        return false;
    // Opened as lockWith opens it, but never created.
    const int fd = ::open(filename, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool removed = false;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && flock(fd, LOCK_EX | LOCK_NB) == 0
        && namesFile(filename, fd)) {
        fprintf(stderr, "removelock:pid %ld get file %s lock\n", static_cast<long>(getpid()), filename);
        removed = ::unlink(filename) == 0;
    }
    ::close(fd); // releases the lock, if taken
    return removed;
}
