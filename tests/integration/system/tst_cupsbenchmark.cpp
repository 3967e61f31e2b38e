// Figures, not assertions on time: cups_get_printers over 100 queues against `lpstat -v` on the
// same private cupsd, and one printer_is_printing call. The medians go to
// $VRKT_ARTIFACTS_DIR/cups-benchmark.txt.

#include "CupsSandbox.h"
#include "system/CupsQueries.h"
#include "system/ShellHelpers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <algorithm>
#include <functional>

namespace
{

constexpr int kQueues = 100;
constexpr int kRuns = 25;

int countPrinter(void* para, Printer_struct*)
{
    ++*static_cast<int*>(para);
    return 1;
}

// Median wall time of fn in microseconds over kRuns runs (after one warm-up run).
double medianUs(const std::function<void()>& fn)
{
    fn();
    QList<qint64> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        fn();
        times << t.nsecsElapsed();
    }
    std::sort(times.begin(), times.end());
    return times[kRuns / 2] / 1000.0;
}

} // namespace

class TestCupsBenchmark : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printersAgainstLpstat();

private:
    CupsSandbox m_cups;
};

void TestCupsBenchmark::initTestCase()
{
    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    for (int i = 0; i < kQueues; ++i) {
        const QString name = QStringLiteral("Q%1").arg(i, 3, 10, QLatin1Char('0'));
        const QString uri = (i % 2) ? QStringLiteral("usb://Maker/ZPH6100RMX?serial=SIM%1").arg(i)
                                    : QStringLiteral("socket://127.0.0.2:%1").arg(9100 + i);
        QVERIFY2(m_cups.addQueue(name, uri, (i % 2) ? "Maker ZPH6100RMX Series" : "Other Laser 100"),
            qPrintable(m_cups.lastError()));
    }
    QVERIFY(m_cups.submitHeldJob("Q001") > 0);
}

void TestCupsBenchmark::printersAgainstLpstat()
{
    int count = 0;
    QCOMPARE(cups_get_printers(countPrinter, &count), 0);
    QCOMPARE(count, kQueues);
    int lines = 0;
    int rc = -1;
    lines = m_cups.runClient("lpstat", { "-v" }, &rc).count('\n');
    QCOMPARE(rc, 0);
    QCOMPARE(lines, kQueues);
    QCOMPARE(printer_is_printing("Q001"), true);
    QCOMPARE(printer_is_printing("Q002"), false);

    const double getPrinters = medianUs([] {
        int n = 0;
        cups_get_printers(countPrinter, &n);
    });
    const double lpstat = medianUs([this] { m_cups.runClient("lpstat", { "-v" }); });
    const double printingBusy = medianUs([] { printer_is_printing("Q001"); });
    const double printingIdle = medianUs([] { printer_is_printing("Q002"); });

    const QString report = QStringLiteral("cups benchmark: %1 queues, median of %2 runs\n"
                                          "cups_get_printers            %3 ms\n"
                                          "lpstat -v (process)          %4 ms\n"
                                          "ratio get_printers/lpstat    %5\n"
                                          "printer_is_printing (busy)   %6 ms\n"
                                          "printer_is_printing (idle)   %7 ms\n")
                               .arg(kQueues)
                               .arg(kRuns)
                               .arg(getPrinters / 1000.0, 0, 'f', 2)
                               .arg(lpstat / 1000.0, 0, 'f', 2)
                               .arg(getPrinters / lpstat, 0, 'f', 2)
                               .arg(printingBusy / 1000.0, 0, 'f', 2)
                               .arg(printingIdle / 1000.0, 0, 'f', 2);
    qInfo().noquote() << report;

    const QString dir = qEnvironmentVariable("VRKT_ARTIFACTS_DIR", QDir::tempPath());
    QVERIFY(QDir().mkpath(dir));
    QFile out(dir + "/cups-benchmark.txt");
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(report.toUtf8());
}

QTEST_GUILESS_MAIN(TestCupsBenchmark)
#include "tst_cupsbenchmark.moc"
