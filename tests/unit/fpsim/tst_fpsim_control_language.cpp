// The control language that tests and people use to script the simulated printer.

#include "ControlInterpreter.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace fpsim;

class TestFpsimControlLanguage : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void storeFiles();
    void jobFiles();
    void fingerAndFaults();
    void namesOfAnyBytes();
};

void TestFpsimControlLanguage::commands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("firstLine");

    QTest::newRow("ping") << "ping" << true << "";
    QTest::newRow("state read") << "state" << true << "state=0";
    QTest::newRow("state set raw 3") << "state 3" << true << "state=3";
    QTest::newRow("state 256") << "state 256" << false << "";
    QTest::newRow("count") << "store count" << true << "count=1 capacity=1000 next=2";
    QTest::newRow("add with id") << "store add bob 9" << true << "id=9 name=bob";
    QTest::newRow("add 33 bytes") << "store add " + QString(33, QLatin1Char('x')) << false << "";
    QTest::newRow("remove unknown") << "store remove zed" << false << "";
    QTest::newRow("list") << "store list" << true << "id=1 name=alice";
    QTest::newRow("status") << "status" << true
                            << "state=0 operation=none status=0 waiting=0 records=1 unplugged=0 auto=0";
    QTest::newRow("info") << "info" << true << "model=ZPH6100RMX";
    QTest::newRow("press without name") << "finger press" << false << "";
    QTest::newRow("press bad when") << "finger press alice soon" << false << "";
    QTest::newRow("fault unknown kind") << "fault explode" << false << "";
    QTest::newRow("fault bad code") << "fault busy code=TOOLONG" << false << "";
    QTest::newRow("jobs, none") << "jobs" << true << "";
    QTest::newRow("save a missing job") << "jobs save 7 /nonexistent/x" << false << "";
    QTest::newRow("save job zero") << "jobs save 0 x" << false << "";
    QTest::newRow("jobs odd word") << "jobs print" << false << "";
    QTest::newRow("unknown verb") << "dance" << false << "";
    QTest::newRow("empty") << "   " << false << "";
}

