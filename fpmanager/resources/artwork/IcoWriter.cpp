#include "IcoWriter.h"

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>
#include <cstring>

namespace
{

const int kDirectorySize = 6;
const int kEntrySize = 16;

struct EncodedImage {
    QByteArray entry; // the 16-byte directory entry, offset still to be set
    QByteArray data;
};

// One image through Qt's ico plugin; returns false when the plugin is missing or fails.
bool encodeOne(const QImage& image, EncodedImage* out)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    if (!writer.write(image))
        return false;
    const QByteArray file = buffer.data();
    if (file.size() < kDirectorySize + kEntrySize)
        return false;
    const auto* bytes = reinterpret_cast<const uchar*>(file.constData());
    if (qFromLittleEndian<quint16>(bytes + 2) != 1 || qFromLittleEndian<quint16>(bytes + 4) != 1)
        return false;
    const uchar* entry = bytes + kDirectorySize;
    const quint32 size = qFromLittleEndian<quint32>(entry + 8);
    const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
    if (offset > static_cast<quint32>(file.size()) || size > static_cast<quint32>(file.size()) - offset)
        return false;
    out->entry = file.mid(kDirectorySize, kEntrySize);
    out->data = file.mid(static_cast<int>(offset), static_cast<int>(size));
    return true;
}

} // namespace

namespace IcoWriter
{

QByteArray encode(const QList<QImage>& images)
{
    QList<EncodedImage> encoded;
    for (const QImage& image : images) {
        if (image.isNull() || image.width() > 256 || image.height() > 256)
            return QByteArray();
        EncodedImage one;
        if (!encodeOne(image, &one))
            return QByteArray();
        encoded.append(one);
    }
    if (encoded.isEmpty())
        return QByteArray();

    QByteArray file(kDirectorySize, '\0');
    auto* header = reinterpret_cast<uchar*>(file.data());
    qToLittleEndian<quint16>(0, header);
    qToLittleEndian<quint16>(1, header + 2); // type 1: icon
    qToLittleEndian<quint16>(static_cast<quint16>(encoded.size()), header + 4);

    quint32 offset = static_cast<quint32>(kDirectorySize + kEntrySize * encoded.size());
    QByteArray entries;
    QByteArray data;
    for (EncodedImage& one : encoded) {
        qToLittleEndian<quint32>(offset, reinterpret_cast<uchar*>(one.entry.data()) + 12);
        entries += one.entry;
        data += one.data;
        offset += static_cast<quint32>(one.data.size());
    }
    return file + entries + data;
}

} // namespace IcoWriter
