#include "WireFormat.h"

#include <QString>
#include <cstring>

namespace fpsim::wire
{

const QByteArray CodeStatus("STA\0", 4);
const QByteArray CodeExport("EXPT", 4);

quint16 u16At(const QByteArray& bytes, int offset)
{
    return quint16(quint8(bytes[offset]) | (quint8(bytes[offset + 1]) << 8));
}

void putU16(QByteArray& bytes, int offset, quint16 value)
{
    bytes[offset] = char(value & 0xFF);
    bytes[offset + 1] = char(value >> 8);
}

QString codeText(const QByteArray& code)
{
    QString text;
    for (char c : code) {
        if (c >= 0x21 && c <= 0x7E)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(quint8(c), 2, 16, QLatin1Char('0'));
    }
    return text;
}

QByteArray statusRecord(char ack, quint16 length, quint8 status, const QByteArray& code)
{
    QByteArray record(HeaderSize, '\0');
    std::memcpy(record.data(), code.constData(), 4);
    record[4] = ack;
    putU16(record, 5, length);
    record[7] = char(status);
    return record;
}

QByteArray progressPacket() { return QByteArray("\x1C-", 2); }

QByteArray nameFromField(const char* field)
{
    int n = 0;
    while (n < NameSize && field[n] != '\0')
        ++n;
    return QByteArray(field, n);
}

QByteArray nameField(const QByteArray& name)
{
    QByteArray field(NameSize, '\0');
    std::memcpy(field.data(), name.constData(), size_t(qMin<qsizetype>(name.size(), NameSize)));
    return field;
}

QByteArray resultPayload(const QByteArray& name, quint16 id)
{
    QByteArray payload = nameField(name);
    payload.append(2, '\0');
    putU16(payload, NameSize, id);
    return payload;
}

QByteArray encodeRecord(const Record& record)
{
    QByteArray bytes = resultPayload(record.name, record.id);
    QByteArray feature = record.feature.left(TemplateSize);
    feature.append(TemplateSize - feature.size(), '\0');
    bytes.append(feature);
    return bytes;
}

Record decodeRecord(const char* data)
{
    Record record;
    record.name = nameFromField(data);
    record.id = quint16(quint8(data[NameSize]) | (quint8(data[NameSize + 1]) << 8));
    record.feature = QByteArray(data + ResultSize, TemplateSize);
    return record;
}

bool parseHeader(const QByteArray& frame, Header* header)
{
    if (frame.size() < HeaderSize)
        return false;
    header->code = frame.left(4);
    header->byte4 = quint8(frame[4]);
    header->byte5 = quint8(frame[5]);
    header->byte6 = quint8(frame[6]);
    header->byte7 = quint8(frame[7]);
    return true;
}

int expectedFrameSize(const Header& header)
{
    if (header.code == "CHCK" || header.code == "ADDF")
        return HeaderSize + header.length();
    if (header.code == "DELE" && header.deleteMode() == 0)
        return HeaderSize + header.length();
    return HeaderSize;
}

QByteArray header(const char* code, quint8 b4, quint8 b5, quint8 b6, quint8 b7)
{
    QByteArray bytes(code, 4);
    bytes.append(char(b4));
    bytes.append(char(b5));
    bytes.append(char(b6));
    bytes.append(char(b7));
    return bytes;
}

} // namespace fpsim::wire
