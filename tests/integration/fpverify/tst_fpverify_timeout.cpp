// The real fpverify program waits out its shortest countdown (10 s) and the 15 s that follow with no
// answer from the print side: "status" 5 at zero, "result" 5 written by the program itself 15 s
// later, and then the time-out box, which holds the program until it is answered (here: SIGINT).

#include "FpverifyProcess.h"
#include "PrintSideDouble.h"
#include "PrivateNamespace.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace
{

const QString kStatusFile = QStringLiteral("/tmp/.vrkt7xsmtmp.conf");

} // namespace

class TestFpverifyTimeout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noResultEver();
};

void TestFpverifyTimeout::initTestCase()
{
    QVERIFY2(inPrivateNamespace(), "run through tests/fixtures/in-namespace.sh (ctest does)");
    QFile::remove(kStatusFile);
}

void TestFpverifyTimeout::noResultEver()
{
    // The print side's record of another job, which must come through untouched.
    QVERIFY(PrintSideDouble::writeRaw(kStatusFile, "[5]\nresult=2\nstatus=3\n"));

    FpverifyProcess program(QStringLiteral("start://office?jobid=17&time_val=10"));
    QVERIFY(program.start());
    qint64 statusAt = -1, resultAt = -1;
    while (program.running() && program.elapsedMs() < 40000 && resultAt < 0) {
        QTest::qWait(100);
        const QString status = PrintSideDouble::value(kStatusFile, 17, "status");
        const QString result = PrintSideDouble::value(kStatusFile, 17, "result");
        if (statusAt < 0 && !status.isNull()) {
            QCOMPARE(status, QStringLiteral("5"));
            statusAt = program.elapsedMs();
        }
        if (!result.isNull()) {
            QCOMPARE(result, QStringLiteral("5"));
            QVERIFY2(statusAt >= 0, "result written before the countdown ended");
            resultAt = program.elapsedMs();
        }
    }
    qInfo("status 5 after %lld ms, result 5 after %lld ms", statusAt, resultAt);
    QVERIFY(statusAt >= 0);
    QVERIFY(resultAt >= 0);
    // Ten one-second ticks after the start (plus the program's own start-up), then fifteen more;
    // the windows leave room for a loaded machine and still tell 10 s from 5 s or 30 s.
    QVERIFY2(statusAt >= 9000 && statusAt < 14000, qPrintable(QString::number(statusAt)));
    QVERIFY2(
        resultAt - statusAt >= 13000 && resultAt - statusAt <= 17500, qPrintable(QString::number(resultAt - statusAt)));

    QVERIFY(program.stillRunningAfter(1500));
    program.interrupt();
    QVERIFY(program.waitForEnd(15000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    const PrintSideDouble::IniGroups file = PrintSideDouble::readIni(kStatusFile);
    QCOMPARE(file.value("5").value("result"), QStringLiteral("2"));
    QCOMPARE(file.value("5").value("status"), QStringLiteral("3"));
    QCOMPARE(file.value("17").value("status"), QStringLiteral("5"));
    QCOMPARE(file.value("17").value("result"), QStringLiteral("5"));
}

QTEST_GUILESS_MAIN(TestFpverifyTimeout)
#include "tst_fpverify_timeout.moc"
