#ifndef ICOWRITER_H
#define ICOWRITER_H

#include <QByteArray>
#include <QImage>
#include <QList>

// Writes several images into one Windows icon file. Qt's ico plugin encodes each image (it writes
// one image per file); this puts the encoded images under a single icon directory.
namespace IcoWriter
{

// The .ico file holding every image (each at most 256 × 256), or an empty array when one cannot
// be encoded.
QByteArray encode(const QList<QImage>& images);

} // namespace IcoWriter

#endif
