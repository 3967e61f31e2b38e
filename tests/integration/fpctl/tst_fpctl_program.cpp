// The fpctl program through the real library against a private cupsd, a simulated USB printer
// (umockdev; this test runs itself under "fpsim usb") and a simulated network printer on
// 127.0.0.2 (private network namespace): output, JSON and exit code of each command, failure
// paths included.

#include "CupsSandbox.h"
#include "FpctlRun.h"
#include "Frames.h"
#include "SimulatedPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <csignal>

using fpsim::ControlClient;

namespace
{

const QString kUsbUri = QStringLiteral("usb://Maker/ZPH6100RMX?serial=SIM0001");
const QString kModel = QStringLiteral("Maker ZPH6100RMX Series");
const QByteArray kZhangWei = "\xd5\xc5\xce\xb0"; // 张伟 in GB18030

using Frames::fdlRecord;

QList<QByteArray> namesOf(const QList<ControlClient::User>& users)
{
    QList<QByteArray> names;
    for (const ControlClient::User& u : users)
        names << u.name;
    return names;
}

// True while a signal sent to the process (not to one of its threads) waits to be delivered.
bool signalPending(pid_t pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("ShdPnd:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ULL << (signal - 1));
    return false;
}

QJsonObject jsonOf(const FpctlRun& run)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(run.out, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        qWarning("not one JSON object: %s", run.out.constData());
    return doc.object();
}

} // namespace

class TestFpctlProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void helpOfEveryCommand_data();
    void helpOfEveryCommand();
    void usageErrors_data();
    void usageErrors();
    void refusesArgumentsThatAreNotUtf8();

    void listsPrinters();
    void switchesAuthentication();
    void reportsBusyPrinter();
    void enrolsWithTwoPresses();
    void enrolFailures_data();
    void enrolFailures();
    void checksAndDeletes();
    void deleteAllAsksFirst_data();
    void deleteAllAsksFirst();
    void exportsRecordsAndImportsBack();
    void exportAndImportFailures_data();
    void exportAndImportFailures();
    void unreachablePrinters_data();
    void unreachablePrinters();
    void networkPrinter();
    void jsonOnEveryCommand_data();
    void jsonOnEveryCommand();
    void diagnosticsOnlyWhenVerbose();
    void statusLineOnlyOnTerminal_data();
    void statusLineOnlyOnTerminal();

    void verifyOutcomes_data();
    void verifyOutcomes();
    void verifyInterrupted_data();
    void verifyInterrupted();
    void queuesThroughTheBackend_data();
    void queuesThroughTheBackend();

private:
    CupsSandbox m_cups;
    ControlClient m_usb;
    fpsim::SimulatedNetPrinter m_net;
    QTemporaryDir m_dir;
};

void TestFpctlProgram::initTestCase()
{
    QVERIFY2(fpsim::runningUnderUsbSimulation(), "not started under fpsim usb");
    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    QVERIFY2(m_cups.addQueue("ZPH_USB", kUsbUri, kModel), qPrintable(m_cups.lastError()));
    QVERIFY2(m_cups.addQueue("ZPH_NET", "socket://127.0.0.2", kModel), qPrintable(m_cups.lastError()));
    QVERIFY2(
        m_cups.addQueue("ZPH_GONE", "usb://Maker/ZPH6100RMX?serial=SIM0404", kModel), qPrintable(m_cups.lastError()));
    QVERIFY2(m_cups.addQueue("Office", "socket://10.0.0.9", "Generic Laser"), qPrintable(m_cups.lastError()));
    QVERIFY2(m_cups.setDefault("Office"), qPrintable(m_cups.lastError()));
    QVERIFY2(m_usb.connectTo(fpsim::usbControlSocket("SIM0001")), qPrintable(m_usb.lastError()));
    QVERIFY2(m_net.start("127.0.0.2"), qPrintable(m_net.errorString()));
    QVERIFY(m_dir.isValid());
}

void TestFpctlProgram::init()
{
    for (ControlClient* c : { &m_usb, &m_net.control() }) {
        QVERIFY(c->plug());
        QVERIFY(c->clearFaults());
        QVERIFY(c->pressNothing());
        QVERIFY(c->setAutoFinger(false));
        QVERIFY(c->clearStore());
        QVERIFY(c->setState(0));
        QVERIFY(c->clearFrameLog());
    }
}

void TestFpctlProgram::cleanupTestCase()
{
    m_net.stop();
    m_cups.stop();
}

