#ifndef EXPORTTHREAD_H
#define EXPORTTHREAD_H

#include <QString>
#include <QThread>

// Copies the fingerprint records of the selected printer into fingerMagager.m_strExportFile. The
// main window calls run() itself, on the GUI thread; sendValue reaches its handler at once:
// 0 starting, 1 exported and copied, 2 the printer has no records, 3 the export failed.
class exportThread : public QThread {
    Q_OBJECT
public:
    explicit exportThread(QObject* parent = nullptr);

    void run() override;

    // Replaces target with the content of source so that target holds either its old content or
    // the complete new one: a new file beside target, renamed over it once completely written.
    // Target keeps its permissions. False (target untouched) when any step fails.
    static bool replaceFileWith(const QString& source, const QString& target);

signals:
    void sendValue(int value);
};

#endif
