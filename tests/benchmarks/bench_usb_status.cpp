// One status query over a simulated USB printer (umockdev): its total time and where it goes — the
// printing check (lpstat against a private cupsd), libusb open/config/claim, the transfer, close.
// Writes $VRKT_ARTIFACTS_DIR/usb-status-benchmark.txt; asserts nothing about speed.

#include "CupsSandbox.h"
#include "SimulatedPrinters.h"
#include "protocol/FingCmd.h"
#include "system/ShellHelpers.h"
#include "transport/UsbApi.h"
#include "transport/UsbIO.h"

#include <QtTest>

#include <algorithm>

namespace {
constexpr int kRuns = 30;

double medianUs(QList<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    return ns[ns.size() / 2] / 1000.0;
}

template <typename F>
double measure(F f)
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

class UsbStatusBenchmark : public QObject {
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

    // The same query with the queue name known, so the printing check asks CUPS.
    UsbIO named;
    Printer_struct printer;
    memset(&printer, 0, sizeof(printer));
    copyField(printer.deviceUri, uri);
    copyField(printer.name, "ZPH_USB");
    FG_FUNC_T header = makeHeader<FG_FUNC_T>("FING");
    header.mode = 'R';
    char reply[1024];
    const double withQueue = measure([&] {
        named.open(&printer, 0);
        named.write(reinterpret_cast<char*>(&header), 8);
        named.read(reply, sizeof(reply));
        named.close();
    });

    const double printingCheck = measure([&] { printer_is_printing("ZPH_USB"); });

    UsbApi api;
    api.init();
    const double openClaimClose = measure([&] {
        api.open(-1, -1, "SIM0001", 0);
        api.close();
    });
    QCOMPARE(api.open(-1, -1, "SIM0001", 0), 0);
    const double transfer = measure([&] {
        api.write(reinterpret_cast<char*>(&header), 8);
        api.read(reply, sizeof(reply));
    });
    api.close();
    api.exit();

    const QString text = QStringLiteral(
                             "status query over simulated USB, median of %1 runs (microseconds)\n"
                             "  GetFingerStatus bound by device URI (printing check skipped): %2\n"
                             "  open + FING + close with the queue name known:               %3\n"
                             "    printing check (lpstat | grep against private cupsd):      %4\n"
                             "    libusb search, open, config, claim, release, close:        %5\n"
                             "    FING frame: control OUT + control IN:                      %6\n"
                             "    rest (lock files, scanner wait, device search of open):    %7\n")
                             .arg(kRuns)
                             .arg(byUri, 0, 'f', 0)
                             .arg(withQueue, 0, 'f', 0)
                             .arg(printingCheck, 0, 'f', 0)
                             .arg(openClaimClose, 0, 'f', 0)
                             .arg(transfer, 0, 'f', 0)
                             .arg(withQueue - printingCheck - openClaimClose - transfer, 0, 'f', 0);
    qInfo().noquote() << text;
    const QString artifacts = qEnvironmentVariable("VRKT_ARTIFACTS_DIR", QDir::tempPath());
    QDir().mkpath(artifacts);
    QFile out(artifacts + "/usb-status-benchmark.txt");
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text.toUtf8());
}

FPSIM_USB_TEST_MAIN(UsbStatusBenchmark, "SIM0001")
#include "bench_usb_status.moc"
