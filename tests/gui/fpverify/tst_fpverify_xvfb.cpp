// Smoke test on a real X server: the fpverify program under Xvfb, with the Chinese font the setup
// installs. Saves screenshots of the window and of an outcome box as test artefacts
// (fpverify-window.png, fpverify-outcome-box.png).

#include "FpverifyProcess.h"
#include "PrintSideDouble.h"
#include "PrivateNamespace.h"
#include "XvfbServer.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QScreen>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const QString kStatusFile = QStringLiteral("/tmp/.vrkt7xsmtmp.conf");

// The part of the screen that is not the black root window.
QRect drawnArea(const QImage& screen)
{
    int left = screen.width(), top = screen.height(), right = -1, bottom = -1;
    for (int y = 0; y < screen.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            if ((line[x] & 0xffffff) == 0)
                continue;
            left = qMin(left, x);
            right = qMax(right, x);
            top = qMin(top, y);
            bottom = qMax(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

QImage grabScreen()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

int darkPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 100)
                ++count;
        }
    }
    return count;
}

bool saveArtefact(const QImage& image, const QString& name)
{
    const QString dir = qEnvironmentVariable("VRKT_ARTIFACTS_DIR", QStringLiteral(VRKT_SOURCE_DIR "/build/artifacts"));
    return QDir().mkpath(dir) && image.save(QDir(dir).filePath(name), "PNG");
}

} // namespace

class TestFpverifyOnX : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowAndOutcomeBox();
};

void TestFpverifyOnX::initTestCase()
{
    QVERIFY2(inPrivateNamespace(), "run through tests/fixtures/in-namespace.sh (ctest does)");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty(),
        "no font with Chinese glyphs: scripts/setup.sh installs fonts-wqy-microhei");
    QFile::remove(kStatusFile);
}

void TestFpverifyOnX::windowAndOutcomeBox()
{
    FpverifyProcess program(QStringLiteral("start://office?jobid=17&time_val=60"));
    QVERIFY(program.start());

    // No window manager: the window appears undecorated, at its form's size.
    QRect window;
    QTRY_VERIFY_WITH_TIMEOUT((window = drawnArea(grabScreen())).width() >= 400, 20000);
    QCOMPARE(window.size(), QSize(400, 300));

    // Let the countdown and the finger move, then compare the finger's part of the window.
    QTest::qWait(1500);
    const QImage first = grabScreen().copy(window);
    QTest::qWait(350);
    const QImage second = grabScreen().copy(window);
    const QRect finger(150, 20, 100, 100);
    QVERIFY2(first.copy(finger) != second.copy(finger), "the finger is not animated");
    QVERIFY(saveArtefact(second, QStringLiteral("fpverify-window.png")));
    // Text below the finger: the explanation, the time left and the button.
    QVERIFY(darkPixels(second.copy(0, 130, 400, 170)) > 300);
    QVERIFY(program.running());

    // The print side reports a failed verification: the window goes, the warning comes.
    PrintSideDouble::writeResult(kStatusFile, 17, 2);
    QRect box;
    QTRY_VERIFY_WITH_TIMEOUT((box = drawnArea(grabScreen())).isValid() && box != window, 10000);
    QTest::qWait(300);
    box = drawnArea(grabScreen());
    QVERIFY(box.width() < 400 || box.height() < 300);
    const QImage boxImage = grabScreen().copy(box);
    QVERIFY(saveArtefact(boxImage, QStringLiteral("fpverify-outcome-box.png")));
    QVERIFY(darkPixels(boxImage) > 100);
    QVERIFY(program.running());

    program.interrupt();
    QVERIFY(program.waitForEnd(15000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

int main(int argc, char* argv[])
{
    XvfbServer xvfb;
    if (!xvfb.start("800x600x24")) {
        std::fprintf(stderr, "cannot start Xvfb (package xvfb, installed by scripts/setup.sh)\n");
        xvfb.stop();
        return 1;
    }
    qputenv("DISPLAY", xvfb.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status;
    {
        QApplication app(argc, argv);
        TestFpverifyOnX test;
        status = QTest::qExec(&test, argc, argv);
    }
    xvfb.stop();
    return status;
}

#include "tst_fpverify_xvfb.moc"
