// Draws fpmanager's pictures at build time: fpmanager_artwork OUTPUT_DIR writes FingerManage.ico
// (the application icon at 16, 32, 48, 64 and 128 pixels) and logo.bmp (the 120 × 128 logo of the
// About window) there.
#include "IcoWriter.h"
#include "ManagerArtwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fpmanager_artwork OUTPUT_DIR\n");
        return 2;
    }
    // The ico encoder is a plugin: the application object lets Qt find it.
    QCoreApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")))
        return 1;

    QList<QImage> icons;
    for (int side : { 16, 32, 48, 64, 128 })
        icons.append(ManagerArtwork::applicationIcon(side));
    const QByteArray ico = IcoWriter::encode(icons);
    const QString icoPath = out.filePath(QStringLiteral("FingerManage.ico"));
    QFile icoFile(icoPath);
    if (ico.isEmpty() || !icoFile.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || icoFile.write(ico) != ico.size()) {
        std::fprintf(stderr, "fpmanager_artwork: cannot write %s\n", qPrintable(icoPath));
        return 1;
    }
    icoFile.close();

    const QString logoPath = out.filePath(QStringLiteral("logo.bmp"));
    if (!ManagerArtwork::aboutLogo(120, 128).save(logoPath, "BMP")) {
        std::fprintf(stderr, "fpmanager_artwork: cannot write %s\n", qPrintable(logoPath));
        return 1;
    }
    return 0;
}