void TestFpctlProgram::helpOfEveryCommand_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("start");
    for (const char* c : { "printers", "status", "on", "off", "enrol", "check", "delete", "delete-all", "export",
             "import", "records", "verify", "help" })
        QTest::newRow(c) << QStringList { c, "--help" } << QStringLiteral("usage: fpctl %1").arg(QLatin1String(c));
    QTest::newRow("help enroll") << QStringList { "help", "enroll" } << "usage: fpctl enrol PRINTER NAME";
    QTest::newRow("--help") << QStringList { "--help" } << "fpctl - administer the fingerprint authentication";
    QTest::newRow("-h") << QStringList { "-h" } << "fpctl - administer";
    QTest::newRow("--version") << QStringList { "--version" } << "fpctl 1.";
}

void TestFpctlProgram::helpOfEveryCommand()
{
    QFETCH(QStringList, args);
    QFETCH(QString, start);
    const FpctlRun run = runFpctl(args);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.outText().startsWith(start), run.out.constData());
    QCOMPARE(run.errText(), QString());
}

void TestFpctlProgram::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("line");

    QTest::newRow("no command") << QStringList {} << "fpctl: no command given (see 'fpctl --help')";
    QTest::newRow("unknown command") << QStringList { "frobnicate" }
                                     << "fpctl: unknown command 'frobnicate' (see 'fpctl --help')";
    QTest::newRow("missing argument") << QStringList { "enrol", "ZPH_USB" }
                                      << "fpctl: enrol: expects PRINTER NAME (see 'fpctl enrol --help')";
    QTest::newRow("unknown option") << QStringList { "status", "--force", "ZPH_USB" }
                                    << "fpctl: unknown option --force (see 'fpctl --help')";
    QTest::newRow("bad time-out") << QStringList { "verify", "ZPH_USB", "--timeout",
        "90" } << "fpctl: verify: --timeout wants a whole number of seconds from 1 to 45 (see 'fpctl verify --help')";
    QTest::newRow("33-byte name") << QStringList { "enrol", "ZPH_USB", QString(33, 'x') }
                                  << "fpctl: enrol: the user name '" + QString(33, 'x')
            + "' takes 33 bytes in GB18030; the printer stores at most 32";
    QTest::newRow("17 Chinese characters") << QStringList { "check", "ZPH_USB", QString(17, QChar(0x5F20)) }
                                           << "fpctl: check: the user name '" + QString(17, QChar(0x5F20))
            + "' takes 34 bytes in GB18030; the printer stores at most 32";
    QTest::newRow("empty name") << QStringList { "delete", "ZPH_USB", "" } << "fpctl: delete: the user name is empty";
}

// Exit code 2, one line on standard error, nothing on standard output (in JSON: one object), and
// no frame reaches the printer.
void TestFpctlProgram::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, line);

    FpctlRun run = runFpctl(args);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.errLines(), QStringList { line });
    QCOMPARE(run.outText(), QString());

    run = runFpctl(QStringList { "--json" } + args);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.errLines().size(), 1);
    const QJsonObject object = jsonOf(run);
    QCOMPARE(object.value("exit_code").toInt(), 2);
    QCOMPARE(object.value("error_kind").toString(), "usage");
    QCOMPARE(object.value("ok").toBool(true), false);
    QCOMPARE(m_usb.receivedCodes(), QStringList());
}

void TestFpctlProgram::refusesArgumentsThatAreNotUtf8()
{
    QProcess sh;
    sh.start(
        "/bin/sh", { "-c", QStringLiteral("exec '%1' enrol ZPH_USB \"$(printf 'al\\377ce')\"").arg(FPCTL_PROGRAM) });
    QVERIFY(sh.waitForFinished(30000));
    QCOMPARE(sh.exitCode(), 2);
    QCOMPARE(sh.readAllStandardError(), QByteArray("fpctl: argument 3 is not valid UTF-8\n"));
    QCOMPARE(m_usb.receivedCodes(), QStringList());
}

