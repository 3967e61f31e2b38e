// The simulated printer's fingerprint unit, driven frame by frame on a hand-moved clock.

#include "PrinterEngine.h"
#include "SnmpCodec.h"

#include <QtTest>

using namespace fpsim;

namespace
{

QByteArray hdr(const char* code, quint8 b4 = 0, quint8 b5 = 0, quint8 b6 = 0, quint8 b7 = 0)
{
    return wire::header(code, b4, b5, b6, b7);
}

QByteArray nameFrame(const char* code, const QByteArray& name, quint8 mode = 0)
{
    return hdr(code, quint8(name.size() & 0xFF), quint8(name.size() >> 8), 0, mode) + name;
}

QByteArray sta(char ack, quint16 length, quint8 status) { return wire::statusRecord(ack, length, status); }

struct Rig {
    ManualClock clock;
    PrinterConfig config;
    std::unique_ptr<PrinterEngine> engine;

    explicit Rig(PrinterConfig c = PrinterConfig())
        : config(c)
    {
        engine = std::make_unique<PrinterEngine>(config, clock);
    }
    // Sends a frame and collects every answer message, moving the clock as far as needed.
    QList<QByteArray> exchange(const QByteArray& frame, bool* dropped = nullptr)
    {
        engine->receiveFrame(frame, QStringLiteral("test"));
        QList<QByteArray> out;
        for (int guard = 0; guard < 1000; ++guard) {
            qint64 at = 0;
            const Availability a = engine->replyAvailability(&at);
            if (a == Availability::Nothing)
                break;
            if (a == Availability::Later) {
                clock.set(at);
                continue;
            }
            const auto m = engine->takeReply();
            if (m->dropConnection && dropped)
                *dropped = true;
            if (!m->dropConnection)
                out.append(m->bytes);
        }
        return out;
    }
    QByteArray answer(const QByteArray& frame)
    {
        const QList<QByteArray> all = exchange(frame);
        return all.isEmpty() ? QByteArray() : all.last();
    }
    quint8 stus() { return quint8(answer(hdr("STUS")).at(7)); }
    QByteArray bulkIn(int max)
    {
        for (int guard = 0; guard < 10; ++guard) {
            qint64 at = 0;
            const Availability a = engine->bulkInAvailability(&at);
            if (a == Availability::Ready)
                return engine->takeBulkIn(max);
            if (a == Availability::Nothing || at < 0)
                return QByteArray();
            clock.set(at);
        }
        return QByteArray();
    }
};

QByteArray importStream(const QList<wire::Record>& records, int declared = -1)
{
    QByteArray s = hdr("IMPT", 0, 0, quint8((declared < 0 ? records.size() : declared) & 0xFF),
        quint8((declared < 0 ? records.size() : declared) >> 8));
    for (const wire::Record& r : records)
        s += wire::encodeRecord(r);
    return s;
}

} // namespace

class TestFpsimEngine : public QObject
{
    Q_OBJECT

private slots:
    void wireLayouts();
    void commandAnswers_data();
    void commandAnswers();
    void badInputNeverTouchesTheStore_data();
    void badInputNeverTouchesTheStore();
    void verificationFinger_data();
    void verificationFinger();
    void automaticFinger();
    void enrolment_data();
    void enrolment();
    void import_data();
    void import();
    void exportStream();
    void faults_data();
    void faults();
    void stallAndUnplug();
    void printJobs_data();
    void printJobs();
    void storeIdsAndFiles();
    void snmpAnswer();
    void snmpRejects_data();
    void snmpRejects();
};

void TestFpsimEngine::wireLayouts()
{
    QCOMPARE(sta('A', 0x0102, 7), QByteArray("STA\0A\x02\x01\x07", 8));
    QCOMPARE(wire::statusRecord('A', 3, 0, wire::CodeExport), QByteArray("EXPTA\x03\x00\x00", 8));
    const QByteArray name32(32, 'n');
    const QByteArray result = wire::resultPayload(name32, 0x1234);
    QCOMPARE(result.size(), 34);
    QCOMPARE(result.mid(32), QByteArray("\x34\x12", 2));
    QCOMPARE(wire::nameFromField(result.constData()), name32); // no terminator: bounded at 32
    wire::Record r { QByteArray("bob"), 513, QByteArray(512, '\x7f') };
    const QByteArray bytes = wire::encodeRecord(r);
    QCOMPARE(bytes.size(), 546);
    QCOMPARE(bytes.mid(32, 2), QByteArray("\x01\x02", 2));
    QCOMPARE(wire::decodeRecord(bytes.constData()), r);
    wire::Header h;
    QVERIFY(wire::parseHeader(nameFrame("DELE", "abc", 1), &h));
    QCOMPARE(wire::expectedFrameSize(h), 8); // delete-all never carries a name
    QVERIFY(wire::parseHeader(nameFrame("DELE", "abc", 0), &h));
    QCOMPARE(wire::expectedFrameSize(h), 11);
    QVERIFY(wire::parseHeader(hdr("IMPT", 0, 0, 0x2C, 0x01), &h));
    QCOMPARE(int(h.importCount()), 300);
}

