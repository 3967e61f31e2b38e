// Printer discovery through the exported functions of the built library against a private cupsd.

#include "CupsSandbox.h"
#include "FingerLibrary.h"

#include <QtTest>

namespace
{
constexpr int kSlots = 32;
constexpr int kGuardSlots = 8;

// 32 caller slots followed by guard slots that must stay untouched.
struct Slots {
    QList<QByteArray> names;
    QList<QByteArray> uris;
    QList<char*> namePointers;
    QList<char*> uriPointers;

    Slots()
    {
        for (int i = 0; i < kSlots + kGuardSlots; ++i) {
            names.append(QByteArray(256, '\x7F'));
            uris.append(QByteArray(256, '\x7F'));
        }
        for (int i = 0; i < kSlots + kGuardSlots; ++i) {
            namePointers.append(names[i].data());
            uriPointers.append(uris[i].data());
        }
    }
    QByteArray name(int i) const { return QByteArray(names[i].constData()); }
    QByteArray uri(int i) const { return QByteArray(uris[i].constData()); }
    bool untouched(int i) const { return names[i] == QByteArray(256, '\x7F') && uris[i] == QByteArray(256, '\x7F'); }
};
} // namespace

class DiscoveryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void noSupportedPrinter();
    void listsSupportedUsbQueuesInOrder();
    void queuesThroughTheBackend_data();
    void queuesThroughTheBackend();
    void neverMoreThan32Slots(); // leaves its 40 queues behind

private:
    CupsSandbox m_cups;
    FingerLibrary m_lib;
};

void DiscoveryTest::initTestCase()
{
    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    QVERIFY2(m_lib.load(), qPrintable(m_lib.error()));
}

void DiscoveryTest::noSupportedPrinter()
{
    QVERIFY(m_cups.addQueue("Office", "socket://127.0.0.5:9100", "Other Laser 2000"));
    Slots buffers;
    QCOMPARE(m_lib.GetDeviceConnect(buffers.namePointers.data(), buffers.uriPointers.data()), 0);
    QVERIFY(buffers.untouched(0));
    char uri[256] = "unchanged";
    QVERIFY(!m_lib.IsDeviceConnect(uri));
    QCOMPARE(QByteArray(uri), QByteArray("unchanged"));
    QVERIFY(m_cups.removeQueue("Office"));
}

void DiscoveryTest::listsSupportedUsbQueuesInOrder()
{
    QVERIFY(m_cups.addQueue("A_first", "usb://Maker/ZPH6100RMX?serial=SIM0001", "Maker ZPH6100RMX Series"));
    QVERIFY(m_cups.addQueue("B_lower", "usb://Maker/zph6100rmx?serial=SIM0009", "Maker zph6100rmx Series"));
    QVERIFY(m_cups.addQueue("C_socket", "socket://127.0.0.2:9100", "Maker ZPH6100RMX Series"));
    QVERIFY(m_cups.addQueue("D_second", "usb://Maker/ZPH6100RMX?serial=SIM0002", "Maker ZPH6100RMX PCL"));
    QVERIFY(m_cups.addQueue("E_other", "usb://Maker/Other?serial=SIM0003", "Maker Other Series"));

    Slots buffers;
    // Nothing is plugged in: the printers are listed anyway, without a presence test.
    QCOMPARE(m_lib.GetDeviceConnect(buffers.namePointers.data(), buffers.uriPointers.data()), 2);
    QCOMPARE(buffers.name(0), QByteArray("A_first"));
    QCOMPARE(buffers.uri(0), QByteArray("usb://Maker/ZPH6100RMX?serial=SIM0001"));
    QCOMPARE(buffers.name(1), QByteArray("D_second"));
    QCOMPARE(buffers.uri(1), QByteArray("usb://Maker/ZPH6100RMX?serial=SIM0002"));
    QVERIFY(buffers.untouched(2));

    char uri[256] = "unchanged";
    QVERIFY(!m_lib.IsDeviceConnect(uri)); // listed, but none is on the bus
    for (const char* q : { "A_first", "B_lower", "C_socket", "D_second", "E_other" })
        QVERIFY(m_cups.removeQueue(q));
}

void DiscoveryTest::neverMoreThan32Slots()
{
    for (int i = 0; i < 40; ++i)
        QVERIFY(m_cups.addQueue(QStringLiteral("ZPH_%1").arg(i, 2, 10, QLatin1Char('0')),
            QStringLiteral("usb://Maker/ZPH6100RMX?serial=SIM%1").arg(i, 4, 10, QLatin1Char('0')),
            "Maker ZPH6100RMX Series"));
    Slots buffers;
    QCOMPARE(m_lib.GetDeviceConnect(buffers.namePointers.data(), buffers.uriPointers.data()), 32);
    for (int i = 0; i < kSlots; ++i)
        QVERIFY(buffers.name(i).startsWith("ZPH_"));
    for (int i = kSlots; i < kSlots + kGuardSlots; ++i)
        QVERIFY(buffers.untouched(i));
}

void DiscoveryTest::queuesThroughTheBackend_data()
{
    // A queue switched to the fingerprint backend is listed as the printer inside its URI.
    QTest::addColumn<QString>("deviceUri");
    QTest::addColumn<QByteArray>("listedUri"); // empty: not listed

    QTest::newRow("usb through the backend")
        << "vrkt7x:usb://Maker/ZPH6100RMX?serial=SIM0005" << QByteArray("usb://Maker/ZPH6100RMX?serial=SIM0005");
    QTest::newRow("plain usb") << "usb://Maker/ZPH6100RMX?serial=SIM0006"
                               << QByteArray("usb://Maker/ZPH6100RMX?serial=SIM0006");
    QTest::newRow("network through the backend") << "vrkt7x:socket://192.0.2.7:9100" << QByteArray();
}

void DiscoveryTest::queuesThroughTheBackend()
{
    QFETCH(QString, deviceUri);
    QFETCH(QByteArray, listedUri);
    QVERIFY2(m_cups.addQueue("Switched", deviceUri, "Maker ZPH6100RMX Series"), qPrintable(m_cups.lastError()));
    Slots buffers;
    const int listed = m_lib.GetDeviceConnect(buffers.namePointers.data(), buffers.uriPointers.data());
    QVERIFY(m_cups.removeQueue("Switched"));
    QCOMPARE(listed, listedUri.isEmpty() ? 0 : 1);
    if (!listedUri.isEmpty()) {
        QCOMPARE(buffers.name(0), QByteArray("Switched"));
        QCOMPARE(buffers.uri(0), listedUri);
    }
}

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