void TestFpctlProgram::listsPrinters()
{
    FpctlRun run = runFpctl({ "printers" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.errText(), QString());
    // The supported USB queues, in the order CUPS gives them; the network one is not among them.
    QCOMPARE(run.outText(),
        QStringLiteral("QUEUE     DEVICE URI\n"
                       "ZPH_GONE  usb://Maker/ZPH6100RMX?serial=SIM0404\n"
                       "ZPH_USB   usb://Maker/ZPH6100RMX?serial=SIM0001\n"));

    run = runFpctl({ "printers", "--all", "--json" });
    QCOMPARE(run.exitCode, 0);
    const QJsonArray list = jsonOf(run).value("printers").toArray();
    QCOMPARE(list.size(), 4);
    QHash<QString, QJsonObject> byName;
    for (const QJsonValue& v : list)
        byName.insert(v.toObject().value("queue").toString(), v.toObject());
    QCOMPARE(byName.value("Office").value("supported").toBool(true), false);
    QCOMPARE(byName.value("Office").value("default").toBool(), true);
    QCOMPARE(byName.value("Office").value("model").toString(), "Generic Laser");
    QCOMPARE(byName.value("ZPH_NET").value("connection").toString(), "network");
    QCOMPARE(byName.value("ZPH_NET").value("supported").toBool(), true);
    QCOMPARE(byName.value("ZPH_USB").value("connection").toString(), "usb");
    QCOMPARE(byName.value("ZPH_USB").value("uri").toString(), kUsbUri);

    run = runFpctl({ "printers", "-a" });
    QVERIFY2(run.outText().contains(
                 QRegularExpression("\nOffice\\*\\s+no\\s+network\\s+Generic Laser\\s+socket://10.0.0.9\n")),
        run.out.constData());
    QCOMPARE(m_usb.receivedCodes(), QStringList());
}

void TestFpctlProgram::switchesAuthentication()
{
    FpctlRun run = runFpctl({ "status", "ZPH_USB" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.outText(), "ZPH_USB: fingerprint authentication is off\n");

    run = runFpctl({ "on", "ZPH_USB" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.outText(), "ZPH_USB: fingerprint authentication switched on\n");
    QCOMPARE(m_usb.state(), 1);

    run = runFpctl({ "--json", "status", kUsbUri });
    QCOMPARE(run.exitCode, 0);
    QJsonObject object = jsonOf(run);
    QCOMPARE(object.value("state").toString(), "on");
    QCOMPARE(object.value("state_byte").toInt(), 1);
    QCOMPARE(object.value("printer").toObject().value("uri").toString(), kUsbUri);
    QVERIFY(object.value("printer").toObject().value("queue").isNull());

    run = runFpctl({ "off", "ZPH_USB" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(m_usb.state(), 0);
    QCOMPARE(run.errText(), QString());

    QVERIFY(m_usb.setState(3)); // a raw state the printer may report for "on"
    run = runFpctl({ "status", "ZPH_USB" });
    QCOMPARE(run.outText(), "ZPH_USB: fingerprint authentication is on\n");
}

void TestFpctlProgram::reportsBusyPrinter()
{
    QVERIFY(m_usb.setState(4));
    FpctlRun run = runFpctl({ "status", "ZPH_USB" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.outText(), "ZPH_USB: the fingerprint unit is busy\n");

    QVERIFY(m_usb.setState(0));
    QVERIFY(m_usb.injectFault("busy code=CHCK count=0"));
    run = runFpctl({ "check", "ZPH_USB", "alice" });
    QCOMPARE(run.errLines(), QStringList { "fpctl: check: ZPH_USB: the printer's fingerprint unit is busy (code 4)" });
    QCOMPARE(run.exitCode, 4);

    // "on" gets a bool from the library; when it fails, the state query tells why.
    QVERIFY(m_usb.setState(4));
    QVERIFY(m_usb.injectFault("busy code=FING count=5")); // every attempt of "on"
    run = runFpctl({ "--json", "on", "ZPH_USB" });
    QCOMPARE(run.exitCode, 4);
    QCOMPARE(jsonOf(run).value("error_kind").toString(), "busy");
    QCOMPARE(run.errLines(), QStringList { "fpctl: on: ZPH_USB: the printer's fingerprint unit is busy" });

    QVERIFY(m_usb.setState(0));
    QVERIFY(m_usb.injectFault("busy code=FING count=0"));
    run = runFpctl({ "on", "ZPH_USB" });
    QCOMPARE(run.errLines(),
        QStringList { "fpctl: on: ZPH_USB: the printer refused the command to switch "
                      "authentication on, and the state query" });
    QCOMPARE(run.exitCode, 1);
}

void TestFpctlProgram::enrolsWithTwoPresses()
{
    QVERIFY(m_usb.setAutoFinger(true));
    const FpctlRun run = runFpctl({ "enrol", "ZPH_USB", "张伟" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.errText(), QString());
    QCOMPARE(run.outText(),
        QStringLiteral("Press the finger of '张伟' on the reader of ZPH_USB.\n"
                       "Lift the finger, then press it on the reader again.\n"
                       "Enrolled '张伟' on ZPH_USB (index 1).\n"));
    // The name crossed as GB18030.
    QCOMPARE(namesOf(m_usb.users()), QList<QByteArray> { kZhangWei });

    // A name of exactly 32 bytes (16 Chinese characters) fits; JSON gives the index.
    const QString sixteen(16, QChar(0x5F20));
    const FpctlRun json = runFpctl({ "--json", "enroll", "ZPH_USB", sixteen });
    QCOMPARE(json.exitCode, 0);
    const QJsonObject object = jsonOf(json);
    QCOMPARE(object.value("index").toInt(), 2);
    QCOMPARE(object.value("name").toString(), sixteen);
    // With --json the instructions go to standard error, standard output is the object alone.
    QVERIFY(json.errText().contains("Lift the finger"));
    QCOMPARE(namesOf(m_usb.users()).last(), QByteArray("\xd5\xc5").repeated(16));
}

void TestFpctlProgram::enrolFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line");

    QTest::newRow("first press fails")
        << "fail code=ADDF" << 1
        << "fpctl: enrol: ZPH_USB: the first press failed, or no finger was pressed in time (code 7)";
    QTest::newRow("second press fails")
        << "fail code=ADDS" << 1
        << "fpctl: enrol: ZPH_USB: the second press failed or was not made in time, or the "
           "printer enrolled another name (code 9)";
    QTest::newRow("busy at the first step")
        << "busy code=ADDF count=0" << 4
        << "fpctl: enrol: ZPH_USB: first press: the printer's fingerprint unit is busy (code 4)";
}

void TestFpctlProgram::enrolFailures()
{
    QFETCH(QString, fault);
    QFETCH(int, exitCode);
    QFETCH(QString, line);

    QVERIFY(m_usb.setAutoFinger(true));
    QVERIFY(m_usb.injectFault(fault));
    const FpctlRun run = runFpctl({ "enrol", "ZPH_USB", "bob" });
    QCOMPARE(run.errLines(), QStringList { line });
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(m_usb.users().isEmpty());
}

void TestFpctlProgram::checksAndDeletes()
{
    QVERIFY(m_usb.addUser("alice"));
    QVERIFY(m_usb.addUser(kZhangWei));

    FpctlRun run = runFpctl({ "check", "ZPH_USB", "张伟" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.outText(), "'张伟' is enrolled on ZPH_USB.\n");

    // Not enrolled is an answer: said on standard output, exit code 3, no error line.
    run = runFpctl({ "check", "ZPH_USB", "bob" });
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(run.outText(), "'bob' is not enrolled on ZPH_USB.\n");
    QCOMPARE(run.errText(), QString());
    run = runFpctl({ "--json", "check", "ZPH_USB", "bob" });
    QCOMPARE(jsonOf(run).value("enrolled").toBool(true), false);
    QCOMPARE(jsonOf(run).value("exit_code").toInt(), 3);

    run = runFpctl({ "delete", "ZPH_USB", "alice" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.outText(), "Deleted the fingerprints of 'alice' on ZPH_USB.\n");
    QCOMPARE(namesOf(m_usb.users()), QList<QByteArray> { kZhangWei });

    run = runFpctl({ "delete", "ZPH_USB", "alice" });
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(run.errLines(), QStringList { "fpctl: delete: ZPH_USB: 'alice' is not enrolled (code 14)" });
    QCOMPARE(run.outText(), QString());

    // A name that starts with a dash, after "--".
    QVERIFY(m_usb.addUser("-x"));
    run = runFpctl({ "delete", "ZPH_USB", "--", "-x" });
    QCOMPARE(run.exitCode, 0);
}

void TestFpctlProgram::deleteAllAsksFirst_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("yes typed") << QStringList {} << QByteArray("yes\n") << 0;
    QTest::newRow("no typed") << QStringList {} << QByteArray("n\n") << 7;
    QTest::newRow("end of input") << QStringList {} << QByteArray() << 7;
    QTest::newRow("--yes") << QStringList { "--yes" } << QByteArray() << 0;
}

void TestFpctlProgram::deleteAllAsksFirst()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);

    QVERIFY(m_usb.addUser("alice"));
    QVERIFY(m_usb.addUser("bob"));
    const FpctlRun run = runFpctl(QStringList { "delete-all", "ZPH_USB" } + options, input);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(m_usb.users().size(), exitCode == 0 ? 0 : 2);
    if (options.isEmpty())
        QVERIFY(run.outText().startsWith("Delete every fingerprint on ZPH_USB? [y/N] "));
    if (exitCode == 0) {
        QVERIFY(run.outText().endsWith("Deleted every fingerprint on ZPH_USB.\n"));
    } else {
        QCOMPARE(run.errLines(), QStringList { "fpctl: delete-all: not confirmed; nothing was deleted" });
        QVERIFY(!m_usb.receivedCodes().contains("DELE"));
    }
}

void TestFpctlProgram::exportsRecordsAndImportsBack()
{
    QVERIFY(m_usb.addUser("alice", 5));
    QVERIFY(m_usb.addUser(kZhangWei, 9));
    const QString file = m_dir.filePath("backup.fdl");

    FpctlRun run = runFpctl({ "export", "ZPH_USB", file });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.outText(), "Exported 2 fingerprint records from ZPH_USB to " + file + ".\n");
    QCOMPARE(QFileInfo(file).size(), 2 * 546);

    run = runFpctl({ "records", file });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.outText(), file + ": 2 records\n   ID  NAME\n    5  alice\n    9  张伟\n");
    run = runFpctl({ "--json", "records", file });
    const QJsonArray records = jsonOf(run).value("records").toArray();
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[1].toObject().value("name_hex").toString(), "d5c5ceb0");

    QVERIFY(m_usb.clearStore());
    run = runFpctl({ "--json", "import", "ZPH_USB", file });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(jsonOf(run).value("records").toInt(), 2);
    QCOMPARE(namesOf(m_usb.users()), (QList<QByteArray> { "alice", kZhangWei }));

    // The imported records are the exported ones, byte for byte.
    const QString again = m_dir.filePath("again.fdl");
    QVERIFY(m_usb.saveStore(again));
    QFile a(file), b(again);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(b.readAll(), a.readAll());
}

void TestFpctlProgram::exportAndImportFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("touched"); // the USB printer received frames

    QTest::newRow("export from a network printer")
        << QStringList { "export", "ZPH_NET", "@net.fdl" } << "" << 1
        << "fpctl: export: ZPH_NET: export works only with printers on USB (code -1)" << false;
    QTest::newRow("export into a missing directory")
        << QStringList { "export", "ZPH_USB", "@no/dir/x.fdl" } << "" << 8
        << "fpctl: export: @no/dir/x.fdl: cannot create files in @no/dir" << false;
    QTest::newRow("import of a missing file") << QStringList { "import", "ZPH_USB", "@missing.fdl" } << "" << 8
                                              << "fpctl: import: @missing.fdl: no such file" << false;
    QTest::newRow("import of a partial record")
        << QStringList { "import", "ZPH_USB", "@odd.fdl" } << "" << 8
        << "fpctl: import: @odd.fdl: not a fingerprint data file (1000 bytes is "
           "not a whole number of 546-byte records)"
        << false;
    QTest::newRow("import of an empty file") << QStringList { "import", "ZPH_USB", "@empty.fdl" } << "" << 8
                                             << "fpctl: import: @empty.fdl: the file is empty" << false;
    QTest::newRow("import refused by the printer")
        << QStringList { "import", "ZPH_USB", "@one.fdl" } << "importfail" << 1
        << "fpctl: import: ZPH_USB: the printer reported that the import failed (code 5)" << true;
    QTest::newRow("records of a missing file") << QStringList { "records", "@missing.fdl" } << "" << 8
                                               << "fpctl: records: @missing.fdl: no such file" << false;
}

void TestFpctlProgram::exportAndImportFailures()
{
    QFETCH(QStringList, args);
    QFETCH(QString, fault);
    QFETCH(int, exitCode);
    QFETCH(QString, line);
    QFETCH(bool, touched);

    auto write = [this](const char* name, const QByteArray& data) {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    };
    write("odd.fdl", QByteArray(1000, 'r'));
    write("empty.fdl", QByteArray());
    write("one.fdl", fdlRecord("carol", 1));
    const QString at = m_dir.path() + QLatin1Char('/');
    for (QString& arg : args)
        arg.replace('@', at);
    line.replace('@', at);
    if (!fault.isEmpty())
        QVERIFY(m_usb.injectFault(fault));

    const FpctlRun run = runFpctl(args);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.errLines(), QStringList { line });
    QCOMPARE(run.outText(), QString());
    QCOMPARE(!m_usb.receivedCodes().isEmpty(), touched);
}

