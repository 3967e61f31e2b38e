// Two simulated USB printers and two network printers at once: each answers its own frames from
// its own state, whichever way it is reached.

#include "Frames.h"
#include "SimulatedPrinters.h"

#include <QTcpSocket>
#include <QtTest>
#include <libusb.h>

using fpsim::ControlClient;
using fpsim::SimulatedNetPrinter;

namespace
{

QByteArray netExchange(const QString& address, const QByteArray& f, int want = 8)
{
    QTcpSocket s;
    s.connectToHost(address, 10001);
    if (!s.waitForConnected(3000))
        return "no connection";
    s.write(f);
    QByteArray got;
    while (got.size() < want && s.waitForReadyRead(2000))
        got += s.readAll();
    return got;
}

libusb_device_handle* openBySerial(libusb_context* ctx, const QByteArray& serial)
{
    libusb_device** list = nullptr;
    libusb_device_handle* found = nullptr;
    const ssize_t n = libusb_get_device_list(ctx, &list);
    for (ssize_t i = 0; i < n && !found; ++i) {
        libusb_device_descriptor dd;
        libusb_device_handle* h = nullptr;
        if (libusb_get_device_descriptor(list[i], &dd) != 0 || libusb_open(list[i], &h) != 0)
            continue;
        unsigned char text[64] = {};
        if (libusb_get_string_descriptor_ascii(h, dd.iSerialNumber, text, sizeof text) > 0
            && serial == reinterpret_cast<char*>(text))
            found = h;
        else
            libusb_close(h);
    }
    libusb_free_device_list(list, 1);
    if (found) {
        libusb_detach_kernel_driver(found, 0);
        libusb_claim_interface(found, 0);
    }
    return found;
}

QByteArray usbExchange(libusb_device_handle* h, const QByteArray& f)
{
    if (libusb_control_transfer(h, 0x41, 0x4D, 0x3C2B, 0,
            reinterpret_cast<unsigned char*>(const_cast<char*>(f.constData())), quint16(f.size()), 5000)
        != f.size())
        return "write failed";
    unsigned char buf[1024];
    const int n = libusb_control_transfer(h, 0xC1, 0, 0, 0, buf, sizeof buf, 5000);
    return n < 0 ? QByteArray("read failed") : QByteArray(reinterpret_cast<char*>(buf), n);
}

} // namespace

class TestFpsimSideBySide : public QObject
{
    Q_OBJECT

private slots:
    void fourPrinters();
};

void TestFpsimSideBySide::fourPrinters()
{
    SimulatedNetPrinter net1, net2;
    QVERIFY2(net1.start("127.0.0.2"), qPrintable(net1.errorString()));
    QVERIFY2(net2.start("127.0.0.3"), qPrintable(net2.errorString()));
    ControlClient usb1, usb2;
    QVERIFY(usb1.connectTo(fpsim::usbControlSocket("SIM0001")));
    QVERIFY(usb2.connectTo(fpsim::usbControlSocket("SIM0002")));
    ControlClient* controls[4] = { &usb1, &usb2, &net1.control(), &net2.control() };
    const QByteArray users[4] = { "u-one", "u-two", "n-one", "n-two" };
    for (int i = 0; i < 4; ++i) {
        QVERIFY(controls[i]->addUser(users[i]));
        QVERIFY(controls[i]->setState(i % 2));
        QVERIFY(controls[i]->pressFingerAtNextWait(users[i], 20));
    }

    libusb_context* ctx = nullptr;
    QCOMPARE(libusb_init(&ctx), 0);
    libusb_device_handle* h1 = openBySerial(ctx, "SIM0001");
    libusb_device_handle* h2 = openBySerial(ctx, "SIM0002");
    QVERIFY(h1 && h2);
    auto ask = [&](int i, const QByteArray& f, int want = 8) {
        if (i == 0)
            return usbExchange(h1, f);
        if (i == 1)
            return usbExchange(h2, f);
        return netExchange(i == 2 ? net1.address() : net2.address(), f, want);
    };
    for (int i = 0; i < 4; ++i) {
        const QByteArray state = ask(i, Frames::command("FING", QByteArray(), 0).replace(4, 1, "R"));
        QCOMPARE(int(state.at(7)), i % 2);
        for (int j = 0; j < 4; ++j)
            QCOMPARE(int(ask(i, Frames::command("CHCK", users[j])).at(7)), i == j ? 1 : 0);
        QCOMPARE(ask(i, Frames::command("DISC")).at(4), 'A');
    }
    for (int i = 0; i < 4; ++i) {
        QTRY_COMPARE(int(ask(i, Frames::command("STUS")).at(7)), 1);
        const QByteArray result = ask(i, Frames::command("GETR"), 42);
        QCOMPARE(result.size(), 42);
        QCOMPARE(result.mid(8, users[i].size() + 1), users[i] + '\0');
        QCOMPARE(controls[i]->receivedCodes().count("CHCK"), 4);
    }
    libusb_release_interface(h1, 0);
    libusb_release_interface(h2, 0);
    libusb_close(h1);
    libusb_close(h2);
    libusb_exit(ctx);
}

FPSIM_USB_TEST_MAIN(TestFpsimSideBySide, "SIM0001", "SIM0002")
#include "tst_fpsim_side_by_side.moc"
