// The fingerprint operations of FingCmd against a scripted printer: the frames they send, how they
// read the printer's answers, and their polling schedules under the fake clock.

#include "FakeClock.h"
#include "Frames.h"
#include "ScriptedDeviceIO.h"
#include "StderrCapture.h"
#include "protocol/FingCmd.h"

#include <QtTest>

namespace
{

using Rec = ScriptedDeviceIO;

// Answers frames by their code: queued answers first, then a standing answer, else silence.
struct Responder {
    QMap<QByteArray, QList<QByteArray>> queued;
    QMap<QByteArray, QByteArray> standing;

    void attach(ScriptedDeviceIO& io)
    {
        io.onWrite = [this, &io](const QByteArray& frame) {
            const QByteArray code = frame.left(4);
            if (!queued[code].isEmpty())
                io.queueRead(queued[code].takeFirst());
            else if (standing.contains(code))
                io.queueRead(standing[code]);
        };
    }
};

using Frames::fdlRecord;
using Frames::resultRecord;

QList<QByteArray> codesOf(const QList<QByteArray>& frames)
{
    QList<QByteArray> codes;
    for (const QByteArray& f : frames)
        codes.append(f.left(4));
    return codes;
}

QList<int> repeated(int value, int times) { return QList<int>(times, value); }

} // namespace

class OperationsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void framesSent_data();
    void framesSent();
    void checkAndDelete_data();
    void checkAndDelete();
    void fingerStatus();
    void verification_data();
    void verification();
    void verificationNameOf32Bytes();
    void verificationCancelledBetweenPolls();
    void verificationOverNetworkPollsWithoutPayload();
    void enrolFirstStep_data();
    void enrolFirstStep();
    void enrolSecondStep_data();
    void enrolSecondStep();
    void exportWaitsOnItsSchedule();
    void exportOutcomes_data();
    void exportOutcomes();
    void importStream();
    void importOutcomes_data();
    void importOutcomes();
    void importStatus_data();
    void importStatus();
    void bindingResetsState();
};

void OperationsTest::framesSent_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("status query") << 0 << QByteArray() << QByteArray("FINGR\0\0\0", 8);
    QTest::newRow("switch on") << 1 << QByteArray() << QByteArray("FINGW\0\0\x01", 8);
    QTest::newRow("switch off") << 2 << QByteArray() << QByteArray("FINGW\0\0\0", 8);
    QTest::newRow("check") << 3 << QByteArray("bob") << QByteArray("CHCK\x03\0\0\0bob", 11);
    QTest::newRow("check empty name") << 3 << QByteArray("") << QByteArray("CHCK\0\0\0\0", 8);
    QTest::newRow("check name cut at 32 bytes")
        << 3 << QByteArray(40, 'n') << QByteArray("CHCK\x20\0\0\0", 8) + QByteArray(32, 'n');
    QTest::newRow("delete one") << 4 << QByteArray("bob") << QByteArray("DELE\x03\0\0\0bob", 11);
    QTest::newRow("delete all ignores the name") << 5 << QByteArray("bob") << QByteArray("DELE\0\0\0\x01", 8);
    QTest::newRow("cancel") << 6 << QByteArray() << QByteArray("CANL\0\0\0\0", 8);
}

void OperationsTest::framesSent()
{
    QFETCH(int, operation);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, frame);

    FakeClock clock;
    ScriptedDeviceIO io(1);
    io.queueStatus('A', 0, 1);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    switch (operation) {
    case 0:
        cmd.GetFingerStatus();
        break;
    case 1:
        cmd.SetFingerStatus(1);
        break;
    case 2:
        cmd.SetFingerStatus(0);
        break;
    case 3:
        cmd.Check(name.data(), name.size());
        break;
    case 4:
        cmd.Delete(0, name.data(), name.size());
        break;
    case 5:
        cmd.Delete(1, name.data(), name.size());
        break;
    case 6:
        cmd.CancelPrint();
        break;
    }
    QCOMPARE(io.writes, QList<QByteArray> { frame });
}