void TestFpctlProgram::unreachablePrinters_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("unplug");
    QTest::addColumn<QString>("line");

    QTest::newRow("unknown queue") << QStringList { "status", "Nowhere" } << false
                                   << "fpctl: status: no CUPS queue is called 'Nowhere'";
    QTest::newRow("queue of another model")
        << QStringList { "on", "Office" } << false
        << "fpctl: on: the queue 'Office' is not a supported printer (its model is 'Generic Laser')";
    QTest::newRow("USB printer not attached")
        << QStringList { "status", "ZPH_GONE" } << false << "fpctl: status: ZPH_GONE: the printer does not answer";
    QTest::newRow("USB printer unplugged") << QStringList { "check", "ZPH_USB",
        "alice" } << true << "fpctl: check: ZPH_USB: the printer could not be opened or connected (code 15)";
    QTest::newRow("switch on, unplugged")
        << QStringList { "on", "ZPH_USB" } << true << "fpctl: on: ZPH_USB: the printer does not answer";
    QTest::newRow("nothing on the network address") << QStringList { "status", "socket://127.0.0.9" } << false
                                                    << "fpctl: status: socket://127.0.0.9: the printer does not answer";
    QTest::newRow("verify, unplugged") << QStringList { "verify", "ZPH_USB" } << true
                                       << "fpctl: verify: ZPH_USB: the printer does not answer";
}

