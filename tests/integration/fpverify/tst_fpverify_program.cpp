// The real fpverify program inside a private mount namespace, so that it uses the real status file
// /tmp/.vrkt7xsmtmp.conf; a stand-in for the print side writes results there while it runs. Some
// rows first plant what another user could leave at that name; they set fs.protected_regular, which
// is machine-wide, so this test runs alone (RUN_SERIAL).

#include "FpverifyProcess.h"
#include "MachineSetting.h"
#include "PrintSideDouble.h"
#include "PrivateNamespace.h"

#include <QFile>
#include <QProcess>
#include <QTest>

namespace
{

const QString kStatusFile = QStringLiteral("/tmp/.vrkt7xsmtmp.conf");

// Generous bounds: the program may start slowly under the sanitizers on a busy machine.
const int kEndMs = 15000;
// A result written while the program runs is read within one tick; the rest is slack for the
// sanitizer build on a loaded machine.
const int kNextPollMs = 2500;

// Runs a shell command as the unprivileged user 65534.
bool asOtherUser(const QString& command)
{
    return QProcess::execute(QStringLiteral("setpriv"),
               { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                   QStringLiteral("--pdeathsig=TERM"), QStringLiteral("sh"), QStringLiteral("-c"), command })
        == 0;
}

} // namespace

class TestFpverifyProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void endsOnResult_data();
    void endsOnResult();
    void outcomeBoxWaitsForTheUser();
    void sigintWhileWaiting();
};

void TestFpverifyProgram::initTestCase()
{
    // Only inside the test's own namespace may the real status file be touched.
    QVERIFY2(inPrivateNamespace(), "run through tests/fixtures/in-namespace.sh (ctest does)");
    QVERIFY(QFile::exists(QStringLiteral(FPVERIFY_PROGRAM)));
}

void TestFpverifyProgram::init()
{
    QFile::remove(kStatusFile);
    QVERIFY(!QFile::exists(kStatusFile));
}

void TestFpverifyProgram::endsOnResult_data()
{
    QTest::addColumn<QString>("argument"); // null: started without an argument
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("before"); // "result" before the start, empty: none
    QTest::addColumn<int>("afterMs"); // when "result" 1 is written, -1: not at all
    // What lies at the file's name before the start: "" nothing else; "foreign": another user's file
    // with "result" 1 and its ".lock" beside; "link": a link to a file of this user with "result" 1.
    QTest::addColumn<QString>("planted");

    const QString office = QStringLiteral("start://office?jobid=17&time_val=60");
    QTest::newRow("result 1 already there") << office << 17 << "1" << -1 << "";
    QTest::newRow("result 1 later") << office << 17 << "" << 1500 << "";
    QTest::newRow("result 6 is no result") << office << 17 << "6" << 2500 << "";
    QTest::newRow("result of another job") << office << 17 << "" << 2500 << "";
    QTest::newRow("no argument: job 0") << QString() << 0 << "1" << -1 << "";
    QTest::newRow("empty argument") << "" << 0 << "1" << -1 << "";
    QTest::newRow("no scheme") << "garbage" << 0 << "1" << -1 << "";
    QTest::newRow("numbers unreadable") << "start://p?jobid=abc&time_val=x" << 0 << "1" << -1 << "";
    QTest::newRow("job id too large") << "start://p?jobid=4294967296" << 0 << "1" << -1 << "";
    // Neither read: the program waits for a result in a file of its own.
    QTest::newRow("another user's file and lock") << office << 17 << "" << 2500 << "foreign";
    QTest::newRow("a link at the name") << office << 17 << "" << 2500 << "link";
}

void TestFpverifyProgram::endsOnResult()
{
    QFETCH(QString, argument);
    QFETCH(int, group);
    QFETCH(QString, before);
    QFETCH(int, afterMs);
    QFETCH(QString, planted);

    MachineSetting protection;
    const QString linkTarget = QStringLiteral("/tmp/own-results.conf");
    if (planted == "foreign") {
        QVERIFY(protection.set(MachineSetting::kProtectedRegular, "2"));
        QVERIFY(asOtherUser(
            QStringLiteral("printf '[17]\\nresult=1\\n' > %1 && printf '1\\nsleep\\n' > %1.lock").arg(kStatusFile)));
    }
    if (planted == "link") {
        QVERIFY(PrintSideDouble::writeRaw(linkTarget, "[17]\nresult=1\n"));
        QVERIFY(QFile::link(linkTarget, kStatusFile));
    }
    const bool otherJob = QString::fromLatin1(QTest::currentDataTag()).contains("another job");
    if (otherJob)
        PrintSideDouble::writeResult(kStatusFile, group + 1, 1);
    if (!before.isEmpty())
        PrintSideDouble::writeResult(kStatusFile, group, before.toInt());

    FpverifyProcess program(argument);
    QVERIFY(program.start());
    if (afterMs >= 0) {
        // Until the result comes, the program waits.
        QVERIFY(program.stillRunningAfter(afterMs));
        if (!planted.isEmpty()) {
            QVERIFY(QFile::remove(kStatusFile));
            QFile::remove(kStatusFile + QStringLiteral(".lock"));
        }
        PrintSideDouble::writeResult(kStatusFile, group, 1);
    }
    QVERIFY(program.waitForEnd(kEndMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    // The first poll is one second after the start, so not even a result that was there at once
    // ends it sooner; a later result ends it at the next poll.
    const QByteArray endedAt = QByteArray::number(program.endedAtMs());
    if (afterMs < 0) {
        QVERIFY2(program.endedAtMs() >= 900, endedAt);
    } else {
        QVERIFY2(program.endedAtMs() >= afterMs, endedAt);
        QVERIFY2(program.endedAtMs() <= afterMs + kNextPollMs, endedAt);
    }
    // Nothing was reported back.
    const PrintSideDouble::IniGroups file = PrintSideDouble::readIni(kStatusFile);
    for (const auto& keys : file)
        QVERIFY(!keys.contains(QStringLiteral("status")));
    if (planted == "link")
        QCOMPARE(PrintSideDouble::readIni(linkTarget).value("17"), (QMap<QString, QString> { { "result", "1" } }));
}

void TestFpverifyProgram::outcomeBoxWaitsForTheUser()
{
    PrintSideDouble::writeResult(kStatusFile, 17, 2);
    FpverifyProcess program(QStringLiteral("start://office?jobid=17&time_val=60"));
    QVERIFY(program.start());
    // The failure box holds the program until it is answered; SIGINT ends it all the same.
    QVERIFY(program.stillRunningAfter(3000));
    program.interrupt();
    QVERIFY(program.waitForEnd(kEndMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(PrintSideDouble::value(kStatusFile, 17, "result"), QStringLiteral("2"));
}

void TestFpverifyProgram::sigintWhileWaiting()
{
    FpverifyProcess program(QStringLiteral("start://office?jobid=17&time_val=60"));
    QVERIFY(program.start());
    QVERIFY(program.stillRunningAfter(1500));
    program.interrupt();
    QVERIFY(program.waitForEnd(kEndMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    // Ending on the signal reports nothing.
    QVERIFY(!QFile::exists(kStatusFile) || PrintSideDouble::readIni(kStatusFile).isEmpty());
}

QTEST_GUILESS_MAIN(TestFpverifyProgram)
#include "tst_fpverify_program.moc"
