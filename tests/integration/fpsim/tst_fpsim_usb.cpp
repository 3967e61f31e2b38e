// Two simulated USB printers, driven by plain libusb the way a printer driver would.

#include "Frames.h"
#include "SimulatedPrinters.h"

#include <QtTest>
#include <libusb.h>

using fpsim::ControlClient;

namespace
{

// An open, claimed device found by its serial number.
class Printer
{
public:
    ~Printer() { close(); }

    bool open(libusb_context* ctx, const QByteArray& serial, bool detach = true)
    {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(ctx, &list);
        for (ssize_t i = 0; i < n && !handle; ++i) {
            libusb_device_descriptor dd;
            if (libusb_get_device_descriptor(list[i], &dd) != 0 || dd.iSerialNumber == 0)
                continue;
            libusb_device_handle* h = nullptr;
            if (libusb_open(list[i], &h) != 0)
                continue;
            unsigned char text[256] = {};
            const int len = libusb_get_string_descriptor_ascii(h, dd.iSerialNumber, text, sizeof text);
            if (len > 0 && QByteArray(reinterpret_cast<char*>(text), len) == serial)
                handle = h;
            else
                libusb_close(h);
        }
        libusb_free_device_list(list, 1);
        if (!handle)
            return false;
        if (detach && libusb_kernel_driver_active(handle, 0) == 1 && libusb_detach_kernel_driver(handle, 0) != 0)
            return false;
        claimed = libusb_claim_interface(handle, 0) == 0;
        return !detach || claimed;
    }
    void close()
    {
        if (!handle)
            return;
        if (claimed)
            libusb_release_interface(handle, 0);
        libusb_attach_kernel_driver(handle, 0);
        libusb_close(handle);
        handle = nullptr;
        claimed = false;
    }
    int send(const QByteArray& frame)
    {
        return libusb_control_transfer(handle, 0x41, 0x4D, 0x3C2B, 0,
            reinterpret_cast<unsigned char*>(const_cast<char*>(frame.constData())), quint16(frame.size()), 5000);
    }
    // One control IN of 1024 bytes; the bytes, or "ERR<code>".
    QByteArray receive(unsigned timeout = 5000)
    {
        unsigned char buf[1024];
        const int n = libusb_control_transfer(handle, 0xC1, 0, 0, 0, buf, sizeof buf, timeout);
        if (n < 0)
            return "ERR" + QByteArray::number(n);
        return QByteArray(reinterpret_cast<char*>(buf), n);
    }
    QByteArray exchange(const QByteArray& frame)
    {
        const int n = send(frame);
        if (n != frame.size())
            return "ERR" + QByteArray::number(n);
        return receive();
    }
    int bulkWrite(const QByteArray& data)
    {
        int done = 0;
        const int rc = libusb_bulk_transfer(handle, 0x01,
            reinterpret_cast<unsigned char*>(const_cast<char*>(data.constData())), int(data.size()), &done, 5000);
        return rc < 0 ? rc : done;
    }
    QByteArray bulkRead(int length, unsigned timeout = 5000, int* rc = nullptr)
    {
        QByteArray buf(length, '\0');
        int got = 0;
        const int r
            = libusb_bulk_transfer(handle, 0x82, reinterpret_cast<unsigned char*>(buf.data()), length, &got, timeout);
        if (rc)
            *rc = r;
        return buf.left(got);
    }

    libusb_device_handle* handle = nullptr;
    bool claimed = false;
};

} // namespace

class TestFpsimUsb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void findBySerialWithDescriptors();
    void kernelDriverDetachAndReattach();
    void framesByControlTransfers_data();
    void framesByControlTransfers();
    void deviceId();
    void verificationWithScriptedFinger();
    void importAndExportByBulk();
    void faultsOverUsb_data();
    void faultsOverUsb();
    void stalledBulkTimesOut();
    void unplugAndPlug();
    void twoPrintersSideBySide();
    void goneClientLetsGo_data();
    void goneClientLetsGo();

private:
    libusb_context* m_ctx = nullptr;
    ControlClient m_c1;
    ControlClient m_c2;
    Printer m_p;
};

