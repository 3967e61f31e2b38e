#pragma once
// The printers on USB, through a umockdev testbed: one device per printer on bus 1, answered at
// the usbdevfs ioctl level so that an unmodified libusb in a program running with the umockdev
// preload finds and drives them.
//
// What a device answers:
//   - GET_DESCRIPTOR (device, configuration, strings incl. the serial number), GET_CONFIGURATION;
//   - vendor control OUT 0x41/0x4D: a command frame for the printer (any wValue/wIndex);
//   - vendor control IN 0xC1/0x00: the printer's next answer message, one per transfer, cut to
//     wLength. While an answer is on its way (a delay) the transfer waits for it; when the printer
//     has nothing queued and nothing coming, the transfer completes at once with 0 bytes (the
//     device has nothing to say: the host sees an empty read);
//   - class control IN 0xA1/0x00 (GET_DEVICE_ID): the IEEE 1284 device ID with its 2-byte length,
//     to any opener, claimed or not (as the kernel passes it); --device-id-delay holds it back;
//   - bulk OUT 0x01: import data after "IMPT", print data otherwise (one print job from the first
//     byte to the release of the interface or the close of the device); bulk IN 0x82: the export
//     record and records, at most one message per transfer; an import or a bulk IN read waits
//     while the printer has nothing (or stalls), until the host gives up - except in a print
//     session (after its first print byte), where a bulk IN read with nothing to say ends at
//     once with 0 bytes;
//   - kernel driver "usblp" bound to interface 0 until detached (DISCONNECT / DISCONNECT_CLAIM),
//     CONNECT re-attaches it; claiming while it is bound gives EBUSY;
//   - unplugged (control command, fault): every request fails with ENODEV and the device leaves
//     the bus until plugged in again.

#include "PrinterEngine.h"

#include <QList>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace fpsim
{

struct UsbDevice;

class UsbFrontend : public QObject
{
    Q_OBJECT
public:
    explicit UsbFrontend(SimClock& clock, QObject* parent = nullptr);
    ~UsbFrontend() override;

    // Creates the testbed (sets UMOCKDEV_DIR in this process's environment).
    bool start(QString* error);
    // Adds a device for `engine` with its serial number. `inclusiveIdLength` as in deviceIdReply.
    bool addPrinter(PrinterEngine& engine, bool inclusiveIdLength, QString* error);
    QString testbedRoot() const;

    // Internal: one ioctl from a client of device `index`.
    bool handleIoctl(int index, void* client);

private:
    void schedulerLoop();
    void syncPlugState();
    void kick();

    SimClock& m_clock;
    UMockdevTestbed* m_testbed = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    QList<UsbDevice*> m_devices;
    std::thread m_scheduler;
};

} // namespace fpsim
