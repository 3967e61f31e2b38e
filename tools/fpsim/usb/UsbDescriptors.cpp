#include "UsbDescriptors.h"

namespace fpsim::usb
{

QByteArray deviceDescriptor()
{
    const quint8 d[18] = { 18, 1, 0x00, 0x02, // bLength, DEVICE, bcdUSB 2.00
        0, 0, 0, 64, // class per interface, EP0 size 64
        quint8(VendorId & 0xFF), quint8(VendorId >> 8), quint8(ProductId & 0xFF), quint8(ProductId >> 8), 0x00,
        0x01, // bcdDevice 1.00
        1, 2, 3, 1 }; // strings, one configuration
    return QByteArray(reinterpret_cast<const char*>(d), sizeof d);
}

QByteArray configurationDescriptor()
{
    const quint8 c[32] = {
        9, 2, 32, 0, 1, 1, 0, 0xC0, 50, // CONFIGURATION: total 32, 1 interface, value 1, self powered
        9, 4, 0, 0, 2, 7, 1, 2, 0, // INTERFACE 0: 2 endpoints, printer class, bidirectional
        7, 5, BulkOut, 2, 0x00, 0x02, 0, // ENDPOINT bulk OUT, 512 bytes
        7, 5, BulkIn, 2, 0x00, 0x02, 0, // ENDPOINT bulk IN, 512 bytes
    };
    return QByteArray(reinterpret_cast<const char*>(c), sizeof c);
}

QByteArray stringDescriptor(
    int index, const QByteArray& manufacturer, const QByteArray& product, const QByteArray& serial)
{
    QByteArray text;
    switch (index) {
    case 0:
        return QByteArray("\x04\x03\x09\x04", 4); // en-US
    case 1:
        text = manufacturer;
        break;
    case 2:
        text = product;
        break;
    case 3:
        text = serial;
        break;
    default:
        return QByteArray();
    }
    text = text.left(126);
    QByteArray d;
    d.append(char(2 + 2 * text.size()));
    d.append(char(3));
    for (char ch : text) {
        d.append(ch);
        d.append('\0');
    }
    return d;
}

QByteArray deviceIdReply(const QByteArray& deviceId, bool inclusive)
{
    const int length = int(deviceId.size()) + (inclusive ? 2 : 0);
    QByteArray r;
    r.append(char((length >> 8) & 0xFF));
    r.append(char(length & 0xFF));
    return r + deviceId;
}

} // namespace fpsim::usb
