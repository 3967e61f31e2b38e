#pragma once
// Descriptors of the simulated USB printer: one configuration with interface 0 of the printer
// class (7/1/2) and two bulk endpoints, OUT 0x01 and IN 0x82; string descriptors 1 manufacturer,
// 2 product, 3 serial number.

#include <QByteArray>

namespace fpsim::usb
{

constexpr quint16 VendorId = 0x1209; // pid.codes
constexpr quint16 ProductId = 0x0001; // pid.codes test ID
constexpr quint8 BulkOut = 0x01;
constexpr quint8 BulkIn = 0x82;

QByteArray deviceDescriptor();
QByteArray configurationDescriptor();
// String descriptor `index` (0: the language list) for the given texts; empty for an unknown index.
QByteArray stringDescriptor(
    int index, const QByteArray& manufacturer, const QByteArray& product, const QByteArray& serial);
// GET_DEVICE_ID answer: big-endian length, then the text. `inclusive`: the length counts its own
// two bytes (IEEE 1284), else only the text.
QByteArray deviceIdReply(const QByteArray& deviceId, bool inclusive);

} // namespace fpsim::usb
