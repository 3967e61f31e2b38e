#ifndef SECUREFILE_H
#define SECUREFILE_H

#include <QByteArray>
#include <QString>

// File writes of the data layer that must not lose or expose data.
class SecureFile {
public:
    enum class WriteResult {
        Replaced, // a new file was written beside the old one, synced and renamed over it
        InPlace,  // the directory is not writable: the existing file was overwritten
        Failed,   // nothing changed
    };

    // Replaces the content of path with data so that it holds either the old or the new content,
    // never a mix or a truncated file: the data goes to a new file in the same directory, which is
    // synced to disk and renamed over path. The new file keeps path's mode (and owner, where the
    // process may set it); a new path gets 0666 less the umask. When the directory cannot be
    // written, path is overwritten in place instead, and its old content is put back if a write
    // fails. A symbolic link at path is followed: its target is replaced.
    static WriteResult replaceContent(const QString& path, const QByteArray& data,
                                      QString* error = nullptr);

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