void TestFpsimUsb::initTestCase()
{
    QVERIFY(fpsim::runningUnderUsbSimulation());
    QVERIFY(m_c1.connectTo(fpsim::usbControlSocket("SIM0001")));
    QVERIFY(m_c2.connectTo(fpsim::usbControlSocket("SIM0002")));
    QCOMPARE(fpsim::usbControlSocket(), fpsim::usbControlSocket("SIM0001"));
    QCOMPARE(libusb_init(&m_ctx), 0);
}

void TestFpsimUsb::cleanupTestCase()
{
    m_p.close();
    libusb_exit(m_ctx);
}

void TestFpsimUsb::init()
{
    for (ControlClient* c : { &m_c1, &m_c2 }) {
        QVERIFY(c->plug());
        QVERIFY(c->clearFaults());
        QVERIFY(c->clearStore());
        QVERIFY(c->setState(0));
        QVERIFY(c->clearFrameLog());
    }
    QVERIFY(m_c1.addUser("alice"));
    QVERIFY(m_c2.addUser("bob"));
}

void TestFpsimUsb::cleanup() { m_p.close(); }

void TestFpsimUsb::findBySerialWithDescriptors()
{
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(m_ctx, &list);
    QStringList serials;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor dd;
        QCOMPARE(libusb_get_device_descriptor(list[i], &dd), 0);
        QCOMPARE(dd.idVendor, fpsim::UsbVendorId);
        QCOMPARE(dd.idProduct, fpsim::UsbProductId);
        libusb_config_descriptor* cfg = nullptr;
        QCOMPARE(libusb_get_config_descriptor(list[i], 0, &cfg), 0);
        const libusb_interface_descriptor& alt = cfg->interface[0].altsetting[0];
        QCOMPARE(int(alt.bInterfaceClass), 7);
        QCOMPARE(int(alt.bNumEndpoints), 2);
        QCOMPARE(int(alt.endpoint[0].bEndpointAddress), 0x01);
        QCOMPARE(int(alt.endpoint[1].bEndpointAddress), 0x82);
        QCOMPARE(alt.endpoint[1].bmAttributes & 3, 2);
        libusb_free_config_descriptor(cfg);
        libusb_device_handle* h = nullptr;
        QCOMPARE(libusb_open(list[i], &h), 0);
        unsigned char text[256] = {};
        QVERIFY(libusb_get_string_descriptor_ascii(h, dd.iSerialNumber, text, sizeof text) > 0);
        serials << QString::fromLatin1(reinterpret_cast<char*>(text));
        QVERIFY(libusb_get_string_descriptor_ascii(h, dd.iProduct, text, sizeof text) > 0);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(text)), QByteArray("ZPH6100RMX Series"));
        int config = -1;
        QCOMPARE(libusb_get_configuration(h, &config), 0);
        QCOMPARE(config, 1);
        QCOMPARE(libusb_set_configuration(h, 1), LIBUSB_ERROR_BUSY); // usblp holds interface 0
        libusb_close(h);
    }
    libusb_free_device_list(list, 1);
    serials.sort();
    QCOMPARE(serials, (QStringList { "SIM0001", "SIM0002" }));
}

void TestFpsimUsb::kernelDriverDetachAndReattach()
{
    QVERIFY(m_p.open(m_ctx, "SIM0001", false));
    QCOMPARE(libusb_kernel_driver_active(m_p.handle, 0), 1);
    QCOMPARE(libusb_claim_interface(m_p.handle, 0), int(LIBUSB_ERROR_BUSY));
    QCOMPARE(libusb_detach_kernel_driver(m_p.handle, 0), 0);
    QCOMPARE(libusb_kernel_driver_active(m_p.handle, 0), 0);
    QCOMPARE(libusb_claim_interface(m_p.handle, 0), 0);
    QCOMPARE(libusb_attach_kernel_driver(m_p.handle, 0), int(LIBUSB_ERROR_BUSY)); // still claimed
    QCOMPARE(libusb_release_interface(m_p.handle, 0), 0);
    QCOMPARE(libusb_attach_kernel_driver(m_p.handle, 0), 0);
    QCOMPARE(libusb_kernel_driver_active(m_p.handle, 0), 1);
    // Bulk transfers need the interface claimed.
    int rc = 0;
    m_p.bulkRead(8, 200, &rc);
    QVERIFY(rc != 0);
}

