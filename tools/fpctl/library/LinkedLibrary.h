#ifndef FPCTL_LINKEDLIBRARY_H
#define FPCTL_LINKEDLIBRARY_H

#include "PrinterLibrary.h"

// PrinterLibrary over libvrkt7xcommon, which the program is linked against. Every call copies its
// arguments into zero-terminated buffers of the sizes the library documents.
class LinkedLibrary : public PrinterLibrary
{
public:
    QList<SupportedPrinter> supportedUsbPrinters() override;
    QList<Queue> cupsQueues() override;
    bool findQueue(const QByteArray& name, Queue* queue) override;

    int isDeviceConnectForPrint(const QByteArray& uri) override;
    int isDeviceFingerOpen(const QByteArray& uri) override;
    int isDeviceFingerOpenForPrint(const QByteArray& uri) override;
    bool openFinger(const QByteArray& uri) override;
    bool closeFinger(const QByteArray& uri) override;
    int checkFinger(const QByteArray& uri, const QByteArray& name) override;
    int deleteFinger(const QByteArray& uri, const QByteArray& name) override;
    int deleteFingers(const QByteArray& uri) override;
    int addFinger(const QByteArray& uri, int mode, const QByteArray& name, int* index) override;
    int importFinger(const QByteArray& uri, const QByteArray& file) override;
    int exportFinger(const QByteArray& uri, const QByteArray& file, int* count) override;
    bool identifyFinger(const QByteArray& uri, QByteArray* name, short* index) override;
    void cancelFingerPrint() override;
};

#endif
