// Discovery as the printer dialog sees it: cups-deviced runs CUPS's usb backend and the backend
// at the same moment against the simulated USB printer, and every "lpinfo -v" must list both the
// printer's own usb:// device and the same printer behind "vrkt7x:", named alike — also when the
// printer takes its time to answer its device ID, which widens the window in which the usb
// backend holds its interface.

#include "PrintPathRig.h"

#include <QtTest>

class PrintDiscoveryTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void lpinfo_data();
    void lpinfo();

private:
    PrintPathRig m_rig;
};

void PrintDiscoveryTest::initTestCase()
{
    if (!fpsim::runningUnderUsbSimulation())
        QSKIP("not running under fpsim usb");
    QVERIFY2(m_rig.start(), qPrintable(m_rig.error()));
}

void PrintDiscoveryTest::lpinfo_data()
{
    QTest::addColumn<int>("deviceIdDelayMs");
    QTest::addColumn<int>("runs");
    QTest::newRow("device id at once") << 0 << 4;
    QTest::newRow("device id in 150 ms") << 150 << 4;
}

namespace
{

// "lpinfo -l -v": each device as "Device: uri = URI" and its "key = value" lines.
QMap<QByteArray, QMap<QByteArray, QByteArray>> devices(const QByteArray& listing)
{
    QMap<QByteArray, QMap<QByteArray, QByteArray>> found;
    QByteArray uri;
    for (const QByteArray& line : listing.split('\n')) {
        const int equals = line.indexOf(" = ");
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 3);
        if (key == "Device: uri")
            uri = value;
        else
            found[uri][key] = value;
    }
    return found;
}

} // namespace

void PrintDiscoveryTest::lpinfo()
{
    QFETCH(int, deviceIdDelayMs);
    QFETCH(int, runs);
    QVERIFY(m_rig.usbPrinter().command(QStringLiteral("device-id-delay %1").arg(deviceIdDelayMs)));
    const QByteArray own = QByteArray("usb://Simulated/ZPH6100RMX?serial=") + PrintPathRig::kUsbSerial;
    const QByteArray ours = "vrkt7x:" + own;
    int both = 0;
    QElapsedTimer timer;
    timer.start();
    for (int run = 0; run < runs; ++run) {
        int exitCode = -1;
        const auto listed = devices(m_rig.cups().runClient(QStringLiteral("lpinfo"), { "-l", "-v" }, &exitCode));
        QCOMPARE(exitCode, 0);
        qInfo("run %d: %s %s", run + 1, listed.contains(own) ? "usb" : "-", listed.contains(ours) ? "vrkt7x" : "-");
        if (!listed.contains(own) || !listed.contains(ours))
            continue;
        ++both;
        QCOMPARE(listed[ours].value("class"), QByteArray("direct"));
        QCOMPARE(listed[ours].value("make-and-model"), listed[own].value("make-and-model"));
        QCOMPARE(listed[ours].value("info"), listed[own].value("info") + " (fingerprint authentication)");
        QCOMPARE(listed[ours].value("device-id"), listed[own].value("device-id"));
    }
    qInfo("both entries in %d of %d runs, %lld ms per run", both, runs, timer.elapsed() / runs);
    QCOMPARE(both, runs);
    QVERIFY(m_rig.usbPrinter().command(QStringLiteral("device-id-delay 0")));
}

FPSIM_USB_TEST_MAIN(PrintDiscoveryTest, PrintPathRig::kUsbSerial)
#include "tst_print_discovery.moc"
