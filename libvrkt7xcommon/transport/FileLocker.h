#ifndef FILELOCKER_H
#define FILELOCKER_H

#include <cstdio>

// An advisory lock (flock) on a file under /tmp. The files live in a world-writable directory that
// every user's programs share: a file another user left there is opened as it is (never re-created,
// its mode left alone), and a symbolic link or a file with a second hard link planted there makes
// locking fail instead of touching the file it points at.
class FileLocker
{
public:
    FileLocker();
    virtual ~FileLocker();

    // Opens (creating a missing one with mode 0666) and locks filename exclusively, waiting as long
    // as needed.
    // 0; -1 when the file cannot be opened; the flock error otherwise.
    int lock(const char* filename);
    // As lock, without waiting and without recording the path.
    int trylock(const char* filename);
    // Releases the lock, if any; deletes the recorded file when the release fails. Always 0.
    int unlock();
    // Rewrites path (created with mode 0644) with the one line "Device_Uri=<info>"; nothing when
    // the file cannot be opened for writing.
    void lock_info(const char* path, const char* info);
    // Deletes filename (a lock left by a vanished holder).
    void removelock(const char* filename);

    FILE* fp;
    char lock_file[256];

private:
    int lockWith(const char* filename, int operation, bool record);
};

#endif