void TestFpctlProgram::unreachablePrinters()
{
    QFETCH(QStringList, args);
    QFETCH(bool, unplug);
    QFETCH(QString, line);

    if (unplug)
        QVERIFY(m_usb.unplug());
    const FpctlRun run = runFpctl(args);
    QCOMPARE(run.exitCode, 5);
    QCOMPARE(run.errLines(), QStringList { line });
    QCOMPARE(run.outText(), QString());
    qInfo("%s took %lld ms", qPrintable(args.join(' ')), run.elapsedMs);
}

void TestFpctlProgram::networkPrinter()
{
    ControlClient& net = m_net.control();
    QVERIFY(net.addUser("alice"));
    FpctlRun run = runFpctl({ "on", "ZPH_NET" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(net.state(), 1);
    run = runFpctl({ "check", "socket://127.0.0.2", "alice" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.outText(), "'alice' is enrolled on socket://127.0.0.2.\n");
    run = runFpctl({ "delete-all", "-y", "ZPH_NET" });
    QCOMPARE(run.exitCode, 0);
    QVERIFY(net.users().isEmpty());

    // Import works over the network too.
    const QString file = m_dir.filePath("net-import.fdl");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(fdlRecord("dave", 3) + fdlRecord("erin", 4));
    f.close();
    run = runFpctl({ "import", "ZPH_NET", file });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(namesOf(net.users()), (QList<QByteArray> { "dave", "erin" }));
    QVERIFY(m_usb.receivedCodes().isEmpty());
}

// Every command answers with one JSON object whose exit_code is the program's exit code; a
// failure adds one error line on standard error.
void TestFpctlProgram::jsonOnEveryCommand_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("field"); // a field the answer must carry

    QTest::newRow("printers") << QStringList { "printers" } << 0 << "printers";
    QTest::newRow("status") << QStringList { "status", "ZPH_USB" } << 0 << "state";
    QTest::newRow("on") << QStringList { "on", "ZPH_USB" } << 0 << "state";
    QTest::newRow("off") << QStringList { "off", "ZPH_USB" } << 0 << "state";
    QTest::newRow("check") << QStringList { "check", "ZPH_USB", "alice" } << 0 << "enrolled";
    QTest::newRow("delete") << QStringList { "delete", "ZPH_USB", "alice" } << 0 << "name";
    QTest::newRow("delete-all") << QStringList { "delete-all", "--yes", "ZPH_USB" } << 0 << "printer";
    QTest::newRow("export") << QStringList { "export", "ZPH_USB", "@x.fdl" } << 0 << "records";
    QTest::newRow("records") << QStringList { "records", "@x.fdl" } << 0 << "records";
    QTest::newRow("import") << QStringList { "import", "ZPH_USB", "@x.fdl" } << 0 << "records";
    QTest::newRow("verify while off") << QStringList { "verify", "ZPH_USB" } << 1 << "error";
    QTest::newRow("enrol, unknown queue") << QStringList { "enrol", "Nowhere", "bob" } << 5 << "error";
}

void TestFpctlProgram::jsonOnEveryCommand()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, field);

    QVERIFY(m_usb.addUser("alice"));
    for (QString& arg : args)
        arg.replace('@', m_dir.path() + QLatin1Char('/'));
    const FpctlRun run = runFpctl(QStringList { "--json" } + args);
    QCOMPARE(run.exitCode, exitCode);
    const QJsonObject object = jsonOf(run);
    QCOMPARE(object.value("command").toString(), args.first());
    QCOMPARE(object.value("exit_code").toInt(), exitCode);
    QCOMPARE(object.value("ok").toBool(), exitCode == 0);
    QVERIFY2(object.contains(field), run.out.constData());
    QCOMPARE(run.errLines().size(), exitCode == 0 ? 0 : 1);
}

