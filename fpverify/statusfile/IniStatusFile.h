#ifndef INISTATUSFILE_H
#define INISTATUSFILE_H

#include <QString>
#include <sys/types.h>

// The status file between a print side and fpverify, read and written without QSettings: an INI
// file with one group per job id ("[17]"), keys "status" and "result", decimal values, a blank
// line between groups. Lines this code does not understand are kept as they are.
//
// The file may sit in a folder every user can write (/tmp), so every access opens it once without
// following a link and without blocking, then checks the descriptor it holds: a regular file of
// this user with one name. Nothing else is read or written. Writes go in place through that
// descriptor under an advisory lock; every lock wait is bounded.
namespace IniStatusFile
{

// The variable through which the desktop agent hands fpverify a status file of the user's own.
inline constexpr char kStatusFileVariable[] = "VRKT7X_STATUS_FILE";
// The fixed name that every print side knows.
inline constexpr char kSharedStatusFile[] = "/tmp/.vrkt7xsmtmp.conf";

// The most a status file may hold; a larger one is not used.
inline constexpr qint64 kMaxFileBytes = 1024 * 1024;
// How long an access waits for another process's lock on the file before it gives up.
inline constexpr int kLockWaitMs = 200;

enum class Access {
    Ok,
    Absent, // no file (reads only; a write creates it)
    Link, // a symbolic link at the name
    NotRegular, // a folder, FIFO, device or socket
    Foreign, // owned by another user
    HardLinked, // the file has more than one name
    TooLarge,
    Locked, // another process held the lock for longer than kLockWaitMs
    Failed, // any other error (no permission, no space, ...)
};

// Opens the file for reading and checks it as above, nothing more. *owner gets the owner's uid
// when the file could be examined.
Access inspect(const QString& path, uid_t* owner = nullptr);

// The value of key in group. Ok with *value null when the file or the key is not there.
Access readValue(const QString& path, const QString& group, const QString& key, QString* value);

// Sets key in group to value, creating the file (mode 0600) or the group when absent, and forces
// the file to disk.
Access writeValue(const QString& path, const QString& group, const QString& key, int value);

// Removes every block of group. Ok also when there is no file or no such group.
Access removeGroup(const QString& path, const QString& group);

// Why an access failed, in a few words ("status file is a symbolic link"); empty for Ok and Absent.
QString describe(Access access, uid_t owner = 0);

// The text operations on the file's contents, for the code above and its tests.
QString valueIn(const QByteArray& text, const QString& group, const QString& key);
QByteArray withValue(const QByteArray& text, const QString& group, const QString& key, const QByteArray& value);
QByteArray withoutGroup(const QByteArray& text, const QString& group);

} // namespace IniStatusFile

#endif
