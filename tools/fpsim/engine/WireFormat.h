#pragma once
// Byte layouts of the fingerprint unit's frames, as the printer reads and writes them.
// Everything here works on raw byte buffers; multi-byte integers are little-endian on the wire.

#include <QByteArray>
#include <cstdint>

namespace fpsim::wire
{

constexpr int HeaderSize = 8; // every command header and every status record
constexpr int NameSize = 32; // UserName field
constexpr int TemplateSize = 512; // feature field
constexpr int ResultSize = 34; // UserName + ID (the "GETR" payload)
constexpr int RecordSize = 546; // UserName + ID + feature (export/import record)

// Acknowledgement letters of a status record. Any other letter is a refusal.
constexpr char AckAccepted = 'A';
constexpr char AckNotReady = 'N';
constexpr char AckBusy = 'B';
constexpr char AckRefused = 'E';

extern const QByteArray CodeStatus; // "STA\0"
extern const QByteArray CodeExport; // "EXPT"

// Reads a little-endian 16-bit value at `offset`; the caller guarantees two bytes are there.
quint16 u16At(const QByteArray& bytes, int offset);
void putU16(QByteArray& bytes, int offset, quint16 value);

// The four code bytes of a header as text for logs: printable letters kept, others as \xNN.
QString codeText(const QByteArray& code);

// Status record: code (4 bytes), ack (byte 4), length (bytes 5-6), status (byte 7).
QByteArray statusRecord(char ack, quint16 length, quint8 status, const QByteArray& code = CodeStatus);

// Progress packet sent while a command is still being worked on: 0x1C '-'.
QByteArray progressPacket();

// A user name as stored in the 32-byte UserName field: the bytes up to the first zero, at most 32.
QByteArray nameFromField(const char* field);
// The 32-byte zero-padded UserName field for `name` (longer names are cut at 32 bytes).
QByteArray nameField(const QByteArray& name);

// One enrolled fingerprint.
struct Record {
    QByteArray name; // at most 32 bytes, no trailing zero bytes
    quint16 id = 0;
    QByteArray feature; // exactly 512 bytes
    bool operator==(const Record& other) const
    {
        return name == other.name && id == other.id && feature == other.feature;
    }
};

// 34-byte result payload: UserName + ID.
QByteArray resultPayload(const QByteArray& name, quint16 id);
// 546-byte record.
QByteArray encodeRecord(const Record& record);
// Decodes 546 bytes at `data`.
Record decodeRecord(const char* data);

// Command header fields by command.
struct Header {
    QByteArray code; // 4 bytes
    quint8 byte4 = 0, byte5 = 0, byte6 = 0, byte7 = 0;

    quint16 length() const { return quint16(byte4 | (byte5 << 8)); } // CHCK, DELE, ADDF, ADDS
    quint16 importCount() const { return quint16(byte6 | (byte7 << 8)); } // IMPT num
    quint8 funcMode() const { return byte4; } // FING mode 'R'/'W'
    quint8 funcValue() const { return byte7; } // FING func
    quint8 deleteMode() const { return byte7; } // DELE mode
};

// Parses the first 8 bytes; false when fewer are there.
bool parseHeader(const QByteArray& frame, Header* header);

// Total frame size (header + payload) that a command with this header carries, so that a stream
// reader knows how many bytes belong to the frame. Unknown codes count as bare headers.
int expectedFrameSize(const Header& header);

QByteArray header(const char* code, quint8 b4 = 0, quint8 b5 = 0, quint8 b6 = 0, quint8 b7 = 0);

} // namespace fpsim::wire
