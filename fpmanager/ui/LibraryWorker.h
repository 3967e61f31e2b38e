#ifndef LIBRARYWORKER_H
#define LIBRARYWORKER_H

#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <functional>

// Runs the blocking calls into libvrkt7xcommon on a thread of its own, one at a time (the library
// keeps no lock of its own), while the GUI thread goes on with its event loop: the window repaints,
// moves and answers the desktop while the printer works.
//
// run() looks like a plain call to its caller: it returns the call's result, and the code after it
// runs on the GUI thread as before. Meanwhile the GUI thread processes its events, so a caller must
// keep what could start a second operation disabled; busyChanged() tells it when.
class LibraryWorker : public QObject
{
    Q_OBJECT
public:
    explicit LibraryWorker(QObject* parent = nullptr);
    // Waits for a running call to end (a library call cannot be interrupted), then stops the thread.
    ~LibraryWorker() override;

    // Runs call on the worker thread and returns its result. Call it on the GUI thread only, and
    // not while another call runs (isBusy()): a nested call is refused with -1 and not made.
    int run(const std::function<int()>& call);

    bool isBusy() const { return m_busy; }
    // Milliseconds since the running call started; 0 when idle.
    qint64 elapsedMs() const { return m_busy ? m_elapsed.elapsed() : 0; }

signals:
    // Emitted on the GUI thread right before a call is handed over (true) and right after its
    // result came back (false).
    void busyChanged(bool busy);

private:
    QThread m_thread;
    QObject* m_context; // lives on m_thread; calls are queued to it
    bool m_busy = false;
    QElapsedTimer m_elapsed;
};

#endif
