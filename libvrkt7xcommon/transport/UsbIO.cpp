#include "UsbIO.h"

#include "UsbApi.h"
#include "system/Clock.h"
#include "system/CupsQueries.h"
#include "system/ShellHelpers.h"

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>
#include <cstdio>
#include <cstring>

extern "C" {
const int usb_error_printing = VRKT_USB_ERROR_PRINTING;
const int usb_error_scanning = VRKT_USB_ERROR_SCANNING;
const int usb_error_usb_locked = VRKT_USB_ERROR_USB_LOCKED;
const int usb_error_busy = VRKT_USB_ERROR_BUSY;
}

const char* const kPrinterLockFile = "/tmp/.vrkt_lock";
const char* const kPrinterLockInfoFile = "/tmp/.vrkt_info_lock";
const char* const lock_scan_file = "/tmp/.scanner_lock";
const char* const lock_scan_info_file = "/tmp/.scanner_info_lock";

namespace
{

int defaultGetpidvid(const std::string&, int* pid, int* vid)
{
    *pid = -1;
    *vid = -1;
    return -1;
}

// State shared by every UsbIO of the process.
FileLocker fl;
QStringList locked_printers;
QMutex mutex;

} // namespace

func_getpidvid getpidvid = defaultGetpidvid;

UsbIO::UsbIO()
    : usb(new UsbApi)
    , interface(0)
    , bus(0)
    , address(-1)
    , vid(-1)
    , pid(-1)
{
    ifdelay = 1;
    device_is_open = false;
    memset(serial, 0, sizeof(serial));
    memset(m_addressText, 0, sizeof(m_addressText));
}

UsbIO::~UsbIO()
{
    if (device_is_open)
        close();
    usb->exit();
    delete usb;
}

int UsbIO::resolve(Printer_struct* printer)
{
    printer_name = printer->name;
    return resolveUrl(printer->deviceUri);
}

int UsbIO::resolveUrl(const char* url)
{
    if (!url)
        return -1;
    if (device_uri[0] != '\0' && strcmp(device_uri, url) == 0)
        return 0;
    if (DeviceIO::resolveUrl(url) != 0)
        return -1;

    const QUrl parsed(QString::fromUtf8(url));
    const QString serialValue = QUrlQuery(parsed).queryItemValue("serial", QUrl::FullyDecoded);
    const std::string model = (parsed.host() + parsed.path()).toStdString();
    const int hook = getpidvid ? getpidvid(model, &pid, &vid) : -1;

    if (!serialValue.isEmpty()) {
        copyField(serial, serialValue.toLatin1().constData(), sizeof(serial));
        return 0;
    }
    serial[0] = '\0';
    if (hook != 0) {
        fprintf(stderr, "can not resolve url\n");
        return -1;
    }
    return 0;
}

int UsbIO::open(int)
{
    if (device_is_open) {
        fprintf(stderr, "device is opened\n");
        return -1;
    }
    if (printer_is_printing(QString::fromStdString(printer_name))) {
        fprintf(stderr, "printer is priting!!!\n");
        return usb_error_printing;
    }
    // Wait while a scanner program has the device, for a bounded time: anybody may hold this file
    // (or plant something that cannot be locked in its place), and then the printer stays unopened.
    if (lock(lock_scan_file) != 0) {
        fprintf(stderr, "scanner may be busy.\n");
        return usb_error_scanning;
    }
    unlock();

    if (usb->getDeviceAddress(vid, pid, serial, &address, &bus) != 0) {
        fprintf(stderr, "can not find device\n");
        return -1;
    }

    QMutexLocker guard(&mutex);
    if (locked_printers.contains(QString::fromUtf8(device_uri), Qt::CaseSensitive)) {
        fprintf(stderr, "usb device:%s locked\n", printer_name.c_str());
        return usb_error_usb_locked;
    }
    fl.lock_info(kPrinterLockInfoFile, device_uri);

    for (int attempt = 1;; ++attempt) {
        if (fl.trylock(kPrinterLockFile) == 0)
            break;
        if (attempt == kLockTries) {
            fl.lock_info(kPrinterLockInfoFile, "");
            return -1;
        }
        fprintf(stderr, " printer may be busy.\n\n");
        libClock().sleepMilliseconds(kLockPauseMs);
        // A lock file that nobody holds any more gives way; one that a live process holds is its
        // lock and stays.
        if (attempt == 15 || attempt == 17 || attempt == 19)
            fl.removelock(kPrinterLockFile);
    }

    const int opened = usb->open(vid, pid, serial, interface);
    if (opened != 0) {
        fl.unlock();
        fl.lock_info(kPrinterLockInfoFile, "");
        return opened;
    }
    device_is_open = true;
    locked_printers.append(QString::fromUtf8(device_uri));
    return 0;
}

int UsbIO::close()
{
    if (device_is_open) {
        device_is_open = false;
        usb->close();
    }
    // The lock object is the process's one, used by open under the same mutex.
    QMutexLocker guard(&mutex);
    locked_printers.removeAll(QString::fromUtf8(device_uri));
    fl.unlock();
    fl.lock_info(kPrinterLockInfoFile, "");
    return 0;
}

int UsbIO::write(char* buffer, int bufsize) { return device_is_open ? usb->write(buffer, bufsize) : -1; }

int UsbIO::read(char* buffer, int bufsize) { return device_is_open ? usb->read(buffer, bufsize) : -1; }

int UsbIO::write_bulk(char* buffer, int bufsize, unsigned int iface)
{
    return device_is_open ? usb->write_bulk(buffer, bufsize, iface) : -1;
}

int UsbIO::read_bulk(char* buffer, int bufsize, unsigned int iface)
{
    return device_is_open ? usb->read_bulk(buffer, bufsize, iface) : -1;
}

int UsbIO::getDeviceId_without_open(char* buffer, int bufsize)
{
    return device_is_open ? usb->getDeviceId(buffer, bufsize) : -1;
}

int UsbIO::getDeviceId(char* buffer, int bufsize)
{
    const int opened = open(0);
    if (opened == 0) {
        const int result = usb->getDeviceId(buffer, bufsize);
        close();
        return result;
    }
    if (opened == usb_error_printing) {
        const int result = cups_usb_getDeviceID(buffer, bufsize - 1);
        fprintf(stderr, "usb get device id when printing:%d\n", result);
        return result;
    }
    return opened;
}

bool UsbIO::isConnected() { return usb->isConnected(vid, pid, serial); }

const char* UsbIO::getDeviceAddress()
{
    if (usb->getDeviceAddress(vid, pid, serial, &address, nullptr) != 0) {
        address = -1;
        return "";
    }
    snprintf(m_addressText, sizeof(m_addressText), "USB%03d", address);
    return m_addressText;
}
