// The fault matrix (docs/fault-matrix.md) against the real simulated printer, through the built
// library loaded with dlopen, in real time: the rows marked "e2e" (or "e2e-slow" when built with
// FAULTS_SLOW), of one transport (FAULTS_USB: "fpsim usb" through umockdev; otherwise "fpsim net"
// on 127.0.0.2). Runs in a private namespace (fixed /tmp paths, port 10001).
//
// Besides the row's result, bound and state, every operation must leave nothing held: the printer
// lock file free and its info file empty, the printer's kernel driver attached again (USB), no TCP
// connection to the printer left open (network).

#include "FaultMatrix.h"
#include "FingerLibrary.h"
#include "SimulatedPrinters.h"

#include <QtTest>
#include <fcntl.h>
#include <libusb.h>
#include <sys/file.h>
#include <unistd.h>

using namespace faults;

namespace
{

#ifdef FAULTS_USB
const QString kTransport = QStringLiteral("usb");
#else
const QString kTransport = QStringLiteral("net");
#endif
#ifdef FAULTS_SLOW
const QString kMarker = QStringLiteral("e2e-slow");
#else
const QString kMarker = QStringLiteral("e2e");
#endif

// Real time adds process and transfer overhead to the protocol's own waits.
qint64 realTimeBound(qint64 boundMs) { return boundMs + boundMs / 4 + 2000; }

class SimulatorPrinter : public PrinterSide
{
public:
    explicit SimulatorPrinter(fpsim::ControlClient& control, const QString& scratch)
        : m_control(control)
        , m_scratch(scratch)
    {
    }
    bool reset() override
    {
        return m_control.plug() && m_control.clearFaults() && m_control.clearStore() && m_control.pressNothing()
            && m_control.setAutoFinger(false) && m_control.setState(1);
    }
    bool setState(int state) override { return m_control.setState(state); }
    int state() override { return m_control.state(); }
    bool addUser(const QByteArray& name) override { return m_control.addUser(name) != 0; }
    QList<QByteArray> users() override
    {
        QList<QByteArray> names;
        for (const auto& u : m_control.users())
            names << u.name;
        return names;
    }
    QByteArray storeBytes() override
    {
        const QString path = m_scratch + QStringLiteral("/store.fdl");
        if (!m_control.saveStore(path))
            return QByteArray("<no store>");
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no store>");
    }
    bool pressAtNextWait(const QByteArray& user) override { return m_control.pressFingerAtNextWait(user, 0); }
    bool injectFault(const QString& rule) override { return m_control.injectFault(rule); }
    bool recover() override { return m_control.plug() && m_control.clearFaults() && m_control.pressNothing(); }
    bool cutExport(int) override { return false; }
    QString lastError() override { return m_control.lastError(); }

private:
    fpsim::ControlClient& m_control;
    QString m_scratch;
};

QString lockFilesReleased()
{
    QStringList held;
    const int fd = ::open("/tmp/.vrkt_lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        held << QStringLiteral("cannot open /tmp/.vrkt_lock");
    } else {
        if (flock(fd, LOCK_EX | LOCK_NB) != 0)
            held << QStringLiteral("/tmp/.vrkt_lock is still locked");
        else
            flock(fd, LOCK_UN);
        ::close(fd);
    }
    QFile info(QStringLiteral("/tmp/.vrkt_info_lock"));
    if (info.exists()) {
        if (!info.open(QIODevice::ReadOnly))
            held << QStringLiteral("cannot read /tmp/.vrkt_info_lock");
        else if (const QByteArray text = info.readAll(); text != "Device_Uri=\n")
            held << QStringLiteral("/tmp/.vrkt_info_lock still names a printer: ")
                    + QString::fromLatin1(text.trimmed());
    }
    return held.join(QStringLiteral("; "));
}

#ifdef FAULTS_USB
// The printer's kernel driver is attached again once the library has released the interface.
QString usbReleased(libusb_context* usb)
{
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(usb, &list);
    QString problem = QStringLiteral("the simulated printer is not on the bus");
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor desc {};
        if (libusb_get_device_descriptor(list[i], &desc) != 0 || desc.idVendor != fpsim::UsbVendorId
            || desc.idProduct != fpsim::UsbProductId)
            continue;
        libusb_device_handle* handle = nullptr;
        if (libusb_open(list[i], &handle) != 0) {
            problem = QStringLiteral("cannot open the printer to look at it");
            break;
        }
        const int active = libusb_kernel_driver_active(handle, 0);
        problem = active == 1 ? QString()
                              : QStringLiteral("the printer's kernel driver is still detached (%1)").arg(active);
        libusb_close(handle);
        break;
    }
    libusb_free_device_list(list, 1);
    return problem;
}
#else
// Connections of this namespace to the printer's port 10001 that are still up (established, or
// closed by the printer but not by us).
QString tcpReleased()
{
    QStringList held;
    for (const char* table : { "/proc/net/tcp", "/proc/net/tcp6" }) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray& line : lines.mid(1)) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() < 4)
                continue;
            const QByteArray remotePort = f[2].split(':').value(1);
            const QByteArray state = f[3];
            if (remotePort == "2711" && (state == "01" || state == "08"))
                held << QStringLiteral("a connection to the printer is still %1")
                            .arg(state == "01" ? "open" : "half-closed");
        }
    }
    return held.join(QStringLiteral("; "));
}
#endif

} // namespace

