// The USB transport against two simulated USB printers (umockdev, unmodified libusb), with real
// lock files under the private /tmp of the test's namespace and a private cupsd for the printing
// check.

#include "CupsSandbox.h"
#include "FakeClock.h"
#include "SimulatedPrinters.h"
#include "StderrCapture.h"
#include "protocol/FingCmd.h"
#include "transport/UsbIO.h"

#include <QtTest>
#include <atomic>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{
const char kFirst[] = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
const char kSecond[] = "usb://Simulated/ZPH6100RMX?serial=SIM0002";

Printer_struct printer(const char* uri, const char* queue = "")
{
    Printer_struct p;
    memset(&p, 0, sizeof(p));
    copyField(p.deviceUri, uri);
    copyField(p.name, queue);
    return p;
}

QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

ino_t inodeOf(const char* path)
{
    struct stat st;
    return lstat(path, &st) == 0 ? st.st_ino : 0;
}

// A process that holds an exclusive flock on path until it is killed (one process: the shell
// locks its own descriptor and becomes the sleep).
class LockHolder
{
public:
    bool start(const QString& path)
    {
        m_process.start("sh", { "-c", "exec 9>>\"$0\"; flock 9; echo locked; exec sleep 60", path });
        return m_process.waitForReadyRead(5000);
    }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    ~LockHolder() { kill(); }

private:
    QProcess m_process;
};
} // namespace

class UsbIOTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void statusQueryThroughFingCmd();
    void failedWriteResendsTheWholeFrame();
    void twoPrintersSideBySide();
    void presenceAndAddress();
    void secondOpenInOneProcess();
    void refusedWhilePrinting();
    void lockHeldByAnotherProcess_data();
    void lockHeldByAnotherProcess();
    void killedHolderDoesNotBlock();
    void waitsForScanner_data();
    void waitsForScanner();
    void deviceId();
    void closeWhenNotOpen();
    void closeOnAnotherThreadWhileOpening();
    void bulkBothWays();
    void unplugDuringExport();
    void listingProgram();

private:
    CupsSandbox m_cups;
    fpsim::ControlClient m_sim1;
    fpsim::ControlClient m_sim2;
};

void UsbIOTest::initTestCase()
{
    QVERIFY(fpsim::runningUnderUsbSimulation());
    QVERIFY(m_sim1.connectTo(fpsim::usbControlSocket("SIM0001")));
    QVERIFY(m_sim2.connectTo(fpsim::usbControlSocket("SIM0002")));
    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    QVERIFY(m_cups.addQueue("ZPH_USB", kFirst, "Simulated ZPH6100RMX Series"));
}

void UsbIOTest::init()
{
    for (fpsim::ControlClient* sim : { &m_sim1, &m_sim2 }) {
        QVERIFY(sim->plug());
        QVERIFY(sim->clearFaults());
        QVERIFY(sim->clearStore());
    }
    QVERIFY(m_cups.cancelJobs("ZPH_USB"));
}

void UsbIOTest::statusQueryThroughFingCmd()
{
    QVERIFY(m_sim1.setState(1));
    FingCmd cmd;
    char uri[] = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
    cmd.SetFingCmdPrinter(uri);
    QCOMPARE(cmd.m_pDeviceIO->type(), 1);
    QCOMPARE(cmd.GetFingerStatus(), 1);
    QVERIFY(cmd.SetFingerStatus(0));
    QCOMPARE(m_sim1.state(), 0);
    QCOMPARE(m_sim1.receivedCodes(), (QStringList { "FING", "FING" }) + QStringList());
    QCOMPARE(fileContent("/tmp/.vrkt_info_lock"), QByteArray("Device_Uri=\n")); // closed again
}