void OperationsTest::checkAndDelete_data()
{
    QTest::addColumn<bool>("isCheck");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("answer"); // A0, A1, B, X
    QTest::addColumn<int>("expected");

    QTest::newRow("check enrolled") << true << 0 << "A1" << 0;
    QTest::newRow("check not enrolled") << true << 0 << "A0" << 14;
    QTest::newRow("check busy printer is no unknown user") << true << 0 << "B" << 4;
    QTest::newRow("check refused") << true << 0 << "X" << 5;
    QTest::newRow("delete one") << false << 0 << "A0" << 0;
    QTest::newRow("delete unknown user") << false << 0 << "X" << 14;
    QTest::newRow("delete all refused stays refused") << false << 1 << "X" << 5;
    QTest::newRow("delete busy") << false << 0 << "B" << 4;
}

void OperationsTest::checkAndDelete()
{
    QFETCH(bool, isCheck);
    QFETCH(int, mode);
    QFETCH(QString, answer);
    QFETCH(int, expected);

    FakeClock clock;
    ScriptedDeviceIO io(2);
    for (int i = 0; i < 5; ++i)
        io.queueStatus(answer.at(0).toLatin1(), 0, answer.size() > 1 ? answer.mid(1).toInt() : 0);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    char name[] = "alice";
    const int result = isCheck ? cmd.Check(name, 5) : cmd.Delete(mode, name, 5);
    QCOMPARE(result, expected);
}

void OperationsTest::fingerStatus()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    io.queueStatus('A', 0, 3);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    QCOMPARE(cmd.GetFingerStatus(), 3);
    io.queueStatus('B');
    QCOMPARE(cmd.GetFingerStatus(), -1); // 'B' five times: the last attempts find the printer silent
    io.queueStatus('X');
    QVERIFY(!cmd.SetFingerStatus(1));
    io.queueStatus('A', 0, 0);
    QVERIFY(cmd.SetFingerStatus(1)); // the reply's status is not examined
}

void OperationsTest::verification_data()
{
    QTest::addColumn<QList<QByteArray>>("stus");
    QTest::addColumn<QList<QByteArray>>("getr");
    QTest::addColumn<QByteArray>("disc");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QList<int>>("sleepsMs");

    const QByteArray ok = Rec::statusRecord('A');
    const QByteArray waiting = Rec::statusRecord('A', 0, 0);
    const QByteArray ready = Rec::statusRecord('A', 0, 1);
    const QByteArray noMatch = Rec::statusRecord('A', 0, 2);
    const QByteArray alice = Rec::statusRecord('A', 34, 0, resultRecord("alice", 7));
    const QByteArray noResult = Rec::statusRecord('A', 0, 0, QByteArray(34, '\0'));

    QTest::newRow("matched at once") << QList<QByteArray> { ready } << QList<QByteArray> { alice } << ok << 0
                                     << QByteArray("alice") << QList<int>();
    QTest::newRow("matched on the third poll")
        << QList<QByteArray> { waiting, waiting, ready } << QList<QByteArray> { alice } << ok << 0
        << QByteArray("alice") << repeated(5000, 2);
    QTest::newRow("no finger: ten polls 5 s apart")
        << QList<QByteArray>() << QList<QByteArray>() << ok << 9 << QByteArray() << repeated(5000, 10);
    QTest::newRow("finger not matched") << QList<QByteArray> { waiting, noMatch } << QList<QByteArray>() << ok << 11
                                        << QByteArray() << QList<int> { 5000 };
    QTest::newRow("result not there yet keeps polling")
        << QList<QByteArray> { ready, ready } << QList<QByteArray> { noResult, alice } << ok << 0 << QByteArray("alice")
        << QList<int> { 5000 };
    QTest::newRow("result names nobody") << QList<QByteArray> { ready }
                                         << QList<QByteArray> { Rec::statusRecord('A', 34, 0, resultRecord("", 3)) }
                                         << ok << 13 << QByteArray() << QList<int>();
    QTest::newRow("result cut short keeps polling")
        << QList<QByteArray> { ready, ready } << QList<QByteArray> { alice.left(11), alice } << ok << 0
        << QByteArray("alice") << QList<int> { 5000 };
    QTest::newRow("printer busy at the start") << QList<QByteArray>() << QList<QByteArray>() << Rec::statusRecord('B')
                                               << 4 << QByteArray() << repeated(200, 4);
    QTest::newRow("printer refuses to wait") << QList<QByteArray>() << QList<QByteArray>() << Rec::statusRecord('X')
                                             << 9 << QByteArray() << repeated(200, 4);
}