void TestFpsimEngine::commandAnswers_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("FING read off") << 0 << hdr("FING", 'R') << sta('A', 0, 0);
    QTest::newRow("FING read raw 3") << 3 << hdr("FING", 'R') << sta('A', 0, 3);
    QTest::newRow("FING read busy 4") << 4 << hdr("FING", 'R') << sta('A', 0, 4);
    QTest::newRow("FING write on") << 0 << hdr("FING", 'W', 0, 0, 1) << sta('A', 0, 1);
    QTest::newRow("FING write 7 refused") << 0 << hdr("FING", 'W', 0, 0, 7) << sta('E', 0, 0);
    QTest::newRow("FING mode X refused") << 0 << hdr("FING", 'X') << sta('E', 0, 0);
    QTest::newRow("CHCK enrolled") << 0 << nameFrame("CHCK", "alice") << sta('A', 0, 1);
    QTest::newRow("CHCK unknown") << 0 << nameFrame("CHCK", "zed") << sta('A', 0, 0);
    QTest::newRow("CHCK empty name") << 0 << nameFrame("CHCK", "") << sta('A', 0, 0);
    QTest::newRow("DELE unknown refused") << 0 << nameFrame("DELE", "zed") << sta('E', 0, 0);
    QTest::newRow("DELE one") << 0 << nameFrame("DELE", "alice") << sta('A', 0, 0);
    QTest::newRow("DELE all") << 0 << hdr("DELE", 0, 0, 0, 1) << sta('A', 0, 0);
    QTest::newRow("DELE mode 2 refused") << 0 << hdr("DELE", 0, 0, 0, 2) << sta('E', 0, 0);
    QTest::newRow("CANL") << 0 << hdr("CANL") << sta('A', 0, 0);
    QTest::newRow("DISC") << 0 << hdr("DISC") << sta('A', 0, 0);
    QTest::newRow("STUS idle") << 0 << hdr("STUS") << sta('A', 0, 0);
    QTest::newRow("GETR nothing") << 0 << hdr("GETR") << sta('A', 0, 0);
    QTest::newRow("ADDF") << 0 << nameFrame("ADDF", "carol") << sta('A', 0, 0);
    QTest::newRow("ADDF empty refused") << 0 << nameFrame("ADDF", "") << sta('E', 0, 0);
    QTest::newRow("ADDS out of order") << 0 << hdr("ADDS") << sta('E', 0, 0);
    QTest::newRow("IMPT") << 0 << hdr("IMPT", 0, 0, 2, 0) << sta('A', 0, 0);
    QTest::newRow("IMPT beyond capacity") << 0 << hdr("IMPT", 0, 0, 0xE9, 0x03) << sta('E', 0, 0);
    QTest::newRow("EXPT two records") << 0 << hdr("EXPT") << sta('A', 2, 0);
}

void TestFpsimEngine::commandAnswers()
{
    QFETCH(int, state);
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    Rig rig;
    rig.engine->setAuthState(state);
    rig.engine->addUser("alice");
    rig.engine->addUser("bob");
    const QList<QByteArray> answers = rig.exchange(frame);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers.first(), expected);
    const bool deletes = frame.startsWith("DELE") && expected.at(4) == 'A';
    const int remaining = rig.engine->records().size();
    QCOMPARE(remaining, !deletes ? 2 : (frame.at(7) == 1 ? 0 : 1));
}

void TestFpsimEngine::badInputNeverTouchesTheStore_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("three bytes") << QByteArray("FIN");
    QTest::newRow("unknown code") << hdr("ZZZZ");
    QTest::newRow("lower-case code") << hdr("fing", 'R');
    QTest::newRow("STUS with a tail") << hdr("STUS") + "x";
    QTest::newRow("name cut short") << hdr("DELE", 5) + "ali";
    QTest::newRow("name longer than said") << hdr("DELE", 2) + "alice";
    QTest::newRow("name over 32 bytes") << nameFrame("DELE", QByteArray(40, 'a'));
    QTest::newRow("ADDF length 65535") << hdr("ADDF", 0xFF, 0xFF) + "x";
    QTest::newRow("ADDS without ADDF") << hdr("ADDS");
    QTest::newRow("random bytes") << QByteArray::fromHex("00ff1c2d4e41424300");
}