void TestFpctlProgram::diagnosticsOnlyWhenVerbose()
{
    FpctlRun run = runFpctl({ "check", "ZPH_USB", "alice" });
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(run.errText(), QString());
    run = runFpctl({ "--verbose", "check", "ZPH_USB", "alice" });
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.errText().contains("####FM: CheckFinger===Enter"), run.err.constData());
}

void TestFpctlProgram::statusLineOnlyOnTerminal_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QStringList>("waits");
    const QString file = m_dir.filePath("status.fdl");
    const QStringList exporting { "export", "ZPH_USB", file };
    const QStringList records { "waiting for the printer's records" };
    QTest::newRow("export on a terminal") << exporting << true << records;
    QTest::newRow("export piped") << exporting << false << QStringList();
    QTest::newRow("export --json on a terminal") << QStringList { "--json" } + exporting << true << QStringList();
    QTest::newRow("enrol on a terminal") << QStringList { "enrol", "ZPH_USB",
        "carol" } << true << QStringList { "waiting for the finger on the reader", "waiting for the second press" };
    QTest::newRow("enrol piped") << QStringList { "enrol", "ZPH_USB", "carol" } << false << QStringList();
    QTest::newRow("import on a terminal") << QStringList { "import", "ZPH_USB", file } << true
                                          << QStringList { "waiting for the printer to take the records" };
}