void OperationsTest::verification()
{
    QFETCH(QList<QByteArray>, stus);
    QFETCH(QList<QByteArray>, getr);
    QFETCH(QByteArray, disc);
    QFETCH(int, expected);
    QFETCH(QByteArray, user);
    QFETCH(QList<int>, sleepsMs);

    FakeClock clock;
    ScriptedDeviceIO io(1);
    Responder printer;
    printer.standing["DISC"] = disc;
    printer.queued["STUS"] = stus;
    printer.standing["STUS"] = Rec::statusRecord('A', 0, 0);
    printer.queued["GETR"] = getr;
    printer.attach(io);

    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    cmd.m_bFingerPrint = true;
    char name[40];
    memset(name, 0x7F, sizeof(name));
    short index = -1;
    QCOMPARE(cmd.IsPrint(name, &index), expected);
    QCOMPARE(clock.sleepsMs(), sleepsMs);
    if (expected == 0) {
        QCOMPARE(QByteArray(name), user);
        QCOMPARE(index, short(7));
    } else {
        QCOMPARE(name[0], char(0x7F)); // nothing written
    }
}

void OperationsTest::verificationNameOf32Bytes()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    Responder printer;
    printer.standing["DISC"] = Rec::statusRecord('A');
    printer.standing["STUS"] = Rec::statusRecord('A', 0, 1);
    printer.standing["GETR"] = Rec::statusRecord('A', 34, 0, resultRecord(QByteArray(32, 'z'), 0x1234));
    printer.attach(io);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    char name[40];
    memset(name, 0x7F, sizeof(name));
    short index = 0;
    QCOMPARE(cmd.IsPrint(name, &index), 0);
    QCOMPARE(QByteArray(name), QByteArray(32, 'z'));
    QCOMPARE(name[33], char(0x7F)); // terminator at 32, nothing beyond
    QCOMPARE(index, short(0x1234));
}

void OperationsTest::verificationCancelledBetweenPolls()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    Responder printer;
    printer.standing["DISC"] = Rec::statusRecord('A');
    printer.standing["STUS"] = Rec::statusRecord('A', 0, 0);
    printer.standing["CANL"] = Rec::statusRecord('A');
    printer.attach(io);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    cmd.m_bFingerPrint = true;
    clock.onSleep = [&](int count) {
        if (count == 3)
            cmd.m_bIsFingerPrintCancel = true; // the print side gives up during the third wait
    };
    char name[33] = {};
    short index = 0;
    QCOMPARE(cmd.IsPrint(name, &index), 12);
    QCOMPARE(clock.sleepsMs(), repeated(5000, 3));
    QCOMPARE(codesOf(io.writes), (QList<QByteArray> { "DISC", "STUS", "STUS", "STUS" }));

    // Not bound for printing, a cancel still stops the verification and tells the printer.
    ScriptedDeviceIO plain(1);
    printer.attach(plain);
    cmd.attachDeviceIO(&plain);
    cmd.m_bFingerPrint = false;
    cmd.m_bIsFingerPrintCancel = false;
    clock.clear();
    QCOMPARE(cmd.IsPrint(name, &index), 12);
    QCOMPARE(codesOf(plain.writes).last(), QByteArray("CANL"));
}