void UsbIOTest::failedWriteResendsTheWholeFrame()
{
    // The control write of the first frame fails (the printer drops off the bus as it arrives);
    // the printer is back for the next attempt, which must send the frame as it was.
    QVERIFY(m_sim1.setState(1));
    QVERIFY(m_sim1.injectFault("unplug code=FING"));
    FakeClock clock;
    clock.onSleep = [this](int) {
        m_sim1.plug();
        // Plugging in takes effect on the simulated bus a moment after the command.
        Printer_struct first = printer(kFirst);
        for (int i = 0; i < 100 && !UsbIO().isConnected(&first); ++i)
            QThread::msleep(50);
    };
    FingCmd cmd;
    char uri[] = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
    cmd.SetFingCmdPrinter(uri);
    QCOMPARE(cmd.GetFingerStatus(), 1);
    QCOMPARE(clock.sleepsMs(), QList<int> { 200 }); // one failed attempt
    const QStringList codes = m_sim1.receivedCodes();
    QVERIFY(!codes.isEmpty());
    for (const QString& code : codes)
        QCOMPARE(code, QStringLiteral("FING"));
}

void UsbIOTest::twoPrintersSideBySide()
{
    QVERIFY(m_sim1.setState(0));
    QVERIFY(m_sim2.setState(3));
    FingCmd cmd;
    char first[] = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
    char second[] = "usb://Simulated/ZPH6100RMX?serial=SIM0002";
    cmd.SetFingCmdPrinter(second);
    QCOMPARE(cmd.GetFingerStatus(), 3);
    cmd.SetFingCmdPrinter(first);
    QCOMPARE(cmd.GetFingerStatus(), 0);
}

void UsbIOTest::presenceAndAddress()
{
    UsbIO io;
    Printer_struct first = printer(kFirst);
    QVERIFY(io.isConnected(&first));
    const QByteArray address = io.getDeviceAddress(&first);
    QVERIFY2(QRegularExpression("^USB\\d{3}$").match(QString::fromLatin1(address)).hasMatch(), address.constData());

    UsbIO other;
    Printer_struct absent = printer("usb://Simulated/ZPH6100RMX?serial=NOPE");
    QVERIFY(!other.isConnected(&absent));
    QCOMPARE(QByteArray(other.getDeviceAddress(&absent)), QByteArray());
    QCOMPARE(other.address, -1);
    StderrCapture capture;
    QCOMPARE(other.open(&absent, 0), -1);
    QVERIFY(capture.lines().contains("can not find device"));

    // A URI that failed to resolve is remembered; opening it fails at the device search.
    UsbIO noSerial;
    Printer_struct unresolved = printer("usb://Simulated/ZPH6100RMX");
    QVERIFY(!noSerial.isConnected(&unresolved));
    QCOMPARE(noSerial.open(&unresolved, 0), -1);
}

void UsbIOTest::secondOpenInOneProcess()
{
    UsbIO first;
    UsbIO second;
    Printer_struct p = printer(kFirst);
    QCOMPARE(first.open(&p, 0), 0);
    QCOMPARE(fileContent("/tmp/.vrkt_info_lock"), QByteArray("Device_Uri=") + kFirst + "\n");
    QCOMPARE(second.open(&p, 0), usb_error_usb_locked);
    QVERIFY(first.device_is_open);
    // The first still talks to the printer.
    FG_STATUS_T header = makeHeader<FG_STATUS_T>("FING");
    QCOMPARE(first.write(reinterpret_cast<char*>(&header), 8), 8);
    QCOMPARE(first.open(&p, 0), -1); // already open
    QCOMPARE(first.close(), 0);
    QCOMPARE(second.open(&p, 0), 0);
    QCOMPARE(second.close(), 0);
}

void UsbIOTest::refusedWhilePrinting()
{
    QVERIFY(m_cups.submitHeldJob("ZPH_USB") > 0);
    UsbIO io;
    Printer_struct p = printer(kFirst, "ZPH_USB");
    StderrCapture capture;
    QCOMPARE(io.open(&p, 0), usb_error_printing);
    QVERIFY(capture.lines().contains("printer is priting!!!"));
    // The device ID comes from CUPS instead; outside a backend there is no side channel.
    char id[256];
    QCOMPARE(io.getDeviceId(&p, id, sizeof(id)), -1);

    // Another queue's job does not count, and neither does a URI opened without queue name.
    UsbIO plain;
    Printer_struct bare = printer(kFirst);
    QCOMPARE(plain.open(&bare, 0), 0);
    plain.close();
}

