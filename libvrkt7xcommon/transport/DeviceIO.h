#ifndef DEVICEIO_H
#define DEVICEIO_H

#include "system/PrinterTypes.h"

// What DeviceIO::type() answers: the transport a printer is reached through.
enum TransportKind : int {
    kTransportUsb = 1,
    kTransportNet = 2,
};

// The TCP port of a network printer's fingerprint unit.
constexpr int kFingerprintPort = 10001;

// A byte pipe to one printer. UsbIO and NetIO implement it; the fingerprint protocol only ever
// talks to a DeviceIO*. The operations taking a Printer_struct first resolve the printer's device
// URI into the object and then run their parameterless twin.
class DeviceIO
{
public:
    DeviceIO();
    virtual ~DeviceIO();

    virtual int type() = 0; // a TransportKind
    virtual int close() = 0; // 0 on success
    virtual int write(char* buffer, int bufsize) = 0; // bytes written, negative on failure
    virtual int read(char* buffer, int bufsize) = 0; // bytes read, negative on failure
    virtual int getDeviceId_without_open(char* buffer, int bufsize) = 0;
    virtual int write_bulk(char* buffer, int bufsize, unsigned int interface) = 0;
    virtual int read_bulk(char* buffer, int bufsize, unsigned int interface) = 0;

    // Sends one request and reads one reply that starts with the marker bytes 'M' '<'.
    // 0 when the reply arrived (rdBuffer then holds the marker followed by rdSize - 2 bytes).
    virtual int writeThenRead(char* wrBuffer, int wrSize, char* rdBuffer, int rdSize);

    virtual int open(Printer_struct* printer, int port);
    virtual int resolve(Printer_struct* printer);
    virtual bool isConnected(Printer_struct* printer);
    virtual const char* getDeviceAddress(Printer_struct* printer);
    virtual int getDeviceId(Printer_struct* printer, char* buffer, int bufsize);

    virtual int open(int port) = 0;
    // Records url as the object's device URI: -1 for a null url or one of 256 bytes or more
    // (device_uri is then left as it was), else 0.
    virtual int resolveUrl(const char* url);
    virtual bool isConnected() = 0;
    virtual int getDeviceId(char* buffer, int bufsize) = 0;
    virtual const char* getDeviceAddress() = 0;

    char device_uri[kFieldSize];
    int ifdelay;
    bool device_is_open;

protected:
    // Pause of writeThenRead between its steps, only when ifdelay is set.
    void pause(int us);
};

// Hands out the transport that suits a printer.
class DeviceIOManager
{
public:
    virtual ~DeviceIOManager();
    virtual DeviceIO* getDevice(Printer_struct* printer) = 0;
};

#endif