void OperationsTest::verificationOverNetworkPollsWithoutPayload()
{
    FakeClock clock;
    ScriptedDeviceIO io(2);
    Responder printer;
    printer.standing["DISC"] = Rec::statusRecord('A');
    printer.queued["STUS"] = { Rec::statusRecord('A', 0, 1), Rec::statusRecord('A', 0, 1) };
    // First GETR: the printer has nothing yet and sends the bare record.
    printer.queued["GETR"] = { Rec::statusRecord('A'), Rec::statusRecord('A', 34, 0, resultRecord("bob", 2)) };
    printer.attach(io);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    char name[33] = {};
    short index = 0;
    QCOMPARE(cmd.IsPrint(name, &index), 0);
    QCOMPARE(QByteArray(name), QByteArray("bob"));
    // Every exchange reads the status record alone; only the GETR whose record announced a result
    // reads the 34-byte result after it (the first GETR announced nothing and costs no wait).
    QCOMPARE(io.readSizes, (QList<int> { 8, 8, 8, 8, 8, 34 }));
}

void OperationsTest::enrolFirstStep_data()
{
    QTest::addColumn<QList<QByteArray>>("stus");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QList<QByteArray>>("codes");
    QTest::addColumn<int>("sleeps");

    const QByteArray waiting = Rec::statusRecord('A', 0, 0);
    QTest::newRow("pressed on the third poll")
        << QList<QByteArray> { waiting, waiting, Rec::statusRecord('A', 0, 1) } << 0
        << QList<QByteArray> { "ADDF", "STUS", "STUS", "STUS", "GETR" } << 2;
    QTest::newRow("printer reports failure")
        << QList<QByteArray> { Rec::statusRecord('A', 0, 2) } << 7 << QList<QByteArray> { "ADDF", "STUS" } << 0;
    QTest::newRow("nobody presses in 30 s")
        << QList<QByteArray>(30, waiting) << 7
        << QList<QByteArray> { "ADDF" } + QList<QByteArray>(30, "STUS") + QList<QByteArray> { "CANL" } << 30;
}

void OperationsTest::enrolFirstStep()
{
    QFETCH(QList<QByteArray>, stus);
    QFETCH(int, expected);
    QFETCH(QList<QByteArray>, codes);
    QFETCH(int, sleeps);

    FakeClock clock;
    ScriptedDeviceIO io(1);
    Responder printer;
    printer.standing["ADDF"] = Rec::statusRecord('A');
    printer.queued["STUS"] = stus;
    printer.standing["GETR"] = Rec::statusRecord('A');
    printer.standing["CANL"] = Rec::statusRecord('A');
    printer.attach(io);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    char name[] = "carol";
    QCOMPARE(cmd.AddFingerFirst(name), expected);
    QCOMPARE(codesOf(io.writes), codes);
    QCOMPARE(io.writes.first(), QByteArray("ADDF\x05\0\0\0carol", 13));
    QCOMPARE(clock.sleepsMs(), repeated(1000, sleeps));
    QCOMPARE(io.openPorts, QList<int>(codes.size(), 0)); // one exchange per frame, the USB way
}