void TestFpsimUsb::framesByControlTransfers_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("FING read") << Frames::header("FING", 'R') << Frames::statusRecord('A', 0, 0);
    QTest::newRow("FING write on") << Frames::header("FING", 'W', 0, 0, 1) << Frames::statusRecord('A', 0, 1);
    QTest::newRow("CHCK alice") << Frames::header("CHCK", 5) + "alice" << Frames::statusRecord('A', 0, 1);
    QTest::newRow("CHCK bob") << Frames::header("CHCK", 3) + "bob" << Frames::statusRecord('A', 0, 0);
    QTest::newRow("DELE unknown") << Frames::header("DELE", 3) + "bob" << Frames::statusRecord('E', 0, 0);
    QTest::newRow("cut payload") << Frames::header("DELE", 9) + "alice" << Frames::statusRecord('E', 0, 0);
    QTest::newRow("unknown code") << Frames::header("WHAT") << Frames::statusRecord('E', 0, 0);
    QTest::newRow("ADDS out of order") << Frames::header("ADDS") << Frames::statusRecord('E', 0, 0);
}

void TestFpsimUsb::framesByControlTransfers()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, answer);
    QVERIFY(m_p.open(m_ctx, "SIM0001"));
    QCOMPARE(m_p.exchange(frame), answer);
    // Nothing more queued: an empty read.
    QCOMPARE(m_p.receive(), QByteArray());
    QCOMPARE(m_c1.users().size(), 1);
    QCOMPARE(m_c1.receivedCodes(), QStringList { QString::fromLatin1(frame.left(4)) });
}

void TestFpsimUsb::deviceId()
{
    QVERIFY(m_p.open(m_ctx, "SIM0002"));
    unsigned char buf[1024] = {};
    const int n = libusb_control_transfer(m_p.handle, 0xA1, 0, 1, 0, buf, sizeof buf, 5000);
    QVERIFY(n > 2);
    const int length = buf[0] * 256 + buf[1];
    QCOMPARE(length, n); // IEEE 1284: the length counts its own two bytes
    const QByteArray id(reinterpret_cast<char*>(buf + 2), n - 2);
    QVERIFY2(id.contains("MFG:Simulated;CMD:PJL;MDL:ZPH6100RMX;"), id.constData());
    QVERIFY(id.contains("SN:SIM0002;"));
}

void TestFpsimUsb::verificationWithScriptedFinger()
{
    QVERIFY(m_p.open(m_ctx, "SIM0001"));
    QVERIFY(m_c1.pressFingerAtNextWait("alice", 50));
    QCOMPARE(m_p.exchange(Frames::header("DISC")), Frames::statusRecord('A', 0, 0));
    QCOMPARE(m_p.exchange(Frames::header("STUS")), Frames::statusRecord('A', 0, 0));
    QTRY_COMPARE(m_p.exchange(Frames::header("STUS")), Frames::statusRecord('A', 0, 1));
    // The result arrives in the same read as its status record.
    const QByteArray getr = m_p.exchange(Frames::header("GETR"));
    QCOMPARE(getr.size(), 42);
    QCOMPARE(getr.left(8), Frames::statusRecord('A', 34, 1));
    QCOMPARE(getr.mid(8, 6), QByteArray("alice\0", 6));
    QCOMPARE(getr.mid(40, 2), QByteArray("\x01\x00", 2));
    // Enrolment: two presses of the same new finger.
    QCOMPARE(m_p.exchange(Frames::header("ADDF", 5) + "carol"), Frames::statusRecord('A', 0, 0));
    QVERIFY(m_c1.pressFinger("carol"));
    QCOMPARE(m_p.exchange(Frames::header("STUS")), Frames::statusRecord('A', 0, 1));
    QCOMPARE(m_p.exchange(Frames::header("ADDS")), Frames::statusRecord('A', 0, 0));
    QVERIFY(m_c1.pressFinger("carol"));
    QCOMPARE(m_p.exchange(Frames::header("STUS")), Frames::statusRecord('A', 0, 1));
    QCOMPARE(m_p.exchange(Frames::header("GETR")).mid(8, 6), QByteArray("carol\0", 6));
    QCOMPARE(m_c1.users().size(), 2);
}

