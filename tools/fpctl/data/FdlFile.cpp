#include "FdlFile.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace FdlFile
{

Contents parse(const QByteArray& data)
{
    Contents contents;
    const qsizetype count = data.size() / kRecordBytes;
    contents.records.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const char* record = data.constData() + i * kRecordBytes;
        Record r;
        const void* zero = std::memchr(record, 0, kNameBytes);
        r.name = QByteArray(record, zero ? static_cast<const char*>(zero) - record : kNameBytes);
        const auto* id = reinterpret_cast<const unsigned char*>(record + kNameBytes);
        r.id = static_cast<quint16>(id[0] | (id[1] << 8));
        r.feature = QByteArray(record + kNameBytes + 2, kTemplateBytes);
        contents.records.append(r);
    }
    contents.trailingBytes = data.size() - count * kRecordBytes;
    return contents;
}

bool read(const QString& path, Contents* contents, QString* error, qint64 maxBytes)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    if (info.isDir()) {
        *error = QStringLiteral("%1: is a directory").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > maxBytes) {
        *error = QStringLiteral("%1: too large for a fingerprint data file (%2 bytes)").arg(path).arg(file.size());
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    *contents = parse(data);
    return true;
}

} // namespace FdlFile