void OperationsTest::enrolSecondStep_data()
{
    QTest::addColumn<QByteArray>("adds");
    QTest::addColumn<QList<QByteArray>>("stus");
    QTest::addColumn<QByteArray>("getr");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("sleeps");

    const QByteArray ok = Rec::statusRecord('A');
    const QByteArray waiting = Rec::statusRecord('A', 0, 0);
    const QByteArray ready = Rec::statusRecord('A', 0, 1);
    QTest::newRow("enrolled") << ok << QList<QByteArray> { waiting, ready }
                              << Rec::statusRecord('A', 34, 0, resultRecord("carol", 12)) << 0 << QByteArray("carol")
                              << 1;
    QTest::newRow("name of 32 bytes") << ok << QList<QByteArray> { ready }
                                      << Rec::statusRecord('A', 34, 0, resultRecord(QByteArray(32, 'w'), 12)) << 0
                                      << QByteArray(32, 'w') << 0;
    QTest::newRow("ADDS refused") << Rec::statusRecord('X') << QList<QByteArray>() << ok << 13 << QByteArray() << 0;
    QTest::newRow("second press failed") << ok << QList<QByteArray> { Rec::statusRecord('A', 0, 2) } << ok << 13
                                         << QByteArray() << 0;
    QTest::newRow("no second press in 30 polls")
        << ok << QList<QByteArray>(30, waiting) << ok << 13 << QByteArray() << 29;
    QTest::newRow("no result record") << ok << QList<QByteArray> { ready } << ok << 0 << QByteArray() << 0;
    QTest::newRow("result names nobody") << ok << QList<QByteArray> { ready }
                                         << Rec::statusRecord('A', 34, 0, resultRecord("", 12)) << 13 << QByteArray()
                                         << 0;
}

void OperationsTest::enrolSecondStep()
{
    QFETCH(QByteArray, adds);
    QFETCH(QList<QByteArray>, stus);
    QFETCH(QByteArray, getr);
    QFETCH(int, expected);
    QFETCH(QByteArray, name);
    QFETCH(int, sleeps);

    FakeClock clock;
    ScriptedDeviceIO io(1);
    Responder printer;
    for (int i = 0; i < 5; ++i)
        printer.queued["ADDS"].append(adds);
    printer.queued["STUS"] = stus;
    printer.standing["GETR"] = getr;
    printer.standing["CANL"] = Rec::statusRecord('A');
    printer.attach(io);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    char reported[40];
    memset(reported, 0, 33);
    memset(reported + 33, 0x7F, 7);
    short index = -1;
    QCOMPARE(cmd.AddFingerSecond(reported, &index), expected);
    QCOMPARE(QByteArray(reported), name);
    QCOMPARE(reported[33], char(0x7F));
    if (!name.isEmpty())
        QCOMPARE(index, short(12));
    QCOMPARE(clock.sleepsMs().count(1000), sleeps);
}

void OperationsTest::exportWaitsOnItsSchedule()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    io.queueStatus('A', 1); // the printer has records to announce
    io.queueStatus('A'); // answer to the cancel after the wait
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    int count = -1;
    QCOMPARE(cmd.Export(&count), 9);
    QCOMPARE(io.bulkReadSizes.size(), 250);
    const QList<int> sleeps = clock.sleepsMs();
    QCOMPARE(sleeps.size(), 251);
    QCOMPARE(sleeps.first(), 1000);
    // 29 passes of 1 s, 45 of 2 s, 60 of 3 s, 50 of 5 s, 66 of 1 s: about ten minutes.
    QCOMPARE(sleeps.mid(1, 29), repeated(1000, 29));
    QCOMPARE(sleeps.mid(30, 45), repeated(2000, 45));
    QCOMPARE(sleeps.mid(75, 60), repeated(3000, 60));
    QCOMPARE(sleeps.mid(135, 50), repeated(5000, 50));
    QCOMPARE(sleeps.mid(185, 66), repeated(1000, 66));
    QCOMPARE(clock.totalSleptUs(), qint64(616) * 1000000);
    QCOMPARE(codesOf(io.writes), (QList<QByteArray> { "EXPT", "CANL" }));
    QCOMPARE(io.opens, 1);
    QCOMPARE(io.closes, 1);
}

