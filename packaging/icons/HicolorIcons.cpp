// vrkt7x_hicolor_icons ICON_FILE OUTPUT_DIR NAME
//
// Unpacks a multi-size icon file (the .ico that fpmanager_artwork draws for fpmanager) into the
// layout of the desktop's hicolor icon theme: every square picture of N × N pixels becomes
// OUTPUT_DIR/hicolor/NxN/apps/NAME.png. The theme needs at least the 48 × 48 size; without it,
// or with a picture that is not square, nothing is accepted.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QMap>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: vrkt7x_hicolor_icons ICON_FILE OUTPUT_DIR NAME\n");
        return 2;
    }
    // Qt finds its ico reader plugin through the application object.
    QCoreApplication app(argc, argv);
    const QString iconFile = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    const QString name = QString::fromLocal8Bit(argv[3]);

    QImageReader reader(iconFile);
    QMap<int, QImage> bySide;
    for (int i = 0; i < qMax(1, reader.imageCount()); ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (image.isNull()) {
            std::fprintf(stderr, "vrkt7x_hicolor_icons: %s: picture %d: %s\n", qPrintable(iconFile), i,
                qPrintable(reader.errorString()));
            return 1;
        }
        if (image.width() != image.height()) {
            std::fprintf(stderr, "vrkt7x_hicolor_icons: %s: picture %d is %d x %d, not square\n", qPrintable(iconFile),
                i, image.width(), image.height());
            return 1;
        }
        bySide.insert(image.width(), image);
    }
    if (!bySide.contains(48)) {
        std::fprintf(stderr, "vrkt7x_hicolor_icons: %s has no 48 x 48 picture\n", qPrintable(iconFile));
        return 1;
    }

    for (auto it = bySide.cbegin(); it != bySide.cend(); ++it) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(it.key());
        const QString path = out.filePath(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
        if (!out.mkpath(folder) || !it.value().convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
            std::fprintf(stderr, "vrkt7x_hicolor_icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