void TestFpsimUsb::importAndExportByBulk()
{
    QVERIFY(m_p.open(m_ctx, "SIM0002"));
    const int count = 20; // 10928 bytes: three pieces of at most 4096
    QByteArray stream = Frames::header("IMPT", 0, 0, count, 0);
    for (int i = 0; i < count; ++i) {
        QByteArray rec(546, char(i));
        const QByteArray name = "user" + QByteArray::number(i);
        rec.replace(0, 32, name + QByteArray(32 - name.size(), '\0'));
        rec[32] = char(i + 10);
        rec[33] = 0;
        stream += rec;
    }
    QCOMPARE(m_p.exchange(Frames::header("IMPT", 0, 0, count, 0)), Frames::statusRecord('A', 0, 0));
    for (int off = 0; off < stream.size(); off += 4096)
        QCOMPARE(m_p.bulkWrite(stream.mid(off, 4096)), int(stream.mid(off, 4096).size()));
    QTRY_COMPARE(m_p.exchange(Frames::header("STUS")), Frames::statusRecord('A', 0, 1));
    QCOMPARE(m_c2.users().size(), count + 1);

    QCOMPARE(m_p.exchange(Frames::header("EXPT")), Frames::statusRecord('A', count + 1, 0));
    QCOMPARE(m_p.bulkRead(8), QByteArray("EXPTA", 5) + char(count + 1) + QByteArray(2, '\0'));
    QByteArray records;
    while (records.size() < (count + 1) * 546) {
        const QByteArray piece = m_p.bulkRead(4096);
        QVERIFY(!piece.isEmpty());
        QVERIFY(piece.size() <= 4096);
        records += piece;
    }
    QCOMPARE(records.size(), (count + 1) * 546);
    QCOMPARE(records.left(3), QByteArray("bob"));
    QCOMPARE(records.mid(546, 5), QByteArray("user0"));
    QCOMPARE(records.mid(546 + 34, 512), QByteArray(512, '\0'));
}

void TestFpsimUsb::faultsOverUsb_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QList<QByteArray>>("reads");
    using L = QList<QByteArray>;
    const QByteArray ok = Frames::statusRecord('A', 0, 0);
    QTest::newRow("busy") << "busy" << L { Frames::statusRecord('B', 0, 0), QByteArray() };
    QTest::newRow("refuse") << "refuse" << L { Frames::statusRecord('E', 0, 0) };
    QTest::newRow("not ready twice") << "notready=2"
                                     << L { Frames::statusRecord('N', 0, 0), Frames::statusRecord('N', 0, 0), ok,
                                            QByteArray() };
    QTest::newRow("progress packets") << "progress=2" << L { QByteArray("\x1c-"), QByteArray("\x1c-"), ok };
    QTest::newRow("malformed") << "malformed" << L { QByteArray("STAXA\0\0\0", 8) };
    QTest::newRow("short") << "short=4" << L { QByteArray("STA\0", 4) };
    QTest::newRow("oversize") << "oversize=8" << L { ok + "ZZZZZZZZ" };
    QTest::newRow("delay: the read waits") << "delay=300" << L { ok, QByteArray() };
}

void TestFpsimUsb::faultsOverUsb()
{
    QFETCH(QString, fault);
    QFETCH(QList<QByteArray>, reads);
    QVERIFY(m_p.open(m_ctx, "SIM0001"));
    QVERIFY(m_c1.injectFault(fault + " code=CHCK"));
    QCOMPARE(m_p.send(Frames::header("CHCK", 3) + "zed"), 11);
    QElapsedTimer t;
    t.start();
    for (const QByteArray& expected : reads)
        QCOMPARE(m_p.receive(), expected);
    if (fault.startsWith("delay"))
        QVERIFY(t.elapsed() >= 250);
    // A new frame discards what was still queued.
    QVERIFY(m_c1.injectFault("notready=5 code=FING"));
    QCOMPARE(m_p.exchange(Frames::header("FING", 'R')), Frames::statusRecord('N', 0, 0));
    QCOMPARE(m_p.exchange(Frames::header("FING", 'R')), Frames::statusRecord('A', 0, 0));
}