void OperationsTest::exportOutcomes_data()
{
    QTest::addColumn<int>("transport");
    QTest::addColumn<int>("failOpens");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QList<QByteArray>>("bulk"); // "" = zero-byte read, "!" = failed read, "~" = unplugged
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("records");

    const QByteArray ok = Rec::statusRecord('A', 3);
    const QByteArray three = QByteArray("EXPTA\x03\0\0", 8);
    const QByteArray data = fdlRecord("a", 1, 'a') + fdlRecord("b", 2, 'b') + fdlRecord("c", 3, 'c');
    QTest::newRow("network printer") << 2 << 0 << ok << QList<QByteArray>() << -1 << 0;
    QTest::newRow("cannot open") << 1 << 5 << ok << QList<QByteArray>() << 15 << 0;
    QTest::newRow("export refused") << 1 << 0 << Rec::statusRecord('X') << QList<QByteArray>() << 9 << 0;
    QTest::newRow("no records") << 1 << 0 << Rec::statusRecord('A', 0) << QList<QByteArray>() << 0 << 0;
    QTest::newRow("announced after two empty passes")
        << 1 << 0 << ok << QList<QByteArray> { "", "", three, data.left(1638) } << 0 << 3;
    QTest::newRow("records in small pieces")
        << 1 << 0 << ok << QList<QByteArray> { three, data.left(1000), "", data.mid(1000) } << 0 << 3;
    QTest::newRow("announced count of zero")
        << 1 << 0 << ok << QList<QByteArray> { QByteArray("EXPTA\0\0\0", 8) } << 7 << 0;
    QTest::newRow("download stops short")
        << 1 << 0 << ok << QList<QByteArray> { three, data.left(1000), "!" } << 7 << 0;
    QTest::newRow("three empty reads") << 1 << 0 << ok << QList<QByteArray> { three, data.left(600), "", "", "" } << 7
                                       << 0;
    QTest::newRow("unplugged while waiting") << 1 << 0 << ok << QList<QByteArray> { "", "~" } << 9 << 0;
}

void OperationsTest::exportOutcomes()
{
    QFETCH(int, transport);
    QFETCH(int, failOpens);
    QFETCH(QByteArray, answer);
    QFETCH(QList<QByteArray>, bulk);
    QFETCH(int, expected);
    QFETCH(int, records);

    FakeClock clock;
    ScriptedDeviceIO io(transport);
    io.queueRead(answer);
    io.failOpens(failOpens);
    for (const QByteArray& b : bulk) {
        if (b == "!")
            io.queueBulkReadFailure(-7);
        else if (b == "~")
            io.queueBulkReadFailure(-4);
        else
            io.queueBulkRead(b);
    }
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    int count = -1;
    QCOMPARE(cmd.Export(&count), expected);
    if (transport == 1)
        QCOMPARE(io.closes, 1);

    QByteArray taken(records * 546 + 546, '\0');
    QCOMPARE(cmd.GetFingerData(reinterpret_cast<FG_DATAF_T*>(taken.data()), 4), records);
    if (records > 0) {
        QCOMPARE(count, records);
        QCOMPARE(taken.left(records * 546), fdlRecord("a", 1, 'a') + fdlRecord("b", 2, 'b') + fdlRecord("c", 3, 'c'));
        QCOMPARE(taken.mid(records * 546), QByteArray(546, '\0')); // asked for 4, only 3 exist
    }
    QCOMPARE(cmd.GetFingerData(reinterpret_cast<FG_DATAF_T*>(taken.data()), 3), 0); // handed over once
}

void OperationsTest::importStream()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    io.queueStatus('A');
    QByteArray records;
    for (int i = 0; i < 10; ++i)
        records += fdlRecord(QByteArray("user") + QByteArray::number(i), i, char('a' + i));
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    QCOMPARE(cmd.Import(reinterpret_cast<FG_DATAF_T*>(records.data()), 10), 0);
    QCOMPARE(io.writes, QList<QByteArray> { QByteArray("IMPT\0\0\x0A\0", 8) });
    QCOMPARE(io.bulkWrites.size(), 2);
    QCOMPARE(io.bulkWrites[0].size(), 4096);
    QCOMPARE(io.bulkWrites.join(), QByteArray("IMPT\0\0\x0A\0", 8) + records);
    QCOMPARE(io.opens, 1);
    QCOMPARE(io.closes, 1);
}

