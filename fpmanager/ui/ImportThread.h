#ifndef IMPORTTHREAD_H
#define IMPORTTHREAD_H

#include <QThread>

class LibraryWorker;

// Loads the import temporary file into the selected printer and merges fingerMagager's
// m_strImportFile into the database. The main window calls run() itself, on the GUI thread, and
// sendValue reaches its handler there: 0 starting, 1 imported, 2 the import failed. The transfer
// itself (the library call and the merge) runs on worker's thread meanwhile, or right here
// without a worker.
class importThread : public QThread
{
    Q_OBJECT
public:
    explicit importThread(QObject* parent = nullptr, LibraryWorker* worker = nullptr);

    void run() override;
    // The transfer; its result is the final code (1 or 2).
    static int transfer();

signals:
    void sendValue(int value);

private:
    LibraryWorker* m_worker;
};

#endif
