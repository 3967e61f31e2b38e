// fpverify's GIF encoder against Qt's GIF reader: every pixel of every frame must come back, through
// code-width changes and dictionary resets alike.

#include "GifWriter.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTest>

namespace
{

QList<QRgb> paletteOf(int colours)
{
    QList<QRgb> palette;
    for (int i = 0; i < colours; ++i)
        palette.append(qRgb((i * 37) & 0xff, (i * 91 + 13) & 0xff, (255 - i * 5) & 0xff));
    return palette;
}

QImage frameOf(QSize size, int colours, const QString& pattern, int seed)
{
    QImage frame(size, QImage::Format_Indexed8);
    frame.setColorCount(colours);
    QRandomGenerator random(quint32(seed + 1));
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = frame.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            int index = 0;
            if (pattern == QLatin1String("noise"))
                index = int(random.bounded(colours));
            else if (pattern == QLatin1String("stripes"))
                index = ((x + seed) / 3 + y / 5) % colours;
            else // flat
                index = seed % colours;
            line[x] = uchar(index);
        }
    }
    return frame;
}

} // namespace

class TestGifWriter : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void rejectsFramesThatDoNotFit();
};

void TestGifWriter::roundTrip_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colours");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("frames");

    QTest::newRow("one pixel, one colour") << QSize(1, 1) << 1 << "flat" << 1;
    QTest::newRow("two colours, noise") << QSize(64, 48) << 2 << "noise" << 2;
    QTest::newRow("three colours, odd size") << QSize(7, 5) << 3 << "stripes" << 3;
    QTest::newRow("16 colours, stripes") << QSize(120, 90) << 16 << "stripes" << 2;
    QTest::newRow("256 colours, flat runs") << QSize(300, 200) << 256 << "flat" << 3;
    // Enough distinct strings to fill the 4096-entry table many times over.
    QTest::newRow("256 colours, noise") << QSize(320, 240) << 256 << "noise" << 3;
    QTest::newRow("5 colours, noise, tall") << QSize(3, 4000) << 5 << "noise" << 1;
}

void TestGifWriter::roundTrip()
{
    QFETCH(QSize, size);
    QFETCH(int, colours);
    QFETCH(QString, pattern);
    QFETCH(int, frames);

    const QList<QRgb> palette = paletteOf(colours);
    GifWriter writer(size, palette);
    QList<QImage> written;
    for (int i = 0; i < frames; ++i) {
        written.append(frameOf(size, colours, pattern, i));
        QVERIFY(writer.addFrame(written.last(), 5 + i));
    }
    QByteArray data = writer.finish();
    QVERIFY(data.startsWith("GIF89a"));
    QCOMPARE(data.back(), char(0x3b));

    QBuffer buffer(&data);
    QImageReader reader(&buffer, "gif");
    QVERIFY(reader.supportsAnimation());
    QCOMPARE(reader.imageCount(), frames);
    QCOMPARE(reader.loopCount(), -1); // for ever
    for (int i = 0; i < frames; ++i) {
        QImage read;
        QVERIFY2(reader.read(&read), qPrintable(reader.errorString()));
        QCOMPARE(reader.nextImageDelay(), (5 + i) * 10);
        QCOMPARE(read.size(), size);
        for (int y = 0; y < size.height(); ++y) {
            const uchar* line = written.at(i).constScanLine(y);
            for (int x = 0; x < size.width(); ++x) {
                if (read.pixel(x, y) != palette.at(line[x]))
                    QFAIL(qPrintable(QStringLiteral("frame %1 differs at (%2, %3)").arg(i).arg(x).arg(y)));
            }
        }
    }
}

void TestGifWriter::rejectsFramesThatDoNotFit()
{
    GifWriter writer(QSize(4, 4), paletteOf(4));
    QVERIFY(!writer.addFrame(QImage(4, 4, QImage::Format_ARGB32), 1));
    QVERIFY(!writer.addFrame(frameOf(QSize(5, 4), 4, "flat", 0), 1));
    QVERIFY(writer.addFrame(frameOf(QSize(4, 4), 4, "flat", 0), 1));
    writer.finish();
    QVERIFY(!writer.addFrame(frameOf(QSize(4, 4), 4, "flat", 0), 1));
}

QTEST_GUILESS_MAIN(TestGifWriter)
#include "tst_fpverify_gifwriter.moc"