void OperationsTest::importOutcomes_data()
{
    QTest::addColumn<int>("failOpens");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("failBulk");
    QTest::addColumn<int>("bulkLimit");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QList<int>>("sleepsMs");

    const QByteArray ok = Rec::statusRecord('A');
    QTest::newRow("cannot open, no pauses") << 5 << ok << 0 << 0 << 15 << QList<int>();
    QTest::newRow("import refused") << 0 << Rec::statusRecord('B') << 0 << 0 << 4 << QList<int>();
    QTest::newRow("first upload fails, second works") << 0 << ok << 1 << 0 << 0 << QList<int> { 1000 };
    QTest::newRow("uploads fail three times") << 0 << ok << 3 << 0 << 17 << repeated(1000, 3);
    QTest::newRow("short bulk writes are continued") << 0 << ok << 0 << 1000 << 0 << QList<int>();
}

void OperationsTest::importOutcomes()
{
    QFETCH(int, failOpens);
    QFETCH(QByteArray, answer);
    QFETCH(int, failBulk);
    QFETCH(int, bulkLimit);
    QFETCH(int, expected);
    QFETCH(QList<int>, sleepsMs);

    FakeClock clock;
    ScriptedDeviceIO io(1);
    io.failOpens(failOpens);
    io.queueRead(answer);
    io.failBulkWrites(failBulk);
    io.bulkWriteLimit = bulkLimit;
    QByteArray records = fdlRecord("x", 1, 'x') + fdlRecord("y", 2, 'y');
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    QCOMPARE(cmd.Import(reinterpret_cast<FG_DATAF_T*>(records.data()), 2), expected);
    QCOMPARE(clock.sleepsMs(), sleepsMs);
    if (expected == 0)
        QCOMPARE(io.bulkWrites.join(), QByteArray("IMPT\0\0\x02\0", 8) + records);
    QCOMPARE(io.closes, 1);
}

void OperationsTest::importStatus_data()
{
    QTest::addColumn<QList<QByteArray>>("stus");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("sleeps");

    const QByteArray running = Rec::statusRecord('A', 0, 0);
    QTest::newRow("done") << QList<QByteArray> { running, Rec::statusRecord('A', 0, 1) } << 0 << 1;
    QTest::newRow("failed on the printer") << QList<QByteArray> { Rec::statusRecord('A', 0, 3) } << 5 << 0;
    QTest::newRow("busy") << QList<QByteArray> { Rec::statusRecord('B') } << 4 << 0;
    QTest::newRow("still running after 90 polls") << QList<QByteArray>(90, running) << 9 << 90;
}

void OperationsTest::importStatus()
{
    QFETCH(QList<QByteArray>, stus);
    QFETCH(int, expected);
    QFETCH(int, sleeps);

    FakeClock clock;
    ScriptedDeviceIO io(2);
    Responder printer;
    printer.queued["STUS"] = stus;
    printer.attach(io);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    QCOMPARE(cmd.GetImportStatus(), expected);
    QCOMPARE(clock.sleepsMs(), repeated(2000, sleeps));
}

void OperationsTest::bindingResetsState()
{
    FakeClock clock;
    FingCmd cmd;
    char uri[] = "socket://127.0.0.9";
    cmd.m_bIsFingerPrintCancel = true;
    cmd.SetFingCmdPrinter(uri, true);
    QVERIFY(cmd.m_bFingerPrint);
    QVERIFY(!cmd.m_bIsFingerPrintCancel);
    QCOMPARE(QByteArray(cmd.mPrinter.deviceUri), QByteArray(uri));
    QCOMPARE(cmd.m_pDeviceIO->type(), 2);

    QByteArray tooLong = "usb://" + QByteArray(300, 'x');
    cmd.SetFingCmdPrinter(tooLong.data());
    QVERIFY(!cmd.m_bFingerPrint);
    QCOMPARE(QByteArray(cmd.mPrinter.deviceUri), QByteArray()); // refused, not cut to another printer
}

QTEST_GUILESS_MAIN(OperationsTest)
#include "tst_operations.moc"
