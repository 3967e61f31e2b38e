#ifndef PRINTLIBRARY_H
#define PRINTLIBRARY_H

#include <QByteArray>

// The library's print-time functions as the backend uses them, by printer URI.
class PrintLibrary
{
public:
    virtual ~PrintLibrary() = default;
    // 1 when the printer answers, 0 otherwise.
    virtual int isDeviceConnectForPrint(const QByteArray& uri) = 0;
    // 1 authentication on, 4 busy, anything else off (or unknown).
    virtual int isDeviceFingerOpenForPrint(const QByteArray& uri) = 0;
    // Blocks while the printer waits for a finger. True when a user was identified; *userName
    // then holds the name as the printer gave it (GB18030).
    virtual bool verify(const QByteArray& uri, QByteArray* userName) = 0;
    // From another thread: stops a running verify (a cancel before it has started is dropped).
    virtual void cancelVerify() = 0;
    // Tells the printer to drop the job it holds.
    virtual bool dropHeldJob(const QByteArray& uri) = 0;
};

#endif
