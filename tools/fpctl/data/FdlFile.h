#ifndef FPCTL_FDLFILE_H
#define FPCTL_FDLFILE_H

#include "vrkt7xcommon.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Fingerprint data files (*.fdl): the plain concatenation of 546-byte records, each a 32-byte
// zero-padded GB18030 user name, a 16-bit little-endian ID and a 512-byte template. No header, no
// count, no checksum.
namespace FdlFile
{

constexpr int kNameBytes = VRKT_NAME_SIZE;
constexpr int kTemplateBytes = VRKT_TEMPLATE_SIZE;
constexpr int kRecordBytes = VRKT_RECORD_SIZE;
static_assert(kRecordBytes == kNameBytes + 2 + kTemplateBytes, "name, 16-bit ID, template");
// The printer's import command counts records in 16 bits.
constexpr int kMaxImportRecords = 0xFFFF;

struct Record {
    QByteArray name; // the name bytes up to the first zero byte (at most 32)
    quint16 id = 0;
    QByteArray feature; // the 512 template bytes
};

struct Contents {
    QList<Record> records;
    qint64 trailingBytes = 0; // bytes after the last whole record
};

// Splits file data into records.
Contents parse(const QByteArray& data);

// Reads and parses a file. False with a sentence in error (no final full stop) when it cannot be
// read; files larger than maxBytes are refused as not being fingerprint data.
bool read(const QString& path, Contents* contents, QString* error, qint64 maxBytes = qint64(kRecordBytes) * 0x10000);

} // namespace FdlFile

#endif
