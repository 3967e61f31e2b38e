#ifndef IMPORTTHREAD_H
#define IMPORTTHREAD_H

#include <QThread>

// Loads the import temporary file into the selected printer and merges fingerMagager's
// m_strImportFile into the database. The main window calls run() itself, on the GUI thread;
// sendValue reaches its handler at once: 0 starting, 1 imported, 2 the import failed.
class importThread : public QThread {
    Q_OBJECT
public:
    explicit importThread(QObject* parent = nullptr);

    void run() override;

signals:
    void sendValue(int value);
};

#endif
