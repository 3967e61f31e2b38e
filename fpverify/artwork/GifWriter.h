#ifndef GIFWRITER_H
#define GIFWRITER_H

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>

// A minimal GIF89a encoder for animations (Qt reads GIF but cannot write it): one global colour
// table, full-size frames, endless looping, LZW with variable code width and clear codes.
class GifWriter
{
public:
    // palette: 1 to 256 colours, shared by every frame.
    GifWriter(QSize size, const QList<QRgb>& palette);

    // frame must be Format_Indexed8 of the writer's size with indices into the palette;
    // delayCs is the display time in hundredths of a second. Returns false for a frame that does
    // not fit.
    bool addFrame(const QImage& frame, int delayCs);

    // The complete file; the writer takes no more frames afterwards.
    QByteArray finish();

    // The LZW code stream (before it is cut into sub-blocks) of the given indices.
    static QByteArray lzwEncode(const uchar* indices, qsizetype count, int minCodeSize);

private:
    void writeHeader();
    void put16(int value);

    QSize m_size;
    QList<QRgb> m_palette;
    int m_tableBits = 1; // the colour table holds 2^m_tableBits entries
    QByteArray m_data;
    bool m_finished = false;
};

#endif
