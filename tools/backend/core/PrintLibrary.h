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
    // The printer's authentication state: 0 or 2 off, 1 or 3 on, 4 busy; any other value (-1 when
    // the query failed) says nothing about it.
    virtual int isDeviceFingerOpenForPrint(const QByteArray& uri) = 0;
    // Blocks while the printer waits for a finger. True when a user was identified; *userName
    // then holds the name as the printer gave it (GB18030).
    virtual bool verify(const QByteArray& uri, QByteArray* userName) = 0;
    // From another thread: stops a running verify (a cancel before it has started is dropped).
    virtual void cancelVerify() = 0;
    // Tells the printer to drop the job it holds (one "CANL"); true when the printer accepted it.
    virtual bool dropHeldJob(const QByteArray& uri) = 0;
};

#endif
