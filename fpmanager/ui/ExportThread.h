#ifndef EXPORTTHREAD_H
#define EXPORTTHREAD_H

#include <QString>
#include <QThread>

class LibraryWorker;

// Copies the fingerprint records of the selected printer into fingerMagager.m_strExportFile. The
// main window calls run() itself, on the GUI thread, and sendValue reaches its handler there:
// 0 starting, 1 exported and copied, 2 the printer has no records, 3 the export failed. The
// transfer itself (the library call, the copy and the merge into the database) runs on worker's
// thread meanwhile, or right here without a worker.
class exportThread : public QThread
{
    Q_OBJECT
public:
    explicit exportThread(QObject* parent = nullptr, LibraryWorker* worker = nullptr);

    void run() override;
    // The transfer; its result is the final code (1, 2 or 3).
    static int transfer();

    // Replaces target with the content of source so that target holds either its old content or
    // the complete new one (SecureFile's replacement): a new file beside target, renamed over it
    // once completely written. Target keeps its permissions; a new one gets 0666 less the umask. A
    // symbolic link at target is replaced, never written through. False (target untouched) when
    // any step fails.
    static bool replaceFileWith(const QString& source, const QString& target);

signals:
    void sendValue(int value);

private:
    LibraryWorker* m_worker;
};

#endif
