#pragma once
// The printer's SNMP v1 agent, reduced to what it serves: a GetRequest for the IEEE 1284 device ID
// (ppmPrinterIEEE1284DeviceId.1, OID 1.3.6.1.4.1.2699.1.2.1.2.1.1.3.1).
//
// Answer layout: every constructed length and the value's length use the two-byte long form
// (0x82 hi lo), and the value is the device ID as the unit keeps it for USB too: a big-endian
// two-byte length (counting itself), the text, and a closing zero byte. With the 47-byte request
// that the host sends this puts the text at offset 59 of the datagram and the zero byte last.

#include <QByteArray>
#include <optional>

namespace fpsim::snmp
{

extern const QByteArray DeviceIdOid; // BER content bytes of the OID

// Answer to one request datagram; nothing for anything that is not a well-formed SNMP v1
// GetRequest. Unknown OIDs get a GetResponse with error-status noSuchName (2).
std::optional<QByteArray> answer(const QByteArray& request, const QByteArray& deviceId);

// A BER element as the tests and the agent read it.
struct Element {
    quint8 tag = 0;
    int headerSize = 0; // tag + length bytes
    QByteArray content;
};
// Reads the element at `offset`; false when the bytes are not a complete element.
bool readElement(const QByteArray& bytes, int offset, Element* element);
// The children of a constructed element's content.
bool readChildren(const QByteArray& content, QList<Element>* children);

} // namespace fpsim::snmp