void UsbIOTest::lockHeldByAnotherProcess_data()
{
    QTest::addColumn<bool>("mountPoint");
    // A live holder's lock file is never removed, whether it could be or not (a mount point
    // cannot be unlinked, as when another user owns the file in /tmp).
    QTest::newRow("lock file removable") << false;
    QTest::newRow("lock file cannot be removed") << true;
}

void UsbIOTest::lockHeldByAnotherProcess()
{
    QFETCH(bool, mountPoint);
    QFile target("/tmp/.vrkt_lock");
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.close();
    if (mountPoint) {
        QFile holderFile("/tmp/holder-lock");
        QVERIFY(holderFile.open(QIODevice::WriteOnly));
        holderFile.close();
        QCOMPARE(mount("/tmp/holder-lock", "/tmp/.vrkt_lock", nullptr, MS_BIND, nullptr), 0);
    }
    const auto unmount = qScopeGuard([mountPoint] {
        if (mountPoint)
            umount("/tmp/.vrkt_lock");
    });
    LockHolder holder;
    QVERIFY(holder.start("/tmp/.vrkt_lock"));
    const ino_t held = inodeOf("/tmp/.vrkt_lock");

    FakeClock clock;
    UsbIO io;
    Printer_struct p = printer(kFirst);
    StderrCapture capture;
    QCOMPARE(io.open(&p, 0), -1);
    QCOMPARE(clock.sleepsMs(), QList<int>(19, 200)); // about 3.8 s
    const QStringList lines = capture.lines();
    QCOMPARE(lines.count(" printer may be busy."), 19);
    QCOMPARE(lines.filter(QRegularExpression("^removelock:")).size(), 0);
    QCOMPARE(inodeOf("/tmp/.vrkt_lock"), held);
    QCOMPARE(fileContent("/tmp/.vrkt_info_lock"), QByteArray("Device_Uri=\n"));

    holder.kill();
    QCOMPARE(io.open(&p, 0), 0);
    io.close();
}

void UsbIOTest::killedHolderDoesNotBlock()
{
    LockHolder holder;
    QVERIFY(holder.start("/tmp/.vrkt_lock"));
    holder.kill(); // SIGKILL: the kernel drops its lock
    FakeClock clock;
    UsbIO io;
    Printer_struct p = printer(kFirst);
    QCOMPARE(io.open(&p, 0), 0);
    QVERIFY(clock.sleeps().isEmpty());
    io.close();
}

void UsbIOTest::waitsForScanner_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<int>("releasedAfter"); // pauses; 0: never
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("pauses");

    QTest::newRow("scanner lets go after two pauses") << "held" << 2 << 0 << 2;
    QTest::newRow("scanner holds on") << "held" << 0 << int(usb_error_scanning) << 19;
    // What another user may plant there cannot be locked: the printer stays unopened.
    QTest::newRow("symbolic link") << "link" << 0 << int(usb_error_scanning) << 19;
}

void UsbIOTest::waitsForScanner()
{
    QFETCH(QString, planted);
    QFETCH(int, releasedAfter);
    QFETCH(int, result);
    QFETCH(int, pauses);

    LockHolder scanner;
    const auto cleanup = qScopeGuard([] { ::remove("/tmp/.scanner_lock"); });
    if (planted == "held")
        QVERIFY(scanner.start("/tmp/.scanner_lock"));
    else
        QVERIFY(QFile::link("/tmp/elsewhere", "/tmp/.scanner_lock"));

    FakeClock clock;
    clock.onSleep = [&](int count) {
        if (count == releasedAfter)
            scanner.kill(); // the kernel drops the lock as the holder ends
    };
    UsbIO io;
    Printer_struct p = printer(kFirst);
    QCOMPARE(io.open(&p, 0), result);
    QCOMPARE(clock.sleepsMs(), QList<int>(pauses, 200));
    QCOMPARE(io.device_is_open, result == 0);
    io.close();
    QVERIFY(!QFile::exists("/tmp/elsewhere"));
}

