#ifndef BACKEND_USBPRINTERS_H
#define BACKEND_USBPRINTERS_H

#include <QByteArray>
#include <QList>

// The USB printers on the bus, named as CUPS's usb backend names them, found without claiming
// their interface: CUPS's own usb backend, run by cups-deviced at the same moment, claims each
// printer to list it, and a second claimer would make one of the two miss it. The IEEE 1284 device
// ID is asked with the printer class's GET_DEVICE_ID request, which the kernel lets any opener
// send to a printer interface whoever holds it; the serial number, when the device ID has none,
// comes from the device's string descriptor.
namespace UsbPrinters
{

struct Printer {
    QByteArray uri; // usb://MAKE/MODEL?serial=...
    QByteArray makeAndModel;
    QByteArray deviceId;
};

// The text of a GET_DEVICE_ID reply: a two-byte length that counts itself, then the text (read
// as CUPS's usb backend reads it). Empty when the length is below the shortest device ID.
QByteArray deviceIdText(const QByteArray& reply);

// The usb backend's device URI for a printer with that device ID; descriptorSerial is the serial
// number string of the device, used when the device ID has none; iface the interface number
// (named in the URI when it is not 0).
QByteArray deviceUri(const QByteArray& deviceId, const QByteArray& descriptorSerial, int iface);

// The usb backend's make and model for a device ID.
QByteArray makeAndModel(const QByteArray& deviceId);

// The printers on the bus that answer their device ID within timeoutMs in all.
QList<Printer> list(int timeoutMs);

} // namespace UsbPrinters

#endif