class FaultMatrixE2eTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void matrix_data();
    void matrix();

private:
    FingerLibrary m_lib;
    QTemporaryDir m_dir;
    QTemporaryDir m_scratch;
#ifdef FAULTS_USB
    fpsim::ControlClient m_control;
    bool m_usbReady = false;
#else
    fpsim::SimulatedNetPrinter m_printer;
#endif
    QStringList m_measured;
};

void FaultMatrixE2eTest::initTestCase()
{
    QVERIFY(m_dir.isValid() && m_scratch.isValid());
    QVERIFY2(m_lib.load(), qPrintable(m_lib.error()));
#ifdef FAULTS_USB
    QVERIFY(m_control.connectTo(fpsim::usbControlSocket("SIM0001")));
    // The default context, shared with the library: a second context in the same process stops
    // the library's bulk transfers under the umockdev preload.
    QCOMPARE(libusb_init(nullptr), 0);
    m_usbReady = true;
#else
    QVERIFY2(m_printer.start(QStringLiteral("127.0.0.2")), qPrintable(m_printer.errorString()));
#endif
}

void FaultMatrixE2eTest::cleanupTestCase()
{
#ifdef FAULTS_USB
    if (m_usbReady)
        libusb_exit(nullptr);
#endif
    const QString dir = qEnvironmentVariable("VRKT_ARTIFACTS_DIR");
    if (dir.isEmpty() || !QDir().mkpath(dir))
        return;
    QFile file(dir + QStringLiteral("/fault-matrix-%1%2.txt").arg(kTransport, kMarker.mid(3)));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(m_measured.join(QLatin1Char('\n')).toUtf8() + '\n');
}

void FaultMatrixE2eTest::matrix_data()
{
    QTest::addColumn<Cell>("cell");
    QString error;
    const QList<Cell> cells = loadMatrix(matrixDocument(), &error);
    QVERIFY2(!cells.isEmpty(), qPrintable(error));
    for (const Cell& cell : cells) {
        if (cell.transport == kTransport && cell.tests.contains(kMarker))
            QTest::newRow(qPrintable(cell.tag())) << cell;
    }
}

void FaultMatrixE2eTest::matrix()
{
    QFETCH(Cell, cell);
    cell.boundMs = realTimeBound(cell.boundMs);
#ifdef FAULTS_USB
    SimulatorPrinter printer(m_control, m_scratch.path());
    const QByteArray uri("usb://Simulated/ZPH6100RMX?serial=SIM0001");
    auto released = [] {
        QStringList held;
        for (const QString& p : { lockFilesReleased(), usbReleased(nullptr) })
            if (!p.isEmpty())
                held << p;
        return held.join(QStringLiteral("; "));
    };
#else
    SimulatorPrinter printer(m_printer.control(), m_scratch.path());
    const QByteArray uri = m_printer.deviceUri().toLatin1();
    auto released = [] {
        QStringList held;
        for (const QString& p : { lockFilesReleased(), tcpReleased() })
            if (!p.isEmpty())
                held << p;
        return held.join(QStringLiteral("; "));
    };
#endif
    QElapsedTimer clock;
    clock.start();
    RunContext ctx;
    ctx.printer = &printer;
    ctx.uri = uri;
    ctx.workDir = m_dir.path();
    ctx.nowMs = [&clock] { return clock.elapsed(); };
    ctx.checkReleased = released;
    FingerLibrary& l = m_lib;
    ctx.calls.isDeviceFingerOpen = l.IsDeviceFingerOpen;
    ctx.calls.openFinger = l.OpenFinger;
    ctx.calls.closeFinger = l.CloseFinger;
    ctx.calls.checkFinger = l.CheckFinger;
    ctx.calls.deleteFinger = l.DeleteFinger;
    ctx.calls.deleteFingers = l.DeleteFingers;
    ctx.calls.addFinger = l.AddFinger;
    ctx.calls.importFinger = l.ImportFinger;
    ctx.calls.exportFinger = l.ExportFinger;
    ctx.calls.isFingerPrint = l.IsFingerPrint;

    int result = 0;
    qint64 elapsed = 0;
    const QString problems = runCell(cell, ctx, &result, &elapsed);
    m_measured << QStringLiteral("%1 | %2 | %3 ms | %4")
                      .arg(cell.tag())
                      .arg(result)
                      .arg(elapsed)
                      .arg(problems.isEmpty() ? QStringLiteral("ok") : problems);
    qInfo("%s: %d after %lld ms (cell %lld ms in all)", qPrintable(cell.tag()), result, elapsed, clock.elapsed());
    QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("line %1: %2").arg(cell.line).arg(problems)));
}

#ifdef FAULTS_USB
FPSIM_USB_TEST_MAIN(FaultMatrixE2eTest, "SIM0001")
#else
QTEST_GUILESS_MAIN(FaultMatrixE2eTest)
#endif
#include "tst_faultmatrix_e2e.moc"
