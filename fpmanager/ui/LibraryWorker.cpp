#include "LibraryWorker.h"

#include <QCoreApplication>
#include <QDebug>
#include <atomic>
#include <memory>

LibraryWorker::LibraryWorker(QObject* parent)
    : QObject(parent)
    , m_context(new QObject)
{
    m_thread.setObjectName(QStringLiteral("library"));
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

LibraryWorker::~LibraryWorker()
{
    // quit() takes effect once the running call has returned.
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

int LibraryWorker::run(const std::function<int()>& call)
{
    if (m_busy) {
        qDebug() << "LibraryWorker: a library call is still running; the next one is refused";
        return -1;
    }
    m_busy = true;
    m_elapsed.start();
    emit busyChanged(true);

    struct Pending {
        std::atomic<bool> done { false };
        int result = -1;
    };
    auto pending = std::make_shared<Pending>();
    QMetaObject::invokeMethod(
        m_context,
        [this, pending, call] {
            pending->result = call();
            pending->done.store(true, std::memory_order_release);
            // Wakes the wait below.
            QMetaObject::invokeMethod(
                this, [] {}, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    // Not a QEventLoop: QCoreApplication::exit() ends every running loop of the thread, and this wait
    // must not end before the call did (call may refer to the caller's stack).
    while (!pending->done.load(std::memory_order_acquire))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    m_busy = false;
    emit busyChanged(false);
    return pending->result;
}
