#ifndef SECUREFILE_H
#define SECUREFILE_H

#include <QByteArray>
#include <QString>

// File writes of the data layer that must not lose or expose data.
class SecureFile
{
public:
    enum class WriteResult {
        Replaced, // a new file was written beside the old one, synced and renamed over it
        InPlace, // the directory is not writable: the existing file was overwritten
        Failed, // nothing changed
    };

    // What replaceContent does with a symbolic link at path and with a directory it cannot write.
    enum class Mode {
        // The stored database: a link is followed (its target is replaced, keeping its mode and
        // owner), and path is overwritten in place when its directory cannot be written.
        FollowLink,
        // A file handed to the user (an export): a link is itself replaced by the new file and
        // nothing is written through it; a directory that cannot be written is a failure.
        ReplaceLink,
    };

    // Replaces the content of path with data so that it holds either the old or the new content,
    // never a mix or a truncated file: the data goes to a new file in the same directory, which is
    // synced to disk and renamed over path. The new file keeps the mode of the file it replaces
    // (and, with FollowLink, its owner, where the process may set it); a new path, or a link
    // replaced with ReplaceLink, gets 0666 less the umask. See Mode for links and read-only
    // directories; the in-place overwrite puts the old content back if a write fails.
    static WriteResult replaceContent(
        const QString& path, const QByteArray& data, QString* error = nullptr, Mode mode = Mode::FollowLink);

    // Creates path afresh with mode 0600 and writes data into it. Whatever is at path before
    // (a stale file, a symbolic link) is removed first, and the new file is created exclusively
    // and without following links, so that nothing else is written through it.
    static bool createPrivate(const QString& path, const QByteArray& data, QString* error = nullptr);

    // Test seam: called at the steps of replaceContent ("chunk" after every 64 KiB written,
    // "synced" when the new file is on disk, "renamed" after the rename). Null removes it.
    using StepHook = void (*)(const char* step);
    static void setStepHook(StepHook hook);
};

#endif
