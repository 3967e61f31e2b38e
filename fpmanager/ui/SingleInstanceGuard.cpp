#include "SingleInstanceGuard.h"

#include <QDebug>

SingleInstanceGuard::SingleInstanceGuard(const QString& key) { m_memory.setKey(key); }

SingleInstanceGuard::~SingleInstanceGuard() { release(); }

SingleInstanceGuard::Result SingleInstanceGuard::acquire()
{
    // A few rounds: a segment left behind can also turn up under the key that create() picks.
    const int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        if (m_memory.attach(QSharedMemory::ReadWrite)) {
            // Detaching removes the segment when nobody else is attached, that is when the
            // instance that made it is gone; a live instance keeps it.
            m_memory.detach();
            if (m_memory.attach(QSharedMemory::ReadWrite)) {
                m_memory.detach();
                return Result::AlreadyRunning;
            }
            qDebug() << "released the instance guard of an instance that is gone";
        }
        if (m_memory.create(1, QSharedMemory::ReadWrite))
            return Result::Acquired;
        if (m_memory.error() != QSharedMemory::AlreadyExists) {
            qDebug() << "cannot create the instance guard:" << m_memory.errorString();
            return Result::Failed;
        }
    }
    return Result::AlreadyRunning;
}

void SingleInstanceGuard::release()
{
    if (m_memory.isAttached())
        m_memory.detach();
}
