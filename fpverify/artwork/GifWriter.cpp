#include "GifWriter.h"

#include <vector>

namespace
{

const int kMaxCodes = 4096;

// Packs variable-width codes least significant bit first, as GIF wants them.
class BitPacker
{
public:
    void put(int code, int width)
    {
        m_buffer |= quint32(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_out.append(char(m_buffer & 0xff));
            m_buffer >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bits > 0)
            m_out.append(char(m_buffer & 0xff));
        m_buffer = 0;
        m_bits = 0;
        return m_out;
    }

private:
    QByteArray m_out;
    quint32 m_buffer = 0;
    int m_bits = 0;
};

} // namespace

GifWriter::GifWriter(QSize size, const QList<QRgb>& palette)
    : m_size(size)
    , m_palette(palette.mid(0, 256))
{
    if (m_palette.isEmpty())
        m_palette.append(qRgb(0, 0, 0));
    while ((1 << m_tableBits) < m_palette.size())
        ++m_tableBits;
    writeHeader();
}

void GifWriter::put16(int value)
{
    m_data.append(char(value & 0xff));
    m_data.append(char((value >> 8) & 0xff));
}

void GifWriter::writeHeader()
{
    m_data.append("GIF89a", 6);
    put16(m_size.width());
    put16(m_size.height());
    // Global colour table present, 8 bits of colour resolution, table size 2^(n+1).
    m_data.append(char(0x80 | 0x70 | (m_tableBits - 1)));
    m_data.append(char(0)); // background colour index
    m_data.append(char(0)); // pixel aspect ratio: not given
    for (int i = 0; i < (1 << m_tableBits); ++i) {
        const QRgb colour = i < m_palette.size() ? m_palette.at(i) : qRgb(0, 0, 0);
        m_data.append(char(qRed(colour)));
        m_data.append(char(qGreen(colour)));
        m_data.append(char(qBlue(colour)));
    }
    // NETSCAPE2.0 application extension: loop forever.
    m_data.append("\x21\xff\x0bNETSCAPE2.0\x03\x01", 16);
    put16(0);
    m_data.append(char(0));
}

QByteArray GifWriter::lzwEncode(const uchar* indices, qsizetype count, int minCodeSize)
{
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    // child[code * 256 + index] is the code of the string <code><index>, 0 when not yet defined
    // (code 0 is a root and never a child, so 0 is free as the marker).
    std::vector<quint16> child(size_t(kMaxCodes) * 256, 0);
    int nextCode = endCode + 1;
    int width = minCodeSize + 1;

    BitPacker packer;
    packer.put(clearCode, width);
    if (count == 0) {
        packer.put(endCode, width);
        return packer.finish();
    }

    int prefix = indices[0];
    for (qsizetype i = 1; i < count; ++i) {
        const int index = indices[i];
        quint16& slot = child[size_t(prefix) * 256 + size_t(index)];
        if (slot != 0) {
            prefix = slot;
            continue;
        }
        packer.put(prefix, width);
        slot = quint16(nextCode++);
        // The decoder learns each string one code later than we do, so it widens its codes once
        // the table has outgrown the current width, not when it merely fills it.
        if (nextCode > (1 << width) && width < 12)
            ++width;
        if (nextCode == kMaxCodes) {
            packer.put(clearCode, width);
            std::fill(child.begin(), child.end(), quint16(0));
            nextCode = endCode + 1;
            width = minCodeSize + 1;
        }
        prefix = index;
    }
    packer.put(prefix, width);
    packer.put(endCode, width);
    return packer.finish();
}

bool GifWriter::addFrame(const QImage& frame, int delayCs)
{
    if (m_finished || frame.format() != QImage::Format_Indexed8 || frame.size() != m_size)
        return false;

    // Graphic control extension: no disposal, no transparency, the delay.
    m_data.append("\x21\xf9\x04\x04", 4);
    put16(qBound(0, delayCs, 0xffff));
    m_data.append(char(0)); // transparent colour index (unused)
    m_data.append(char(0));

    // Image descriptor: the whole screen, no local colour table, not interlaced.
    m_data.append(char(0x2c));
    put16(0);
    put16(0);
    put16(m_size.width());
    put16(m_size.height());
    m_data.append(char(0));

    std::vector<uchar> indices;
    indices.reserve(size_t(m_size.width()) * size_t(m_size.height()));
    const int maxIndex = m_palette.size() - 1;
    for (int y = 0; y < m_size.height(); ++y) {
        const uchar* line = frame.constScanLine(y);
        for (int x = 0; x < m_size.width(); ++x)
            indices.push_back(uchar(qMin<int>(line[x], maxIndex)));
    }

    const int minCodeSize = qMax(2, m_tableBits);
    m_data.append(char(minCodeSize));
    const QByteArray codes = lzwEncode(indices.data(), qsizetype(indices.size()), minCodeSize);
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const qsizetype length = qMin<qsizetype>(255, codes.size() - at);
        m_data.append(char(length));
        m_data.append(codes.constData() + at, length);
    }
    m_data.append(char(0)); // block terminator
    return true;
}

QByteArray GifWriter::finish()
{
    if (!m_finished) {
        m_data.append(char(0x3b));
        m_finished = true;
    }
    return m_data;
}