void TestFpsimEngine::badInputNeverTouchesTheStore()
{
    QFETCH(QByteArray, frame);
    Rig rig;
    rig.engine->addUser("alice");
    const QByteArray before = rig.engine->storeBytes();
    const QList<QByteArray> answers = rig.exchange(frame);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers.first().size(), 8);
    QCOMPARE(answers.first().left(4), wire::CodeStatus);
    QCOMPARE(answers.first().at(4), wire::AckRefused);
    QCOMPARE(rig.engine->storeBytes(), before);
    QVERIFY(rig.engine->frameLog().last().verdict.startsWith(QLatin1String("refused")));
    // The printer still works afterwards.
    QCOMPARE(rig.answer(nameFrame("CHCK", "alice")), sta('A', 0, 1));
}

void TestFpsimEngine::verificationFinger_data()
{
    QTest::addColumn<QString>(
        "script"); // who:when  with who = alice|unknown|none, when = now|after|next|before|waiting|waiting-before
    QTest::addColumn<int>("statusAt500ms");
    QTest::addColumn<int>("statusAt3s");
    QTest::addColumn<QByteArray>("resultName");

    QTest::newRow("alice now") << "alice:now" << 1 << 1 << QByteArray("alice");
    QTest::newRow("bob after 2s") << "bob:after" << 0 << 1 << QByteArray("bob");
    QTest::newRow("unknown now") << "unknown:now" << 2 << 2 << QByteArray();
    QTest::newRow("alice at next wait") << "alice:next" << 1 << 1 << QByteArray("alice");
    QTest::newRow("alice in the current wait") << "alice:waiting" << 1 << 1 << QByteArray("alice");
    QTest::newRow("alice waiting, scripted before") << "alice:waiting-before" << 1 << 1 << QByteArray("alice");
    QTest::newRow("pressed before waiting is lost") << "alice:before" << 0 << 0 << QByteArray();
    QTest::newRow("nothing") << "none:now" << 0 << 0 << QByteArray();
    QTest::newRow("never enrolled name") << "mallory:now" << 2 << 2 << QByteArray();
}

void TestFpsimEngine::verificationFinger()
{
    QFETCH(QString, script);
    QFETCH(int, statusAt500ms);
    QFETCH(int, statusAt3s);
    QFETCH(QByteArray, resultName);
    Rig rig;
    rig.engine->addUser("alice");
    rig.engine->addUser("bob");
    const QString who = script.section(QLatin1Char(':'), 0, 0);
    const QString when = script.section(QLatin1Char(':'), 1, 1);
    FingerPress press;
    press.who = who == QLatin1String("unknown") ? FingerPress::Who::Unknown : FingerPress::Who::User;
    press.user = who.toLatin1();
    if (when == QLatin1String("before")) {
        rig.engine->pressFinger(press); // reader idle: nobody waits for it
        rig.clock.advance(10);
    }
    if (when == QLatin1String("next") || when == QLatin1String("waiting-before")) {
        press.when = when == QLatin1String("next") ? FingerPress::When::NextWait : FingerPress::When::Waiting;
        rig.engine->pressFinger(press);
        rig.clock.advance(5000); // scripted long before the wait: still used
    }
    QCOMPARE(rig.answer(hdr("DISC")), sta('A', 0, 0));
    press.when = when == QLatin1String("waiting") ? FingerPress::When::Waiting : press.when;
    if ((when == QLatin1String("now") || when == QLatin1String("waiting")) && who != QLatin1String("none"))
        rig.engine->pressFinger(press);
    if (when == QLatin1String("after")) {
        press.when = FingerPress::When::AfterDelay;
        press.delayMs = 2000;
        rig.engine->pressFinger(press);
    }
    rig.clock.advance(500);
    QCOMPARE(int(rig.stus()), statusAt500ms);
    rig.clock.advance(2500);
    QCOMPARE(int(rig.stus()), statusAt3s);
    const QByteArray getr = rig.answer(hdr("GETR"));
    if (resultName.isEmpty()) {
        QCOMPARE(getr, sta('A', 0, 0));
    } else {
        QCOMPARE(getr.size(), 42);
        QCOMPARE(getr.left(8), sta('A', 34, 1));
        QCOMPARE(wire::nameFromField(getr.constData() + 8), resultName);
        QCOMPARE(wire::u16At(getr, 40), rig.engine->records().at(resultName == "alice" ? 0 : 1).id);
    }
}