void TestFpctlProgram::statusLineOnlyOnTerminal()
{
    QFETCH(QStringList, args);
    QFETCH(bool, terminal);
    QFETCH(QStringList, waits);
    QVERIFY(m_usb.setState(1));
    QVERIFY(m_usb.addUser("alice", 5));
    QVERIFY(m_usb.saveStore(m_dir.filePath("status.fdl")));
    QVERIFY(m_usb.pressFingerAtNextWait("carol", 1500));
    QVERIFY(m_usb.pressFingerAtNextWait("carol", 100));

    const FpctlRun run = terminal ? runFpctlOnTerminal(args) : runFpctl(args);
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(!run.out.isEmpty());
    // Each wait: drawn at 0:00, redrawn in place, and wiped before the answer. Nothing else on the
    // terminal (the answer is on standard output).
    QString rest = run.errText();
    for (const QString& what : waits) {
        const QString frame = QStringLiteral("\r%1\u2026 0:00\x1b[K").arg(what);
        QVERIFY2(rest.startsWith(frame), qPrintable(rest.toUtf8().toPercentEncoding(" ")));
        const qsizetype end = rest.indexOf(QStringLiteral("\r\x1b[K"));
        QVERIFY(end > 0);
        const QRegularExpression redraws(
            QStringLiteral("^(\r%1\u2026 \\d+:\\d\\d\x1b\\[K)+$").arg(QRegularExpression::escape(what)));
        QVERIFY(redraws.match(rest.left(end)).hasMatch());
        rest = rest.mid(end + 4);
    }
    QCOMPARE(rest, QString());
}

void TestFpctlProgram::verifyOutcomes_data()
{
    QTest::addColumn<QString>("finger"); // what the finger does: auto, unknown, none
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("answer"); // standard output (success) or the error line

    QTest::newRow("identified") << "auto" << QStringList {} << 0 << "Identified 'alice' (index 1) on ZPH_USB.";
    QTest::newRow("unknown finger")
        << "unknown" << QStringList {} << 3
        << "fpctl: verify: ZPH_USB: no enrolled finger was identified (no match, or the printer gave up)";
    QTest::newRow("no finger in time") << "none" << QStringList { "--timeout", "1" } << 6
                                       << "fpctl: verify: ZPH_USB: no finger was identified within 1 s";
}

void TestFpctlProgram::verifyOutcomes()
{
    QFETCH(QString, finger);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, answer);

    QVERIFY(m_usb.addUser("alice", 1));
    QVERIFY(m_usb.setState(1));
    if (finger == "auto")
        QVERIFY(m_usb.setAutoFinger(true));
    else if (finger == "unknown")
        QVERIFY(m_usb.pressUnknownFingerAtNextWait());

    const FpctlRun run = runFpctl(QStringList { "verify", "ZPH_USB" } + options);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(run.outText().startsWith("Press a finger on the reader of ZPH_USB"));
    if (exitCode == 0) {
        QVERIFY2(run.outText().endsWith(answer + '\n'), run.out.constData());
        QCOMPARE(run.errText(), QString());
    } else {
        QCOMPARE(run.errLines(), QStringList { answer });
    }
    qInfo("verify took %lld ms", run.elapsedMs);
}

