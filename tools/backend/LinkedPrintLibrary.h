#ifndef LINKEDPRINTLIBRARY_H
#define LINKEDPRINTLIBRARY_H

#include "PrintLibrary.h"

// The print-time functions of the linked libvrkt7xcommon.
class LinkedPrintLibrary : public PrintLibrary
{
public:
    int isDeviceConnectForPrint(const QByteArray& uri) override;
    int isDeviceFingerOpenForPrint(const QByteArray& uri) override;
    bool verify(const QByteArray& uri, QByteArray* userName) override;
    void cancelVerify() override;
    bool dropHeldJob(const QByteArray& uri) override;
};

#endif
