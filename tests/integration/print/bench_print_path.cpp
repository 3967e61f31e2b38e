// Writes $VRKT_ARTIFACTS_DIR/print-path.txt; asserts nothing about speed.
//   - from the finger pressed on the simulated printer to the job completed in CUPS (the backend
//     has seen the verification and ended), median and max over 10 jobs;
//   - with authentication off, a 10 MB job through the backend against the same printer's queue
//     without it (the real socket backend alone), median over 9 jobs each.

#include "PrintPathRig.h"

#include <QElapsedTimer>
#include <QtTest>
#include <algorithm>
#include <cups/cups.h>

namespace
{

const int kPressJobs = 10;
const int kLargeJobs = 9;
const int kLargeBytes = 10 * 1024 * 1024;

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v.at(v.size() / 2) : (v.at(v.size() / 2 - 1) + v.at(v.size() / 2)) / 2;
}

} // namespace

class PrintPathBenchmark : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void pressToRelease();
    void largeJob();
    void cleanupTestCase();

private:
    // Submits data to queue and waits until CUPS completes it; milliseconds from the submission, -1 on failure.
    double printAndWait(const QByteArray& data, const QString& queue);

    PrintPathRig m_rig;
    QStringList m_report;
};

void PrintPathBenchmark::initTestCase() { QVERIFY2(m_rig.start(), qPrintable(m_rig.error())); }

void PrintPathBenchmark::pressToRelease()
{
    fpsim::ControlClient& printer = m_rig.printer().control();
    QVERIFY(printer.setState(1));
    QList<double> ms;
    for (int i = 0; i < kPressJobs; ++i) {
        QVERIFY(printer.pressNothing());
        QVERIFY(printer.clearFrameLog());
        QVERIFY(printer.clearJobs());
        const int jobId = m_rig.submit("benchmark job " + QByteArray::number(i) + '\n');
        QVERIFY(jobId > 0);
        // The job is held and the printer waits for a finger.
        QTRY_VERIFY_WITH_TIMEOUT(printer.receivedCodes().contains(QStringLiteral("DISC")), 30000);
        QCOMPARE(printer.jobList().value(0).state, QStringLiteral("held"));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(printer.command(QStringLiteral("finger press alice now")));
        while (m_rig.jobState(jobId) != IPP_JSTATE_COMPLETED) {
            QVERIFY2(clock.elapsed() < 60000, "the job does not complete");
            QTest::qWait(10);
        }
        ms << double(clock.nsecsElapsed()) / 1e6;
        QCOMPARE(printer.jobList().value(0).state, QStringLiteral("printed"));
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.fpverifyPid(jobId) == 0, 10000);
    }
    m_report << QStringLiteral("press to job completed in CUPS, %1 jobs: median %2 ms, max %3 ms")
                    .arg(kPressJobs)
                    .arg(median(ms), 0, 'f', 0)
                    .arg(*std::max_element(ms.begin(), ms.end()), 0, 'f', 0);
    QStringList all;
    for (double v : ms)
        all << QString::number(v, 'f', 0);
    m_report << QStringLiteral("  each: ") + all.join(QLatin1Char(' '));
}

double PrintPathBenchmark::printAndWait(const QByteArray& data, const QString& queue)
{
    fpsim::ControlClient& printer = m_rig.printer().control();
    if (!printer.clearJobs())
        return -1;
    QElapsedTimer clock;
    clock.start();
    const int jobId = m_rig.submit(data, true, queue);
    if (jobId <= 0)
        return -1;
    while (m_rig.jobState(jobId) != IPP_JSTATE_COMPLETED) {
        if (clock.elapsed() > 120000)
            return -1;
        QTest::qWait(10);
    }
    const double elapsed = double(clock.nsecsElapsed()) / 1e6;
    const QList<fpsim::SimJob> jobs = printer.jobList();
    if (jobs.size() != 1 || jobs.first().state != QLatin1String("printed") || jobs.first().bytes != data.size())
        return -1;
    return elapsed;
}

void PrintPathBenchmark::largeJob()
{
    QVERIFY(m_rig.printer().control().setState(0));
    QByteArray data;
    data.reserve(kLargeBytes);
    for (int i = 0; data.size() < kLargeBytes; ++i)
        data += "line " + QByteArray::number(i) + " of a large job for the print path\n";
    data.truncate(kLargeBytes);
    QList<double> through, alone;
    for (int i = 0; i < kLargeJobs; ++i) {
        // Alternating, so that a change of load on the machine touches both alike.
        const double a = printAndWait(data, QLatin1String(PrintPathRig::kDirectQueue));
        const double b = printAndWait(data, QLatin1String(PrintPathRig::kQueue));
        QVERIFY(a > 0 && b > 0);
        alone << a;
        through << b;
    }
    const double ratio = median(through) / median(alone);
    m_report << QStringLiteral(
        "10 MB job, authentication off, median of %1 (lp to completed): through the backend %2 ms, "
        "inner backend alone %3 ms, ratio %4")
                    .arg(kLargeJobs)
                    .arg(median(through), 0, 'f', 0)
                    .arg(median(alone), 0, 'f', 0)
                    .arg(ratio, 0, 'f', 3);
}

void PrintPathBenchmark::cleanupTestCase()
{
    const QString artifacts = qEnvironmentVariable("VRKT_ARTIFACTS_DIR", QDir::tempPath());
    QDir().mkpath(artifacts);
    QFile out(artifacts + QStringLiteral("/print-path.txt"));
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(m_report.join(QLatin1Char('\n')).toUtf8() + '\n');
    qInfo().noquote() << m_report.join(QLatin1Char('\n'));
}

QTEST_GUILESS_MAIN(PrintPathBenchmark)
#include "bench_print_path.moc"