void TestFpctlProgram::verifyInterrupted_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("line");

    QTest::newRow("Ctrl-C") << 1 << int(SIGINT) << "fpctl: verify: ZPH_USB: cancelled; the printer stopped waiting";
    QTest::newRow("SIGTERM") << 1 << int(SIGTERM) << "fpctl: verify: ZPH_USB: cancelled; the printer stopped waiting";
    QTest::newRow("Ctrl-C twice") << 2 << int(SIGINT)
                                  << "fpctl: interrupted again; quitting without waiting for the printer";
}

// Ctrl-C while verify waits: cancelled through the library within one of its 5-second polls,
// exit 7; the printer can be used again at once.
void TestFpctlProgram::verifyInterrupted()
{
    QFETCH(int, count);
    QFETCH(int, signal);
    QFETCH(QString, line);

    QVERIFY(m_usb.setState(1));
    QProcess fpctl;
    fpctl.start(FPCTL_PROGRAM, { "verify", "ZPH_USB" });
    QVERIFY(fpctl.waitForStarted());
    // Wait until the printer was asked to wait for a finger.
    QTRY_VERIFY_WITH_TIMEOUT(m_usb.receivedCodes().contains("DISC"), 20000);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = static_cast<pid_t>(fpctl.processId());
    QVERIFY2(pid > 0 && fpctl.state() == QProcess::Running, fpctl.readAllStandardError().constData());
    for (int i = 0; i < count; ++i) {
        // Each once the one before was delivered: two that wait together are delivered as one.
        QTRY_VERIFY_WITH_TIMEOUT(!signalPending(pid, signal), 10000);
        ::kill(pid, signal);
    }
    QVERIFY(fpctl.state() == QProcess::NotRunning || fpctl.waitForFinished(20000));
    QCOMPARE(fpctl.exitStatus(), QProcess::NormalExit);
    QCOMPARE(fpctl.exitCode(), 7);
    QCOMPARE(QString::fromUtf8(fpctl.readAllStandardError()), line + '\n');
    qInfo("cancel took %lld ms", timer.elapsed());
    if (count == 1)
        QVERIFY2(timer.elapsed() < 8000, "the cancel did not end the verification within one poll");
    const FpctlRun status = runFpctl({ "status", "ZPH_USB" });
    QCOMPARE(status.exitCode, 0);
}

// A queue switched to the fingerprint backend is managed as the printer inside its device URI.
void TestFpctlProgram::queuesThroughTheBackend_data()
{
    QTest::addColumn<QString>("printerUri");
    QTest::addColumn<bool>("listed"); // among the supported USB printers

    QTest::newRow("usb") << kUsbUri << true;
    QTest::newRow("network") << QStringLiteral("socket://127.0.0.2") << false;
}

void TestFpctlProgram::queuesThroughTheBackend()
{
    QFETCH(QString, printerUri);
    QFETCH(bool, listed);
    ControlClient& printer = listed ? m_usb : m_net.control();
    QVERIFY(printer.setState(1));
    QVERIFY2(
        m_cups.addQueue("ZPH_VIA", QStringLiteral("vrkt7x:") + printerUri, kModel), qPrintable(m_cups.lastError()));
    const FpctlRun status = runFpctl({ "--json", "status", "ZPH_VIA" });
    const FpctlRun list = runFpctl({ "--json", "printers" });
    const FpctlRun all = runFpctl({ "printers", "--all" });
    QVERIFY(m_cups.removeQueue("ZPH_VIA"));

    QCOMPARE(status.exitCode, 0);
    QCOMPARE(jsonOf(status).value("state").toString(), "on");
    QCOMPARE(jsonOf(status).value("printer").toObject().value("uri").toString(), printerUri);
    bool found = false;
    for (const QJsonValue& v : jsonOf(list).value("printers").toArray()) {
        const QJsonObject o = v.toObject();
        QCOMPARE(o.value("backend").toBool(), o.value("queue").toString() == QLatin1String("ZPH_VIA"));
        if (o.value("queue").toString() == QLatin1String("ZPH_VIA")) {
            found = true;
            QCOMPARE(o.value("uri").toString(), printerUri);
        }
    }
    QCOMPARE(found, listed);
    QVERIFY2(all.outText().contains(QRegularExpression(
                 QStringLiteral("\nZPH_VIA\\s+yes\\s+%1\\s+vrkt7x\\s+").arg(listed ? "usb" : "network"))),
        all.out.constData());
    QVERIFY2(all.outText().contains(QRegularExpression("\nZPH_USB\\s+yes\\s+usb\\s+-\\s+")), all.out.constData());
}

FPSIM_USB_TEST_MAIN(TestFpctlProgram, "SIM0001")
#include "tst_fpctl_program.moc"