void TestFpsimControlLanguage::commands()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(QString, firstLine);
    ManualClock clock;
    PrinterEngine engine(PrinterConfig(), clock);
    engine.addUser("alice");
    ControlInterpreter interpreter(engine);
    QStringList lines;
    QString error;
    QCOMPARE(interpreter.execute(line, &lines, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (!firstLine.isEmpty())
        QCOMPARE(lines.value(0), firstLine);
}

void TestFpsimControlLanguage::storeFiles()
{
    QTemporaryDir dir;
    ManualClock clock;
    PrinterEngine engine(PrinterConfig(), clock);
    ControlInterpreter ci(engine);
    QStringList lines;
    QString error;
    QVERIFY(ci.execute("store add alice", &lines, &error));
    QVERIFY(ci.execute("store add bob", &lines, &error));
    const QString path = dir.filePath("s.fdl");
    QVERIFY(ci.execute("store save " + path, &lines, &error));
    QCOMPARE(QFileInfo(path).size(), 2 * 546);
    QVERIFY(ci.execute("store clear", &lines, &error));
    QVERIFY(engine.records().isEmpty());
    lines.clear();
    QVERIFY(ci.execute("store load " + path, &lines, &error));
    QCOMPARE(lines, QStringList { "count=2" });
    QCOMPARE(engine.records().at(1).name, QByteArray("bob"));
    QFile bad(dir.filePath("bad.fdl"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a store");
    bad.close();
    QVERIFY(!ci.execute("store load " + bad.fileName(), &lines, &error));
    QVERIFY(error.startsWith("bad store file"));
    QCOMPARE(engine.records().size(), 2);
    QVERIFY(!ci.execute("store load " + dir.filePath("missing"), &lines, &error));
}

void TestFpsimControlLanguage::jobFiles()
{
    QTemporaryDir dir;
    ManualClock clock;
    PrinterEngine engine(PrinterConfig(), clock);
    ControlInterpreter ci(engine);
    QStringList lines;
    QString error;
    QVERIFY(ci.execute("state 1", &lines, &error));
    const char raw[] = "%!PS\n\x00\xff binary too\n";
    const QByteArray data(raw, sizeof raw - 1); // 19 bytes, a zero among them
    const int id = engine.beginJob("net");
    engine.receiveJobData(id, data);
    engine.endJob(id);
    lines.clear();
    QVERIFY(ci.execute("jobs", &lines, &error));
    QCOMPARE(lines, QStringList { "id=1 state=held bytes=19 via=net" });
    const QString path = dir.filePath("job one.prn");
    QVERIFY2(ci.execute("jobs save 1 " + path, &lines, &error), qPrintable(error));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), data);
    QVERIFY(!ci.execute("jobs save 1 " + dir.filePath("missing/x"), &lines, &error));
    QVERIFY(ci.execute("jobs clear", &lines, &error));
    lines.clear();
    QVERIFY(ci.execute("jobs", &lines, &error));
    QVERIFY(lines.isEmpty());
}

void TestFpsimControlLanguage::fingerAndFaults()
{
    ManualClock clock;
    PrinterEngine engine(PrinterConfig(), clock);
    ControlInterpreter ci(engine);
    QStringList lines;
    QString error;
    QVERIFY(ci.execute("store add alice", &lines, &error));
    QVERIFY(ci.execute("finger press alice next delay=300", &lines, &error));
    engine.receiveFrame(wire::header("DISC"), "test");
    clock.advance(299);
    QVERIFY(engine.describe().contains("waiting=1"));
    clock.advance(1);
    QVERIFY(engine.describe().contains("status=1 waiting=0"));
    QVERIFY(ci.execute("finger unknown after=100", &lines, &error));
    QVERIFY(ci.execute("finger none", &lines, &error));
    engine.receiveFrame(wire::header("DISC"), "test");
    clock.advance(1000);
    QVERIFY(engine.describe().contains("status=0 waiting=1"));
    QVERIFY(ci.execute("finger auto on", &lines, &error));
    QVERIFY(engine.autoFinger());

    QVERIFY(ci.execute("fault notready=2 code=STUS count=3", &lines, &error));
    QVERIFY(ci.execute("fault importfail", &lines, &error));
    lines.clear();
    QVERIFY(ci.execute("fault list", &lines, &error));
    QCOMPARE(lines, (QStringList { "notready=2 code=STUS count=3", "fail code=IMPT count=1" }));
    QVERIFY(ci.execute("fault clear", &lines, &error));
    QVERIFY(engine.faults().isEmpty());

    lines.clear();
    QVERIFY(ci.execute("log", &lines, &error));
    QVERIFY(lines.size() >= 2);
    QVERIFY(lines.first().contains(" test DISC 44495343"));
    QVERIFY(ci.execute("unplug", &lines, &error));
    QVERIFY(engine.isUnplugged());
    QVERIFY(ci.execute("plug", &lines, &error));
    QVERIFY(!engine.isUnplugged());
    bool quit = false;
    ci.setQuitHandler([&quit] { quit = true; });
    QVERIFY(ci.execute("quit", &lines, &error));
    QVERIFY(quit);
}

void TestFpsimControlLanguage::namesOfAnyBytes()
{
    ManualClock clock;
    PrinterEngine engine(PrinterConfig(), clock);
    ControlInterpreter ci(engine);
    QStringList lines;
    QString error;
    const QByteArray gb18030("\xd5\xc5\xc8\xfd a", 6); // two GB18030 characters, a space, a letter
    const QString encoded = ControlInterpreter::encodeName(gb18030);
    QVERIFY(!encoded.contains(' '));
    QVERIFY(ci.execute("store add " + encoded, &lines, &error));
    QCOMPARE(engine.records().first().name, gb18030);
    lines.clear();
    QVERIFY(ci.execute("store list", &lines, &error));
    QCOMPARE(lines.first(), "id=1 name=" + encoded);
}

QTEST_GUILESS_MAIN(TestFpsimControlLanguage)
#include "tst_fpsim_control_language.moc"
