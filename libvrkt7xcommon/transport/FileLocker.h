#ifndef FILELOCKER_H
#define FILELOCKER_H

#include <cstdio>

// An advisory lock (flock) on a file under /tmp. The files live in a world-writable directory that
// every user's programs share: a file another user left there is opened as it is (never re-created,
// its mode left alone), and a symbolic link or a file with a second hard link planted there makes
// locking fail instead of touching the file it points at. Whatever another user put there, nothing
// here waits on it without a bound: files are opened without blocking (a FIFO, a directory or a
// device is never used), and a lock is only ever asked for without waiting, on a fixed schedule of
// attempts and pauses.
class FileLocker
{
public:
    // The schedule of a lock wait: this many attempts, this pause between two (on the library's
    // clock), about 3.8 s in all.
    static constexpr int kLockTries = 20;
    static constexpr int kLockPauseMs = 200;

    FileLocker();
    virtual ~FileLocker();

    // Opens (creating a missing one with mode 0666) and locks filename exclusively, waiting at
    // most for the schedule above. A file that is no regular file counts as locked by someone else.
    // 0; -1 when the file cannot be opened or used; the flock error otherwise (EWOULDBLOCK when it
    // stayed locked).
    int lock(const char* filename);
    // One attempt of lock, without recording the path.
    int trylock(const char* filename);
    // Releases the lock, if any; deletes the recorded file when the release fails. Always 0.
    int unlock();
    // Rewrites path (created with mode 0644) with the one line "Device_Uri=<info>"; nothing when
    // the file cannot be opened for writing or is no regular file.
    void lock_info(const char* path, const char* info);
    // Deletes filename when it is a stale lock: a lock file that nobody holds (a lock on it is
    // granted at once) and that the name still stands for. A file that a live process holds, or
    // that cannot be locked at all, is kept. True when it was deleted.
    bool removelock(const char* filename);

    FILE* fp;
    char lock_file[256];

private:
    int lockWith(const char* filename, int operation, bool record);
};

#endif