void TestFpsimEngine::automaticFinger()
{
    PrinterConfig c;
    c.autoFinger = true;
    c.autoFingerMinMs = 1000;
    c.autoFingerMaxMs = 2000;
    Rig rig(c);
    rig.engine->addUser("dave");
    // Verification: a matching finger 1-2 s after the wait starts.
    rig.answer(hdr("DISC"));
    rig.clock.advance(999);
    QCOMPARE(int(rig.stus()), 0);
    rig.clock.advance(1001);
    QCOMPARE(int(rig.stus()), 1);
    QCOMPARE(wire::nameFromField(rig.answer(hdr("GETR")).constData() + 8), QByteArray("dave"));
    // Enrolment: the same new finger twice.
    rig.answer(nameFrame("ADDF", "erin"));
    rig.clock.advance(2000);
    QCOMPARE(int(rig.stus()), 1);
    QCOMPARE(rig.answer(hdr("ADDS")), sta('A', 0, 0));
    QCOMPARE(int(rig.stus()), 0);
    rig.clock.advance(2000);
    QCOMPARE(int(rig.stus()), 1);
    QVERIFY(rig.engine->records().size() == 2);
    // Switched off: nothing more happens.
    rig.engine->setAutoFinger(false);
    rig.answer(hdr("DISC"));
    rig.clock.advance(10000);
    QCOMPARE(int(rig.stus()), 0);
}

void TestFpsimEngine::enrolment_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("firstStatus");
    QTest::addColumn<int>("secondStatus");

    QTest::newRow("same finger twice") << "frank"
                                       << "frank"
                                       << "" << 1000 << 1 << 1;
    QTest::newRow("unknown finger twice differs") << "unknown"
                                                  << "unknown"
                                                  << "" << 1000 << 1 << 2;
    QTest::newRow("two different fingers") << "frank"
                                           << "alice"
                                           << "" << 1000 << 1 << 2;
    QTest::newRow("store full") << "frank"
                                << "frank"
                                << "" << 1 << 1 << 2;
    QTest::newRow("fault at ADDS") << "frank"
                                   << "frank"
                                   << "fail code=ADDS" << 1000 << 1 << 2;
    QTest::newRow("fault at ADDF") << "frank"
                                   << "frank"
                                   << "fail code=ADDF" << 1000 << 2 << -1;
}

void TestFpsimEngine::enrolment()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, fault);
    QFETCH(int, capacity);
    QFETCH(int, firstStatus);
    QFETCH(int, secondStatus);
    Rig rig;
    rig.engine->addUser("alice");
    rig.engine->setCapacity(capacity);
    if (!fault.isEmpty())
        rig.engine->addFault(*FaultRule::parse(fault));
    auto press = [&](const QString& who) {
        FingerPress p;
        p.who = who == QLatin1String("unknown") ? FingerPress::Who::Unknown : FingerPress::Who::User;
        p.user = who.toLatin1();
        rig.engine->pressFinger(p);
    };
    QCOMPARE(rig.answer(nameFrame("ADDF", "frank")), sta('A', 0, 0));
    QCOMPARE(int(rig.stus()), 0);
    press(first);
    QCOMPARE(int(rig.stus()), firstStatus);
    QCOMPARE(rig.answer(hdr("GETR")), sta('A', 0, 0)); // step one has no record yet
    if (secondStatus < 0) {
        QCOMPARE(rig.answer(hdr("ADDS")).at(4), wire::AckRefused);
        QCOMPARE(rig.engine->records().size(), 1);
        return;
    }
    QCOMPARE(rig.answer(hdr("ADDS")), sta('A', 0, 0));
    press(second);
    QCOMPARE(int(rig.stus()), secondStatus);
    const QByteArray getr = rig.answer(hdr("GETR"));
    if (secondStatus == 1) {
        QCOMPARE(getr.size(), 42);
        QCOMPARE(wire::nameFromField(getr.constData() + 8), QByteArray("frank"));
        QCOMPARE(int(wire::u16At(getr, 40)), 2);
        QCOMPARE(rig.engine->records().size(), 2);
        // The enrolled finger now verifies.
        rig.answer(hdr("DISC"));
        press(QStringLiteral("frank"));
        QCOMPARE(int(rig.stus()), 1);
    } else {
        QCOMPARE(getr, sta('A', 0, 0));
        QCOMPARE(rig.engine->records().size(), 1);
    }
}

