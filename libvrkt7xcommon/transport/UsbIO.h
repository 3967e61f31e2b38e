#ifndef USBIO_H
#define USBIO_H

#include "DeviceIO.h"
#include "FileLocker.h"
#include "vrkt7xsystem.h"

#include <string>

class UsbApi;

// The results of open beyond the libusb codes (usb_error_printing...) and the getpidvid hook
// are exported: see vrkt7xsystem.h.

// Files under /tmp that keep cooperating processes and a scanner program off the USB printer.
extern const char* const kPrinterLockFile; // "/tmp/.vrkt_lock"
extern const char* const kPrinterLockInfoFile; // "/tmp/.vrkt_info_lock"
extern const char* const lock_scan_file; // "/tmp/.scanner_lock"
extern const char* const lock_scan_info_file; // "/tmp/.scanner_info_lock"

// The transport for printers whose device URI starts with "usb://": finds the printer by the serial
// number of its URI and exchanges frames as vendor control transfers, records as bulk transfers.
// Opening is refused while CUPS prints on the printer, while this process has it open, and while
// another cooperating process holds the printer lock file or a scanner program the scanner lock
// file (each waited for on FileLocker's bounded schedule).
class UsbIO : public DeviceIO, public FileLocker
{
public:
    UsbIO();
    ~UsbIO() override;

    int type() override { return kTransportUsb; }
    int close() override;
    int write(char* buffer, int bufsize) override;
    int read(char* buffer, int bufsize) override;
    int getDeviceId_without_open(char* buffer, int bufsize) override;
    int write_bulk(char* buffer, int bufsize, unsigned int interface) override;
    int read_bulk(char* buffer, int bufsize, unsigned int interface) override;
    int resolve(Printer_struct* printer) override;
    using DeviceIO::getDeviceAddress;
    using DeviceIO::getDeviceId;
    using DeviceIO::isConnected;
    using DeviceIO::open;
    int open(int port) override;
    int resolveUrl(const char* url) override;
    bool isConnected() override;
    int getDeviceId(char* buffer, int bufsize) override;
    const char* getDeviceAddress() override;

    UsbApi* usb;
    int interface;
    int bus;
    int address;
    int vid;
    int pid;
    char serial[256];
    std::string printer_name;

private:
    char m_addressText[16];
};

#endif