void UsbIOTest::deviceId()
{
    UsbIO io;
    Printer_struct p = printer(kSecond);
    char id[1024];
    memset(id, 'x', sizeof(id)); // stale contents that must not show up in the ID
    QCOMPARE(io.getDeviceId(&p, id, sizeof(id)), 0);
    QStringList info;
    QVERIFY(m_sim2.command("info", &info));
    const QString expected = info.filter(QRegularExpression("^deviceid=")).value(0).mid(9);
    QVERIFY2(expected.contains("MDL:ZPH6100RMX"), qPrintable(expected));
    QCOMPARE(QString::fromLatin1(id), expected);
    QVERIFY(!io.device_is_open);
    char small[12];
    QCOMPARE(io.getDeviceId(&p, small, sizeof(small)), 0);
    QCOMPARE(int(strlen(small)), 10); // neither reading of the length fits: bufsize - 2 bytes
}

void UsbIOTest::closeWhenNotOpen()
{
    FileLocker writer;
    writer.lock_info("/tmp/.vrkt_info_lock", "usb://stale");
    UsbIO io;
    QCOMPARE(io.close(), 0);
    QCOMPARE(fileContent("/tmp/.vrkt_info_lock"), QByteArray("Device_Uri=\n"));
}

// A close on one thread (which releases the process's printer lock, whoever took it) while
// another opens and closes: the shared lock object is only ever used under the mutex, so neither
// sees it half changed (under the sanitizers a double release would be reported).
void UsbIOTest::closeOnAnotherThreadWhileOpening()
{
    FakeClock clock;
    std::atomic<bool> done { false };
    std::thread closer([&done] {
        UsbIO idle;
        while (!done.load())
            idle.close();
    });
    UsbIO io;
    Printer_struct p = printer(kFirst);
    int opened = 0;
    for (int i = 0; i < 40; ++i) {
        opened += io.open(&p, 0) == 0 ? 1 : 0;
        io.close();
    }
    done = true;
    closer.join();
    QCOMPARE(opened, 40);
    QCOMPARE(fileContent("/tmp/.vrkt_info_lock"), QByteArray("Device_Uri=\n"));
}

void UsbIOTest::bulkBothWays()
{
    QVERIFY(m_sim1.addUser("alice"));
    QVERIFY(m_sim1.addUser("bob"));
    FingCmd cmd;
    char uri[] = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
    cmd.SetFingCmdPrinter(uri);
    int count = 0;
    QCOMPARE(cmd.Export(&count), 0);
    QCOMPARE(count, 2);
    QByteArray records(2 * 546, '\0');
    QCOMPARE(cmd.GetFingerData(reinterpret_cast<FG_DATAF_T*>(records.data()), 2), 2);
    QCOMPARE(QByteArray(records.constData()), QByteArray("alice"));

    char second[] = "usb://Simulated/ZPH6100RMX?serial=SIM0002";
    cmd.SetFingCmdPrinter(second);
    QCOMPARE(cmd.Import(reinterpret_cast<FG_DATAF_T*>(records.data()), 2), 0);
    QCOMPARE(cmd.GetImportStatus(), 0);
    QCOMPARE(m_sim2.users().size(), 2);
}

void UsbIOTest::unplugDuringExport()
{
    QVERIFY(m_sim1.addUser("carol"));
    QVERIFY(m_sim1.injectFault("unplug code=EXPT"));
    FingCmd cmd;
    char uri[] = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
    cmd.SetFingCmdPrinter(uri);
    int count = 0;
    QElapsedTimer timer;
    timer.start();
    const int result = cmd.Export(&count);
    QVERIFY2(result != 0, qPrintable(QString::number(result)));
    QVERIFY(!cmd.m_pDeviceIO->device_is_open);
    QVERIFY(m_sim1.plug());
}

void UsbIOTest::listingProgram()
{
    QProcess listing;
    listing.start(USBLIST_PROGRAM, { "-v" });
    QVERIFY(listing.waitForFinished(20000));
    QCOMPARE(listing.exitCode(), 0);
    const QString out = QString::fromLatin1(listing.readAllStandardOutput());
    QVERIFY2(out.contains("Simulated - ZPH6100RMX Series"), qPrintable(out));
    QVERIFY(out.contains("Serial Number: SIM0001"));
    QVERIFY(out.contains("Serial Number: SIM0002"));
    QVERIFY(out.contains("bEndpointAddress:    82h")); // the bulk IN endpoint, listed with -v
}

FPSIM_USB_TEST_MAIN(UsbIOTest, "SIM0001", "SIM0002")
#include "tst_usbio.moc"