void TestFpsimEngine::import_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("corruptHeader");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("finalStatus");
    QTest::addColumn<int>("finalCount");

    QTest::newRow("adds and replaces") << "" << false << 1000 << 1 << 3;
    QTest::newRow("reported failure") << "importfail" << false << 1000 << 2 << 2;
    QTest::newRow("stream without header") << "" << true << 1000 << 2 << 2;
    QTest::newRow("does not fit") << "" << false << 2 << 2 << 2;
}

void TestFpsimEngine::import()
{
    QFETCH(QString, fault);
    QFETCH(bool, corruptHeader);
    QFETCH(int, capacity);
    QFETCH(int, finalStatus);
    QFETCH(int, finalCount);
    Rig rig;
    rig.engine->addUser("alice");
    rig.engine->addUser("bob");
    rig.engine->setCapacity(capacity);
    if (!fault.isEmpty())
        rig.engine->addFault(*FaultRule::parse(fault));
    const wire::Record newAlice { "alice", 40, QByteArray(512, '\x11') };
    const wire::Record carol { "carol", 2, QByteArray(512, '\x22') }; // ID 2 is bob's: gets a free one
    QByteArray stream = importStream({ newAlice, carol });
    if (corruptHeader)
        stream[0] = 'X';
    QCOMPARE(rig.answer(hdr("IMPT", 0, 0, 2, 0)), sta('A', 0, 0));
    QVERIFY(rig.engine->expectsBulkOut());
    // Arrives in pieces, as the host writes at most 4096 bytes at a time (here smaller).
    for (int off = 0; off < stream.size(); off += 500)
        QCOMPARE(rig.engine->receiveBulk(stream.mid(off, 500), "test"), BulkOutResult::Accepted);
    QVERIFY(!rig.engine->expectsBulkOut());
    QCOMPARE(rig.engine->receiveBulk("surplus", "test"), BulkOutResult::NotExpected);
    QCOMPARE(int(rig.stus()), 0); // still working
    rig.clock.advance(rig.config.importTimeMs);
    QCOMPARE(int(rig.stus()), finalStatus);
    const QList<wire::Record> records = rig.engine->records();
    QCOMPARE(records.size(), finalCount);
    if (finalStatus == 1) {
        QCOMPARE(records[0].name, QByteArray("alice"));
        QCOMPARE(records[0].id, quint16(1));
        QCOMPARE(records[0].feature, newAlice.feature);
        QCOMPARE(records[2].name, QByteArray("carol"));
        QCOMPARE(records[2].id, quint16(3));
    } else {
        QCOMPARE(records[0].feature, PrinterEngine::fingerTemplateOf("alice"));
    }
}

void TestFpsimEngine::exportStream()
{
    Rig rig;
    for (int i = 0; i < 9; ++i)
        rig.engine->addUser("user" + QByteArray::number(i));
    QCOMPARE(rig.answer(hdr("EXPT")), sta('A', 9, 0));
    qint64 at = 0;
    QCOMPARE(rig.engine->bulkInAvailability(&at), Availability::Later);
    QCOMPARE(at, qint64(rig.config.exportDelayMs));
    QCOMPARE(rig.bulkIn(8), wire::statusRecord('A', 9, 0, wire::CodeExport));
    QByteArray data;
    for (QByteArray piece; !(piece = rig.bulkIn(4096)).isEmpty();) {
        QVERIFY(piece.size() <= 4096);
        data += piece;
    }
    QCOMPARE(data, rig.engine->storeBytes());
    QCOMPARE(rig.engine->bulkInAvailability(), Availability::Nothing);
    // An empty store announces no records and sends nothing later.
    rig.engine->clearStore();
    QCOMPARE(rig.answer(hdr("EXPT")), sta('A', 0, 0));
    rig.clock.advance(10000);
    QCOMPARE(rig.engine->bulkInAvailability(), Availability::Nothing);
}

