// vrkt7x-demo-screenshot: saves the X display's screen (or one area of it) as a PNG file, for the
// demo's pictures of fpmanager under Xvfb.
//
//   vrkt7x-demo-screenshot FILE.png [X Y WIDTH HEIGHT]

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 6) {
        std::fprintf(stderr, "usage: vrkt7x-demo-screenshot FILE.png [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    int area[4] = { 0, 0, -1, -1 };
    for (int i = 0; i < 4 && args.size() == 6; ++i)
        area[i] = args.at(i + 2).toInt();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QImage image = screen->grabWindow(0, area[0], area[1], area[2], area[3]).toImage();
    if (image.isNull() || !image.save(args.at(1), "PNG")) {
        std::fprintf(stderr, "vrkt7x-demo-screenshot: cannot save %s\n", qPrintable(args.at(1)));
        return 1;
    }
    return 0;
}
