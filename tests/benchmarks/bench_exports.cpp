// Export and import of 1000 records through the built library: over a simulated USB printer
// (umockdev) and, for import, over TCP. Reports the wall time against the waits that the protocol
// itself prescribes for the same run (read off the library's own diagnostic lines and the
// simulator's frame log), and writes the figures to $VRKT_ARTIFACTS_DIR/exports-benchmark.txt.
// Nothing here is asserted about speed.

#include "FingerLibrary.h"
#include "SimulatedPrinters.h"
#include "StderrCapture.h"

#include <QtTest>

namespace
{
struct Run {
    qint64 wallMs = 0;
    qint64 prescribedMs = 0;
};

// Pauses of the export: 1 s before the first look for the export record, then one per pass that
// found nothing (all passes of a quick printer sleep 1 s).
qint64 exportWaits(const QStringList& lines)
{
    const int passes = lines.filter("Get Return command, and dwRead is").size();
    return 1000 + qint64(passes - 1) * 1000;
}

// Pauses of the import: 2 s after every status poll that found the import still running.
qint64 importWaits(const QStringList& codes)
{
    const int polls = codes.count("STUS");
    return qint64(polls - 1) * 2000;
}

QString line(const char* what, const Run& r)
{
    return QStringLiteral("%1: wall %2 ms, prescribed waits %3 ms, ratio %4, rest %5 ms")
        .arg(QLatin1String(what))
        .arg(r.wallMs)
        .arg(r.prescribedMs)
        .arg(r.prescribedMs ? double(r.wallMs) / r.prescribedMs : 0.0, 0, 'f', 3)
        .arg(r.wallMs - r.prescribedMs);
}
} // namespace

class ExportsBenchmark : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void run();
};

void ExportsBenchmark::run()
{
    FingerLibrary lib;
    QVERIFY2(lib.load(), qPrintable(lib.error()));
    fpsim::ControlClient usb1;
    fpsim::ControlClient usb2;
    QVERIFY(usb1.connectTo(fpsim::usbControlSocket("SIM0001")));
    QVERIFY(usb2.connectTo(fpsim::usbControlSocket("SIM0002")));
    fpsim::SimulatedNetPrinter net;
    QVERIFY2(net.start("127.0.0.2"), qPrintable(net.errorString()));

    QTemporaryDir dir;
    for (int i = 0; i < 1000; ++i)
        QVERIFY(usb1.addUser("user" + QByteArray::number(i)));
    QByteArray file = QFile::encodeName(dir.filePath("all.fdl"));
    QByteArray uri1 = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
    QByteArray uri2 = "usb://Simulated/ZPH6100RMX?serial=SIM0002";
    QByteArray netUri = net.deviceUri().toLatin1();

    QStringList report;
    for (int round = 0; round < 3; ++round) {
        Run exportRun, importUsb, importNet;
        {
            StderrCapture capture;
            int count = 0;
            QElapsedTimer t;
            t.start();
            QCOMPARE(lib.ExportFinger(uri1.data(), file.data(), &count), 0);
            exportRun.wallMs = t.elapsed();
            QCOMPARE(count, 1000);
            exportRun.prescribedMs = exportWaits(capture.lines());
        }
        {
            QVERIFY(usb2.clearStore());
            QVERIFY(usb2.clearFrameLog());
            QElapsedTimer t;
            t.start();
            QCOMPARE(lib.ImportFinger(uri2.data(), file.data()), 0);
            importUsb.wallMs = t.elapsed();
            importUsb.prescribedMs = importWaits(usb2.receivedCodes());
        }
        {
            QVERIFY(net.control().clearStore());
            QVERIFY(net.control().clearFrameLog());
            QElapsedTimer t;
            t.start();
            QCOMPARE(lib.ImportFinger(netUri.data(), file.data()), 0);
            importNet.wallMs = t.elapsed();
            importNet.prescribedMs = importWaits(net.control().receivedCodes());
        }
        report << QStringLiteral("round %1").arg(round + 1) << line("export 1000 records over USB", exportRun)
               << line("import 1000 records over USB", importUsb) << line("import 1000 records over TCP", importNet);
    }
    const QString text = report.join('\n') + '\n';
    qInfo().noquote() << text;
    const QString artifacts = qEnvironmentVariable("VRKT_ARTIFACTS_DIR", QDir::tempPath());
    QDir().mkpath(artifacts);
    QFile out(artifacts + "/exports-benchmark.txt");
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text.toUtf8());
}

FPSIM_USB_TEST_MAIN(ExportsBenchmark, "SIM0001", "SIM0002")
#include "bench_exports.moc"