void TestFpsimEngine::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QList<QByteArray>>("expected");
    QTest::addColumn<int>("state"); // authentication state afterwards (FING W 1 executed or not)
    QTest::addColumn<int>("firstAt");

    const QByteArray on = hdr("FING", 'W', 0, 0, 1);
    const QByteArray ok = sta('A', 0, 1);
    const QByteArray n = sta('N', 0, 0);
    const QByteArray p = wire::progressPacket();
    using L = QList<QByteArray>;
    QTest::newRow("busy") << "busy" << on << L { sta('B', 0, 0) } << 0 << 0;
    QTest::newRow("refuse") << "refuse code=FING" << on << L { sta('E', 0, 0) } << 0 << 0;
    QTest::newRow("refuse other code") << "refuse code=DISC" << on << L { ok } << 1 << 0;
    QTest::newRow("not ready 3") << "notready=3" << on << L { n, n, n, ok } << 1 << 0;
    QTest::newRow("progress 2") << "progress=2" << on << L { p, p, ok } << 1 << 0;
    QTest::newRow("progress and not ready") << "progress" << on << L { p, ok } << 1 << 0;
    QTest::newRow("malformed") << "malformed" << on << L { QByteArray("STAXA\0\0\x01", 8) } << 1 << 0;
    QTest::newRow("short") << "short" << on << L { ok.left(5) } << 1 << 0;
    QTest::newRow("short 0") << "short=0" << on << L { QByteArray() } << 1 << 0;
    QTest::newRow("oversize") << "oversize=4" << on << L { ok + "ZZZZ" } << 1 << 0;
    QTest::newRow("delay") << "delay=700" << on << L { ok } << 1 << 700;
    QTest::newRow("drop") << "drop" << on << L {} << 0 << 0;
}

void TestFpsimEngine::faults()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, frame);
    QFETCH(QList<QByteArray>, expected);
    QFETCH(int, state);
    QFETCH(int, firstAt);
    QString why;
    const auto rule = FaultRule::parse(fault, &why);
    QVERIFY2(rule.has_value(), qPrintable(why));
    {
        Rig probe;
        probe.engine->addFault(*rule);
        probe.engine->receiveFrame(frame, "test");
        qint64 at = -1;
        QVERIFY(probe.engine->replyAvailability(&at) != Availability::Nothing);
        QCOMPARE(at, qint64(firstAt));
    }
    Rig rig;
    bool dropped = false;
    rig.engine->addFault(*rule);
    const QList<QByteArray> answers = rig.exchange(frame, &dropped);
    QCOMPARE(answers, expected);
    QCOMPARE(dropped, fault == QLatin1String("drop"));
    QCOMPARE(rig.engine->authState(), state);
    QVERIFY(rig.engine->frameLog().last().verdict.contains(QLatin1String("[fault"))
        || fault.contains(QLatin1String("DISC")));
    // Count 1 by default: the next frame is answered normally.
    QCOMPARE(rig.exchange(hdr("FING", 'R')), QList<QByteArray> { sta('A', 0, quint8(state)) });
}

void TestFpsimEngine::stallAndUnplug()
{
    Rig rig;
    rig.engine->addUser("alice");
    // A stalled export never delivers; clearing faults releases it.
    rig.engine->addFault(*FaultRule::parse("stall code=EXPT"));
    QCOMPARE(rig.answer(hdr("EXPT")), sta('A', 1, 0));
    rig.clock.advance(5000);
    qint64 at = 0;
    QCOMPARE(rig.engine->bulkInAvailability(&at), Availability::Later);
    QCOMPARE(at, qint64(-1));
    rig.engine->clearFaults();
    QCOMPARE(rig.bulkIn(8).left(4), wire::CodeExport);
    // A stalled import takes nothing.
    rig.engine->addFault(*FaultRule::parse("stall code=IMPT"));
    rig.answer(hdr("IMPT", 0, 0, 1, 0));
    QCOMPARE(
        rig.engine->receiveBulk(importStream({ { "x", 9, QByteArray(512, 'x') } }), "test"), BulkOutResult::Stalled);
    // Unplug by fault: no answer, frames ignored until plugged in again.
    rig.engine->addFault(*FaultRule::parse("unplug code=STUS"));
    QCOMPARE(rig.exchange(hdr("STUS")), QList<QByteArray> {});
    QVERIFY(rig.engine->isUnplugged());
    QCOMPARE(rig.exchange(hdr("FING", 'R')), QList<QByteArray> {});
    rig.engine->setUnplugged(false);
    QCOMPARE(rig.exchange(hdr("FING", 'R')), QList<QByteArray> { sta('A', 0, 0) });
    QCOMPARE(rig.engine->records().size(), 1);
    // "for the next N commands": any code, N frames.
    rig.engine->addFault(*FaultRule::parse("busy count=2"));
    QCOMPARE(rig.answer(hdr("STUS")).at(4), 'B');
    QCOMPARE(rig.answer(hdr("DISC")).at(4), 'B');
    QCOMPARE(rig.answer(hdr("STUS")).at(4), 'A');
    // count=0: every matching frame until cleared.
    rig.engine->addFault(*FaultRule::parse("notready=1 code=STUS count=0"));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(rig.exchange(hdr("STUS")).size(), 2);
    QCOMPARE(rig.engine->faults().size(), 1);
}

