// The transport base: writeThenRead's marker hunting and time bounds, URI recording, and the choice
// and resolution of transports by DeviceManager.

#include "FakeClock.h"
#include "ScriptedDeviceIO.h"
#include "StderrCapture.h"
#include "transport/DeviceManager.h"

#include <QtTest>

class DeviceIOTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writeThenRead_data();
    void writeThenRead();
    void writeThenReadGivesUpAfterSixSeconds();
    void shortWriteIsReturnedUnread();
    void resolveUrlBounds();
    void deviceType_data();
    void deviceType();
    void resolvesOncePerChangedUri();
};

// Each reply is fed one read at a time: writeThenRead reads one byte at a time while hunting.
void DeviceIOTest::writeThenRead_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<int>("rdSize");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QList<int>>("sleepsMs");

    // 900 ms after the write; 100 ms after a first 'M', before the body and at the end of every
    // attempt that found nothing.
    const QList<int> fiftyAttempts = QList<int> { 900 } + QList<int>(50, 100);
    QTest::newRow("marker at once") << QList<QByteArray> { "M", "<", "body" } << 6 << 0 << QByteArray("body")
                                    << QList<int> { 900, 100, 100 };
    QTest::newRow("stray bytes then doubled M") << QList<QByteArray> { "x", "y", "M", "M", "<",
        "body" } << 6 << 0 << QByteArray("body") << QList<int> { 900, 100, 100, 100, 100, 100, 100 };
    QTest::newRow("body cut short") << QList<QByteArray> { "M", "<", "bo" } << 6 << -1 << QByteArray()
                                    << QList<int> { 900, 100, 100 };
    QTest::newRow("no reply") << QList<QByteArray> {} << 6 << -1 << QByteArray() << fiftyAttempts;
    QTest::newRow("no reply, marker only asked") << QList<QByteArray> {} << 2 << 0 << QByteArray() << fiftyAttempts;
}

void DeviceIOTest::writeThenRead()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(int, rdSize);
    QFETCH(int, expected);
    QFETCH(QByteArray, body);
    QFETCH(QList<int>, sleepsMs);

    FakeClock clock;
    ScriptedDeviceIO io(1);
    for (const QByteArray& r : reads)
        io.queueRead(r);
    char request[] = "REQ";
    QByteArray reply(rdSize, '\0');
    StderrCapture capture;
    QCOMPARE(io.writeThenRead(request, 3, reply.data(), rdSize), expected);
    if (!body.isEmpty()) {
        QCOMPARE(reply.left(2), QByteArray("M<"));
        QCOMPARE(reply.mid(2), body);
    }
    QCOMPARE(capture.lines().contains("read wrong"), expected == -1);
    QCOMPARE(clock.sleepsMs(), sleepsMs);
}

void DeviceIOTest::writeThenReadGivesUpAfterSixSeconds()
{
    FakeClock clock;
    ScriptedDeviceIO io(2);
    io.ifdelay = 0;
    // Each silent read takes a second of the printer's time.
    io.onRead = [&](int) { clock.advanceUs(1000000); };
    char request[] = "REQ";
    char reply[8];
    StderrCapture capture;
    QCOMPARE(io.writeThenRead(request, 3, reply, 8), -1);
    QCOMPARE(io.readSizes.size(), 6);
    QVERIFY(capture.lines().contains("usb try 7 times timeout"));
    QVERIFY(clock.sleeps().isEmpty()); // ifdelay 0: no pauses at all
}

void DeviceIOTest::shortWriteIsReturnedUnread()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    io.failWrites(1, 2);
    io.queueRead("M");
    char request[] = "REQ";
    char reply[8];
    QCOMPARE(io.writeThenRead(request, 3, reply, 8), 2);
    QCOMPARE(io.readSizes.size(), 0);
}

void DeviceIOTest::resolveUrlBounds()
{
    ScriptedDeviceIO io(1);
    QCOMPARE(io.resolveUrl("usb://Maker/ZPH6100RMX?serial=A1"), 0);
    QCOMPARE(QByteArray(io.device_uri), QByteArray("usb://Maker/ZPH6100RMX?serial=A1"));
    QCOMPARE(io.resolveUrl(nullptr), -1);
    const QByteArray longest(255, 'u');
    QCOMPARE(io.resolveUrl(longest.constData()), 0);
    QCOMPARE(QByteArray(io.device_uri), longest);
    const QByteArray tooLong(256, 'v');
    QCOMPARE(io.resolveUrl(tooLong.constData()), -1);
    QCOMPARE(QByteArray(io.device_uri), longest); // left as it was
}

void DeviceIOTest::deviceType_data()
{
    QTest::addColumn<QByteArray>("uri");
    QTest::addColumn<int>("type");
    QTest::newRow("usb") << QByteArray("usb://Maker/ZPH6100RMX?serial=1") << 1;
    QTest::newRow("exactly the scheme") << QByteArray("usb://") << 1;
    QTest::newRow("upper case scheme") << QByteArray("USB://Maker/Model") << 2;
    QTest::newRow("single slash") << QByteArray("usb:/Maker/Model") << 2;
    QTest::newRow("socket") << QByteArray("socket://192.168.1.20:9100") << 2;
    QTest::newRow("dnssd") << QByteArray("dnssd://Printer._pdl-datastream._tcp.local/") << 2;
    QTest::newRow("empty") << QByteArray("") << 2;
}

void DeviceIOTest::deviceType()
{
    QFETCH(QByteArray, uri);
    QFETCH(int, type);
    QCOMPARE(DeviceManager::getDeviceType(uri.constData()), type);
}

void DeviceIOTest::resolvesOncePerChangedUri()
{
    auto* usb = new ScriptedDeviceIO(1);
    auto* net = new ScriptedDeviceIO(2);
    DeviceManager manager(usb, net);
    Printer_struct first {};
    copyField(first.deviceUri, "usb://Maker/ZPH6100RMX?serial=A1");
    Printer_struct second {};
    copyField(second.deviceUri, "socket://127.0.0.2");

    QCOMPARE(manager.getDevice(&first), usb);
    QCOMPARE(manager.getDevice(&first), usb);
    QCOMPARE(usb->resolves, 1);
    QCOMPARE(manager.getDevice(&second), net);
    QCOMPARE(manager.getDevice(&first), usb);
    QCOMPARE(usb->resolves, 2);
    QCOMPARE(net->resolves, 1);
    QCOMPARE(QByteArray(usb->device_uri), QByteArray(first.deviceUri));
}

QTEST_GUILESS_MAIN(DeviceIOTest)
#include "tst_deviceio.moc"
