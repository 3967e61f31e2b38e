#include "FileLocker.h"

#include "system/PrinterTypes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Opens path without following a symbolic link, creating it with the given mode. The mode is set
// through the descriptor, so it always applies to the file that was opened.
int openNoFollow(const char* path, int flags, mode_t mode)
{
    const int fd = ::open(path, flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    fchmod(fd, mode); // may fail on another user's file; the lock still works
    return fd;
}
} // namespace

FileLocker::FileLocker()
    : fp(nullptr)
{
    memset(lock_file, 0, sizeof(lock_file));
}

FileLocker::~FileLocker()
{
    unlock();
}

int FileLocker::lockWith(const char* filename, int operation, bool record)
{
    if (!filename)
        return -1;
    const int fd = openNoFollow(filename, O_RDWR | O_APPEND | O_CREAT, 0666);
    if (fd < 0)
        return -1;
    FILE* stream = fdopen(fd, "a+");
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
    if (fp)
        fclose(fp);
    fp = stream;
    return 0;
}

int FileLocker::lock(const char* filename)
{
    return lockWith(filename, LOCK_EX, true);
}

int FileLocker::trylock(const char* filename)
{
    return lockWith(filename, LOCK_EX | LOCK_NB, false);
}

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
    const int fd = openNoFollow(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    char line[301];
    const int n = snprintf(line, sizeof(line), "Device_Uri=%s\n", info ? info : "");
    const size_t size = n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof(line) - 1);
    if (size > 0 && ::write(fd, line, size) < 0)
        fprintf(stderr, "lock_info: cannot write %s\n", path);
    ::close(fd);
}

void FileLocker::removelock(const char* filename)
{
    fprintf(stderr, "removelock:pid %ld get file %s lock\n", static_cast<long>(getpid()), filename);
    ::unlink(filename);
}