void TestFpsimEngine::printJobs_data()
{
    // Steps: "state=N", "job" (a whole job), "begin"/"end" (a job in two halves), "DISC"/"CANL"
    // (frames), "alice"/"unknown" (a finger now), "wait=MS", "unplug".
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("states"); // each job's state afterwards, oldest first

    QTest::newRow("off: printed at once") << "job"
                                          << "printed";
    QTest::newRow("raw state 3 is not on") << "state=3 job"
                                           << "printed";
    QTest::newRow("on: held") << "state=1 job wait=60000"
                              << "held";
    QTest::newRow("match releases") << "state=1 job DISC alice"
                                    << "printed";
    QTest::newRow("unknown finger drops") << "state=1 job DISC unknown"
                                          << "dropped";
    QTest::newRow("cancel while waiting drops") << "state=1 job DISC CANL"
                                                << "dropped";
    QTest::newRow("cancel before any verification drops") << "state=1 job CANL"
                                                          << "dropped";
    QTest::newRow("wait not yet run out") << "state=1 job DISC wait=49999"
                                          << "held";
    QTest::newRow("wait ran out") << "state=1 job DISC wait=50000"
                                  << "dropped";
    QTest::newRow("cancel after a failure spares the next job") << "state=1 job job DISC unknown CANL"
                                                                << "dropped,held";
    QTest::newRow("oldest first") << "state=1 job job DISC alice"
                                  << "printed,held";
    QTest::newRow("two verifications, two jobs") << "state=1 job job DISC unknown DISC alice"
                                                 << "dropped,printed";
    QTest::newRow("match while the job arrives") << "state=1 begin DISC alice end"
                                                 << "printed";
    QTest::newRow("match with nothing held is spent") << "state=1 DISC alice job"
                                                      << "held";
    QTest::newRow("job after a decision can be cancelled") << "state=1 job DISC alice job CANL"
                                                           << "printed,dropped";
    QTest::newRow("cut off by unplugging") << "state=1 job begin unplug end"
                                           << "held,dropped";
}

void TestFpsimEngine::printJobs()
{
    QFETCH(QString, steps);
    QFETCH(QString, states);
    Rig rig;
    rig.engine->addUser("alice");
    int open = -1;
    int n = 0;
    for (const QString& step : steps.split(QLatin1Char(' '))) {
        const QByteArray part = "job part " + QByteArray::number(++n) + ";";
        if (step.startsWith(QLatin1String("state=")))
            rig.engine->setAuthState(step.mid(6).toInt());
        else if (step == QLatin1String("job")) {
            const int id = rig.engine->beginJob("test");
            rig.engine->receiveJobData(id, part);
            rig.engine->receiveJobData(id, part);
            rig.engine->endJob(id);
        } else if (step == QLatin1String("begin")) {
            open = rig.engine->beginJob("test");
            rig.engine->receiveJobData(open, part);
        } else if (step == QLatin1String("end")) {
            rig.engine->receiveJobData(open, part);
            rig.engine->endJob(open);
        } else if (step == QLatin1String("DISC") || step == QLatin1String("CANL"))
            QCOMPARE(rig.answer(hdr(qPrintable(step))), sta('A', 0, 0));
        else if (step == QLatin1String("alice") || step == QLatin1String("unknown")) {
            FingerPress press;
            press.who = step == QLatin1String("alice") ? FingerPress::Who::User : FingerPress::Who::Unknown;
            press.user = step.toLatin1();
            rig.engine->pressFinger(press);
        } else if (step.startsWith(QLatin1String("wait=")))
            rig.clock.advance(step.mid(5).toInt());
        else if (step == QLatin1String("unplug"))
            rig.engine->setUnplugged(true);
        else
            QFAIL(qPrintable("bad step " + step));
    }
    QStringList actual;
    const QList<PrintJob> jobs = rig.engine->jobs();
    for (const PrintJob& j : jobs) {
        actual << PrintJob::stateName(j.state);
        // Every job keeps the bytes it received, whatever became of it.
        QVERIFY(j.data.startsWith("job part "));
        QCOMPARE(j.data.count(';'), j.state == JobState::Dropped && steps.contains("unplug") ? 1 : 2);
    }
    QCOMPARE(actual.join(QLatin1Char(',')), states);
    QCOMPARE(rig.engine->job(jobs.first().id)->toString(),
        QStringLiteral("id=1 state=%1 bytes=%2 via=test").arg(actual.first()).arg(jobs.first().data.size()));
}

