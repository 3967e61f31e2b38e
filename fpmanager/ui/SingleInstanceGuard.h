#ifndef SINGLEINSTANCEGUARD_H
#define SINGLEINSTANCEGUARD_H

#include <QSharedMemory>
#include <QString>

// Lets only one fpmanager run: the running instance holds a 1-byte shared-memory segment under a
// fixed key.
class SingleInstanceGuard
{
public:
    // The key every instance uses (20 ASCII characters).
    static constexpr char kKey[] = "vrkt7xFingerManager1";

    enum class Result {
        Acquired, // this process now holds the segment
        AlreadyRunning, // another live instance holds it
        Failed, // the segment could not be created
    };

    explicit SingleInstanceGuard(const QString& key = QString::fromLatin1(kKey));
    ~SingleInstanceGuard();

    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // A segment left behind by an instance that died without detaching (a crash, a kill) has no
    // process attached: it is released here instead of locking fpmanager out for good.
    Result acquire();
    void release();

private:
    QSharedMemory m_memory;
};

#endif
