// One status query over a simulated USB printer (umockdev): its total time and where it goes — the
// printing check (lpstat against a private cupsd), libusb open/config/claim, the transfer, close.
// Writes $VRKT_ARTIFACTS_DIR/usb-status-benchmark.txt; asserts nothing about speed.

#include "CupsSandbox.h"
#include "SimulatedPrinters.h"
#include "protocol/FingCmd.h"
#include "system/ShellHelpers.h"
#include "transport/UsbIO.h"

#include <QtTest>
#include <algorithm>

namespace
{
constexpr int kRuns = 30;

double medianUs(QList<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    return ns[ns.size() / 2] / 1000.0;
}

template <typename F> double measure(F f)
{
    QList<qint64> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        times.append(t.nsecsElapsed());
    }
    return medianUs(times);
}
} // namespace

class UsbStatusBenchmark : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void run();
};

void UsbStatusBenchmark::run()
{
    CupsSandbox cups;
    QVERIFY2(cups.start(), qPrintable(cups.lastError()));
    const char uri[] = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
    QVERIFY(cups.addQueue("ZPH_USB", uri, "Simulated ZPH6100RMX Series"));

    char bound[] = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
    FingCmd cmd;
    cmd.SetFingCmdPrinter(bound);
    QVERIFY(cmd.GetFingerStatus() >= 0);
    const double byUri = measure([&] { cmd.GetFingerStatus(); });

    // The phases of one query with the queue name known, timed one after the other in each run.
    UsbIO io;
    Printer_struct printer;
    memset(&printer, 0, sizeof(printer));
    copyField(printer.deviceUri, uri);
    FG_FUNC_T header = makeHeader<FG_FUNC_T>("FING");
    header.mode = 'R';
    char reply[1024];
    QList<qint64> check, open, transfer, close, total;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        printer_is_printing("ZPH_USB");
        const qint64 a = t.nsecsElapsed();
        QCOMPARE(io.open(&printer, 0), 0); // lock files, scanner wait, device search, libusb open/config/claim
        const qint64 b = t.nsecsElapsed();
        io.write(reinterpret_cast<char*>(&header), 8);
        io.read(reply, sizeof(reply));
        const qint64 c = t.nsecsElapsed();
        io.close();
        const qint64 d = t.nsecsElapsed();
        check.append(a);
        open.append(b - a);
        transfer.append(c - b);
        close.append(d - c);
        total.append(d);
    }

    const QString text
        = QStringLiteral("status query over simulated USB, median of %1 runs (microseconds)\n"
                         "  GetFingerStatus bound by device URI (no queue name, no printing check): %2\n"
                         "  one query with the queue name known, phase by phase:\n"
                         "    printing check (lpstat | grep against the private cupsd): %3\n"
                         "    open: lock files, scanner wait, device search, libusb open/config/claim: %4\n"
                         "    FING frame: vendor control OUT + control IN: %5\n"
                         "    close: release, re-attach, unlock: %6\n"
                         "    total: %7\n")
              .arg(kRuns)
              .arg(byUri, 0, 'f', 0)
              .arg(medianUs(check), 0, 'f', 0)
              .arg(medianUs(open), 0, 'f', 0)
              .arg(medianUs(transfer), 0, 'f', 0)
              .arg(medianUs(close), 0, 'f', 0)
              .arg(medianUs(total), 0, 'f', 0);
    qInfo().noquote() << text;
    const QString artifacts = qEnvironmentVariable("VRKT_ARTIFACTS_DIR", QDir::tempPath());
    QDir().mkpath(artifacts);
    QFile out(artifacts + "/usb-status-benchmark.txt");
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text.toUtf8());
}

FPSIM_USB_TEST_MAIN(UsbStatusBenchmark, "SIM0001")
#include "bench_usb_status.moc"