void TestFpsimEngine::storeIdsAndFiles()
{
    FingerprintStore store(3);
    QCOMPARE(int(store.nextFreeId()), 1);
    store.put("a", QByteArray(512, 'a'));
    store.put("b", QByteArray(512, 'b'), 7);
    QCOMPARE(int(store.nextFreeId()), 2);
    QCOMPARE(int(store.put("c", QByteArray(512, 'c'), 7)->id), 2); // 7 is taken
    QVERIFY(!store.put("d", QByteArray(512, 'd')).has_value()); // full
    QCOMPARE(int(store.put("a", QByteArray(512, 'z'))->id), 1); // replacing works when full
    QVERIFY(store.remove("c"));
    QCOMPARE(int(store.nextFreeId()), 2);

    const QByteArray bytes = store.serialize();
    FingerprintStore copy;
    QVERIFY(copy.deserialize(bytes));
    QCOMPARE(copy.records(), store.records());
    QString why;
    QVERIFY(!copy.deserialize(bytes.left(545), &why));
    QVERIFY(!copy.deserialize(bytes + bytes, &why)); // repeated names
    QByteArray noName = bytes;
    noName[0] = '\0';
    QVERIFY(!copy.deserialize(noName, &why));
    QCOMPARE(copy.records(), store.records()); // failed loads change nothing
}

void TestFpsimEngine::snmpAnswer()
{
    // The 47-byte request the host sends.
    const QByteArray request = QByteArray::fromHex("302d02010004066d627a6c7174a020020104020100020100301530130"
                                                   "60f2b06010401950b0102010201010301"
                                                   "0500");
    QCOMPARE(request.size(), 47);
    const QByteArray id = "MFG:Simulated;CMD:PJL;MDL:ZPH6100RMX;CLS:PRINTER;";
    const auto reply = snmp::answer(request, id);
    QVERIFY(reply.has_value());
    // Generic BER walk: SEQUENCE { version, community, GetResponse { id, 0, 0, { { OID, OCTETS } } } }
    snmp::Element msg;
    QVERIFY(snmp::readElement(*reply, 0, &msg));
    QCOMPARE(msg.headerSize + msg.content.size(), reply->size());
    QList<snmp::Element> top, pdu, list, bind;
    QVERIFY(snmp::readChildren(msg.content, &top));
    QCOMPARE(top.size(), 3);
    QCOMPARE(top[1].content, QByteArray("mbzlqt"));
    QCOMPARE(int(top[2].tag), 0xA2);
    QVERIFY(snmp::readChildren(top[2].content, &pdu));
    QCOMPARE(pdu[0].content, QByteArray(1, 4));
    QCOMPARE(pdu[1].content, QByteArray(1, 0));
    QVERIFY(snmp::readChildren(pdu[3].content, &list));
    QVERIFY(snmp::readChildren(list[0].content, &bind));
    QCOMPARE(bind[0].content, snmp::DeviceIdOid);
    QCOMPARE(int(bind[1].tag), 0x04);
    QVERIFY(bind[1].content.contains("MDL:ZPH6100RMX;"));
    // The host copies (length - 60) bytes from offset 59: exactly the device ID text.
    QCOMPARE(reply->mid(59, reply->size() - 60), id);
}

void TestFpsimEngine::snmpRejects_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("answered");
    const QByteArray good = QByteArray::fromHex(
        "302d02010004066d627a6c7174a02002010402010002010030153013060f2b06010401950b01020102010103010500");
    QByteArray v2 = good;
    v2[4] = 1;
    QByteArray otherOid = good;
    otherOid[44] = 2;
    QByteArray getNext = good;
    getNext[13] = char(0xA1);
    QTest::newRow("v2c ignored") << v2 << false;
    QTest::newRow("GetNext ignored") << getNext << false;
    QTest::newRow("cut short") << good.left(30) << false;
    QTest::newRow("garbage") << QByteArray("hello printer") << false;
    QTest::newRow("length says more") << QByteArray::fromHex("30ff0201") << false;
    QTest::newRow("other OID: noSuchName") << otherOid << true;
}

void TestFpsimEngine::snmpRejects()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, answered);
    const auto reply = snmp::answer(request, "MDL:x;");
    QCOMPARE(reply.has_value(), answered);
    if (answered) {
        snmp::Element msg;
        QList<snmp::Element> top, pdu;
        QVERIFY(snmp::readElement(*reply, 0, &msg));
        QVERIFY(snmp::readChildren(msg.content, &top));
        QVERIFY(snmp::readChildren(top[2].content, &pdu));
        QCOMPARE(pdu[1].content, QByteArray(1, 2)); // noSuchName
        QCOMPARE(pdu[2].content, QByteArray(1, 1));
    }
}

QTEST_GUILESS_MAIN(TestFpsimEngine)
#include "tst_fpsim_engine.moc"
