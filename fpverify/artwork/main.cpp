// Draws fpverify's pictures at build time: fpverify_artwork OUTPUT_DIR writes finger.gif (the
// animated finger) and app_icon.png (the application icon) there.
#include "FingerArtwork.h"
#include "GifWriter.h"

#include <QDir>
#include <QFile>
#include <cstdio>

namespace
{

const int kFingerSide = 100;
const int kFrameCount = 16;
const int kFrameDelayCs = 8;
const int kIconSide = 128;

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        std::fprintf(stderr, "fpverify_artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fpverify_artwork OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")))
        return 1;

    const QList<QRgb> palette = FingerArtwork::animationPalette();
    GifWriter gif(QSize(kFingerSide, kFingerSide), palette);
    for (int frame = 0; frame < kFrameCount; ++frame) {
        const QImage indexed = FingerArtwork::fingerFrame(kFingerSide, frame, kFrameCount)
                                   .convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);
        if (!gif.addFrame(indexed, kFrameDelayCs))
            return 1;
    }
    if (!writeFile(out.filePath(QStringLiteral("finger.gif")), gif.finish()))
        return 1;

    const QString iconPath = out.filePath(QStringLiteral("app_icon.png"));
    if (!FingerArtwork::appIcon(kIconSide).save(iconPath, "PNG")) {
        std::fprintf(stderr, "fpverify_artwork: cannot write %s\n", qPrintable(iconPath));
        return 1;
    }
    return 0;
}