void TestFpsimUsb::stalledBulkTimesOut()
{
    QVERIFY(m_p.open(m_ctx, "SIM0001"));
    QVERIFY(m_c1.injectFault("stall code=EXPT"));
    QCOMPARE(m_p.exchange(Frames::header("EXPT")), Frames::statusRecord('A', 1, 0));
    int rc = 0;
    QElapsedTimer t;
    t.start();
    QCOMPARE(m_p.bulkRead(8, 400, &rc), QByteArray());
    QCOMPARE(rc, int(LIBUSB_ERROR_TIMEOUT));
    QVERIFY(t.elapsed() >= 350);
    // Lifting the stall lets the export through.
    QVERIFY(m_c1.clearFaults());
    QCOMPARE(m_p.bulkRead(8).left(4), QByteArray("EXPT"));
    QCOMPARE(m_p.bulkRead(4096).size(), 546);
}

void TestFpsimUsb::unplugAndPlug()
{
    QVERIFY(m_p.open(m_ctx, "SIM0001"));
    QVERIFY(m_c1.injectFault("unplug code=DISC"));
    QCOMPARE(m_p.send(Frames::header("DISC")), int(LIBUSB_ERROR_NO_DEVICE));
    QCOMPARE(m_p.receive(), QByteArray("ERR") + QByteArray::number(LIBUSB_ERROR_NO_DEVICE));
    m_p.close();
    QVERIFY(!m_p.open(m_ctx, "SIM0001"));
    QVERIFY(m_c1.plug());
    QTRY_VERIFY(m_p.open(m_ctx, "SIM0001"));
    QCOMPARE(m_p.exchange(Frames::header("CHCK", 5) + "alice"), Frames::statusRecord('A', 0, 1));
}

void TestFpsimUsb::twoPrintersSideBySide()
{
    Printer second;
    QVERIFY(m_p.open(m_ctx, "SIM0001"));
    QVERIFY(second.open(m_ctx, "SIM0002"));
    QCOMPARE(m_p.exchange(Frames::header("FING", 'W', 0, 0, 1)), Frames::statusRecord('A', 0, 1));
    QCOMPARE(second.exchange(Frames::header("FING", 'R')), Frames::statusRecord('A', 0, 0));
    QCOMPARE(m_p.exchange(Frames::header("FING", 'R')), Frames::statusRecord('A', 0, 1));
    QCOMPARE(m_c1.state(), 1);
    QCOMPARE(m_c2.state(), 0);
    QCOMPARE(second.exchange(Frames::header("CHCK", 3) + "bob"), Frames::statusRecord('A', 0, 1));
    QCOMPARE(m_p.exchange(Frames::header("CHCK", 3) + "bob"), Frames::statusRecord('A', 0, 0));
    // A frame to one does not queue an answer at the other.
    QCOMPARE(m_p.send(Frames::header("STUS")), 8);
    QCOMPARE(second.receive(), QByteArray());
    QCOMPARE(m_p.receive(), Frames::statusRecord('A', 0, 0));
}

void TestFpsimUsb::goneClientLetsGo_data()
{
    QTest::addColumn<bool>("killed"); // or it ends on its own, without releasing or closing

    QTest::newRow("killed in a bulk read") << true;
    QTest::newRow("exits holding the interface") << false;
}

void TestFpsimUsb::goneClientLetsGo()
{
    // Another process claims the printer and goes away: its claim ends with it, at once, as the
    // kernel's does when the device node is closed.
    QFETCH(bool, killed);
    QProcess holder;
    holder.start(QStringLiteral(FPSIM_USB_HOLDER), { QStringLiteral("SIM0002"), killed ? "read" : "exit" });
    QVERIFY(holder.waitForReadyRead(5000));
    QCOMPARE(holder.readAll(), QByteArray("claimed\n"));
    QVERIFY(m_p.open(m_ctx, "SIM0002", false));
    QCOMPARE(libusb_claim_interface(m_p.handle, 0), int(LIBUSB_ERROR_BUSY));
    QTest::qWait(200);
    if (killed)
        holder.kill();
    else
        holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(3000));
    QCOMPARE(libusb_claim_interface(m_p.handle, 0), 0);
    m_p.claimed = true;
    QCOMPARE(m_p.exchange(Frames::header("CHCK", 3) + "bob"), Frames::statusRecord('A', 0, 1));
}

FPSIM_USB_TEST_MAIN(TestFpsimUsb, "SIM0001", "SIM0002")
#include "tst_fpsim_usb.moc"
