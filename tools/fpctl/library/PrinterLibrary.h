#ifndef FPCTL_PRINTERLIBRARY_H
#define FPCTL_PRINTERLIBRARY_H

#include <QByteArray>
#include <QList>

// What fpctl asks of libvrkt7xcommon: the fingerprint functions and the CUPS queries it exports.
// Printers are given by device URI, user names as the bytes sent to the printer, file names as
// local 8-bit paths. The program uses LinkedLibrary; tests of the command layer use a fake.
class PrinterLibrary
{
public:
    struct Queue {
        QByteArray name;
        QByteArray model; // printer-make-and-model
        QByteArray deviceUri; // the printer's own URI (without the backend prefix)
        bool isDefault = false;
        bool throughBackend = false; // the queue prints through the vrkt7x backend ("vrkt7x:URI")
    };
    struct SupportedPrinter {
        QByteArray name; // CUPS queue
        QByteArray deviceUri;
        bool throughBackend = false;
    };

    virtual ~PrinterLibrary() = default;

    // GetDeviceConnect: the supported printers attached by USB (throughBackend left false).
    virtual QList<SupportedPrinter> supportedUsbPrinters() = 0;
    // cups_get_printers: every CUPS queue, each with its printer's own URI.
    virtual QList<Queue> cupsQueues() = 0;
    // cups_get_device_uri / get_device_model; false when CUPS has no such queue.
    virtual bool findQueue(const QByteArray& name, Queue* queue) = 0;

    // The fingerprint functions, with their results unchanged.
    virtual int isDeviceConnectForPrint(const QByteArray& uri) = 0;
    virtual int isDeviceFingerOpen(const QByteArray& uri) = 0;
    virtual int isDeviceFingerOpenForPrint(const QByteArray& uri) = 0;
    virtual bool openFinger(const QByteArray& uri) = 0;
    virtual bool closeFinger(const QByteArray& uri) = 0;
    virtual int checkFinger(const QByteArray& uri, const QByteArray& name) = 0;
    virtual int deleteFinger(const QByteArray& uri, const QByteArray& name) = 0;
    virtual int deleteFingers(const QByteArray& uri) = 0;
    virtual int addFinger(const QByteArray& uri, int mode, const QByteArray& name, int* index) = 0;
    virtual int importFinger(const QByteArray& uri, const QByteArray& file) = 0;
    virtual int exportFinger(const QByteArray& uri, const QByteArray& file, int* count) = 0;
    // IsFingerPrint: true when a user was identified (name and index filled) - the opposite of
    // the export's own sense, which returns false on success.
    virtual bool identifyFinger(const QByteArray& uri, QByteArray* name, short* index) = 0;
    // CancelFingerPrint; safe to call from another thread while identifyFinger blocks.
    virtual void cancelFingerPrint() = 0;
};

#endif
