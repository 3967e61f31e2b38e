#include "SnmpCodec.h"

#include <QList>

namespace fpsim::snmp
{

const QByteArray DeviceIdOid = QByteArray::fromHex("2b06010401950b0102010201010301");

namespace
{
    constexpr quint8 TagInteger = 0x02, TagOctets = 0x04, TagNull = 0x05, TagOid = 0x06, TagSequence = 0x30;
    constexpr quint8 TagGetRequest = 0xA0, TagGetResponse = 0xA2;
    constexpr int NoSuchName = 2;

    QByteArray shortTlv(quint8 tag, const QByteArray& content)
    {
        QByteArray out;
        out.append(char(tag));
        if (content.size() < 0x80) {
            out.append(char(content.size()));
        } else {
            out.append(char(0x82));
            out.append(char((content.size() >> 8) & 0xFF));
            out.append(char(content.size() & 0xFF));
        }
        return out + content;
    }

    QByteArray longTlv(quint8 tag, const QByteArray& content)
    {
        QByteArray out;
        out.append(char(tag));
        out.append(char(0x82));
        out.append(char((content.size() >> 8) & 0xFF));
        out.append(char(content.size() & 0xFF));
        return out + content;
    }

    QByteArray integer(int value)
    {
        QByteArray content;
        if (value >= 0 && value < 0x80)
            content.append(char(value));
        else {
            for (int shift = 24; shift >= 0; shift -= 8)
                content.append(char((value >> shift) & 0xFF));
        }
        return shortTlv(TagInteger, content);
    }
} // namespace

bool readElement(const QByteArray& bytes, int offset, Element* element)
{
    if (offset < 0 || offset + 2 > bytes.size())
        return false;
    element->tag = quint8(bytes[offset]);
    int pos = offset + 1;
    const quint8 first = quint8(bytes[pos++]);
    qint64 length = 0;
    if (first < 0x80) {
        length = first;
    } else {
        const int n = first & 0x7F;
        if (n == 0 || n > 4 || pos + n > bytes.size())
            return false;
        for (int i = 0; i < n; ++i)
            length = (length << 8) | quint8(bytes[pos++]);
    }
    if (length > bytes.size() - pos)
        return false;
    element->headerSize = pos - offset;
    element->content = bytes.mid(pos, int(length));
    return true;
}

bool readChildren(const QByteArray& content, QList<Element>* children)
{
    int pos = 0;
    while (pos < content.size()) {
        Element e;
        if (!readElement(content, pos, &e))
            return false;
        children->append(e);
        pos += e.headerSize + int(e.content.size());
    }
    return true;
}

std::optional<QByteArray> answer(const QByteArray& request, const QByteArray& deviceId)
{
    Element message;
    if (!readElement(request, 0, &message) || message.tag != TagSequence)
        return std::nullopt;
    QList<Element> top;
    if (!readChildren(message.content, &top) || top.size() != 3)
        return std::nullopt;
    const Element& version = top[0];
    const Element& community = top[1];
    const Element& pdu = top[2];
    if (version.tag != TagInteger || version.content != QByteArray(1, '\0'))
        return std::nullopt; // only SNMP v1
    if (community.tag != TagOctets || pdu.tag != TagGetRequest)
        return std::nullopt;
    QList<Element> fields;
    if (!readChildren(pdu.content, &fields) || fields.size() != 4 || fields[0].tag != TagInteger
        || fields[3].tag != TagSequence)
        return std::nullopt;
    QList<Element> bindings;
    if (!readChildren(fields[3].content, &bindings) || bindings.isEmpty())
        return std::nullopt;

    int errorStatus = 0, errorIndex = 0;
    QByteArray answerBindings;
    for (int i = 0; i < bindings.size(); ++i) {
        QList<Element> pair;
        if (bindings[i].tag != TagSequence || !readChildren(bindings[i].content, &pair) || pair.size() != 2
            || pair[0].tag != TagOid)
            return std::nullopt;
        QByteArray value;
        if (pair[0].content == DeviceIdOid) {
            QByteArray text;
            const int total = int(deviceId.size()) + 2;
            text.append(char((total >> 8) & 0xFF));
            text.append(char(total & 0xFF));
            text.append(deviceId);
            text.append('\0');
            value = longTlv(TagOctets, text);
        } else {
            if (errorStatus == 0) {
                errorStatus = NoSuchName;
                errorIndex = i + 1;
            }
            value = shortTlv(TagNull, QByteArray());
        }
        answerBindings += longTlv(TagSequence, shortTlv(TagOid, pair[0].content) + value);
    }
    if (errorStatus != 0) {
        // A v1 error response repeats the request's bindings unchanged.
        answerBindings.clear();
        for (const Element& b : bindings)
            answerBindings += longTlv(TagSequence, b.content);
    }
    const QByteArray responsePdu = longTlv(TagGetResponse,
        shortTlv(TagInteger, fields[0].content) + integer(errorStatus) + integer(errorIndex)
            + longTlv(TagSequence, answerBindings));
    return longTlv(
        TagSequence, shortTlv(TagInteger, version.content) + shortTlv(TagOctets, community.content) + responsePdu);
}

} // namespace fpsim::snmp
