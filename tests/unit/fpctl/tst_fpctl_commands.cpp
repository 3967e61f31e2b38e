// The commands of fpctl over a scripted library: how library results become exit codes, text,
// JSON and error lines; what is refused before a printer is touched; cancelling verify.

#include "FakePrinterLibrary.h"
#include "cli/OutcomeWriter.h"
#include "commands/Fpctl.h"

#include <QJsonDocument>
#include <QtTest>
#include <thread>

namespace
{

const QByteArray kUri = "usb://Maker/ZPH6100RMX?serial=SIM0001";

Invocation invocation(const QStringList& args)
{
    Invocation inv;
    QString error;
    if (!parseCommandLine(args, &inv, &error))
        qFatal("bad test command line: %s", qPrintable(error));
    return inv;
}

QJsonObject json(const QString& command, const Outcome& outcome)
{
    return QJsonDocument::fromJson(writeOutcome(command, true, outcome).out).object();
}

} // namespace

class TestFpctlCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void libraryResults_data();
    void libraryResults();
    void resolvesPrinters_data();
    void resolvesPrinters();
    void refusesBeforeTouchingPrinter_data();
    void refusesBeforeTouchingPrinter();
    void diagnosesRefusedSwitch_data();
    void diagnosesRefusedSwitch();

    void enrolPromptsForBothPresses();
    void enrolStopsAfterFailedFirstPress();
    void deleteAllAsksFirst_data();
    void deleteAllAsksFirst();
    void exportChecksTheWrittenFile();
    void exportOfEmptyPrinterLeavesFile();
    void listsPrinters();
    void recordsOfFile();
    void jsonOfFailure();
    void errorLineIsOneLine();

    void verifyIdentifies();
    void verifyChecksLikeThePrintPath_data();
    void verifyChecksLikeThePrintPath();
    void verifyCancelBeforeStart();
    void verifyCancelWhileWaiting();
    void verifyCancelRacingTheStart();
    void verifyTimesOut();

private:
    Outcome run(const QStringList& args) { return m_fpctl->run(invocation(args)); }

    std::unique_ptr<FakePrinterLibrary> m_lib;
    std::unique_ptr<ScriptedConsole> m_console;
    std::unique_ptr<Fpctl> m_fpctl;
    QTemporaryDir m_dir;
};

void TestFpctlCommands::init()
{
    m_lib = std::make_unique<FakePrinterLibrary>();
    m_lib->queues = { { "ZPH_USB", "Maker ZPH6100RMX Series", kUri, true },
        { "ZPH_NET", "Maker ZPH6100RMX Series", "socket://127.0.0.2", false },
        { "Office", "Generic Laser", "ipp://10.0.0.9/ipp/print", false } };
    m_console = std::make_unique<ScriptedConsole>();
    m_fpctl = std::make_unique<Fpctl>(*m_lib, *m_console);
    m_fpctl->setCancelRepeat(std::chrono::milliseconds(10));
}

// Each library result code of the main operations, as exit code, error kind and line.
void TestFpctlCommands::libraryResults_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text"); // in the error line, or (no error) the answer

    const QStringList check { "check", "ZPH_USB", "alice" };
    QTest::newRow("check enrolled") << check << "checkFinger" << 0 << 0 << ""
                                    << "'alice' is enrolled on ZPH_USB.";
    QTest::newRow("check not enrolled") << check << "checkFinger" << 14 << 3 << "not-enrolled"
                                        << "'alice' is not enrolled on ZPH_USB.";
    QTest::newRow("check busy") << check << "checkFinger" << 4 << 4 << "busy"
                                << "ZPH_USB: the printer's fingerprint unit is busy (code 4)";
    QTest::newRow("check cannot open") << check << "checkFinger" << 15 << 5 << "unreachable"
                                       << "could not be opened or connected (code 15)";
    QTest::newRow("check no reply") << check << "checkFinger" << 16 << 5 << "unreachable"
                                    << "no usable reply (code 16)";
    QTest::newRow("check write failed") << check << "checkFinger" << 17 << 5 << "unreachable"
                                        << "could not be sent to the printer (code 17)";
    QTest::newRow("check never ready") << check << "checkFinger" << 18 << 6 << "timeout"
                                       << "did not become ready in time (code 18)";
    QTest::newRow("check stopped answering") << check << "checkFinger" << 10 << 6 << "timeout"
                                             << "(code 10)";
    QTest::newRow("check refused") << check << "checkFinger" << 5 << 1 << "failed"
                                   << "refused the command (code 5)";
    QTest::newRow("check not a status") << check << "checkFinger" << 19 << 1 << "failed"
                                        << "not a status record (code 19)";
    QTest::newRow("check bad net reply") << check << "checkFinger" << 22 << 1 << "failed"
                                         << "malformed (code 22)";
    QTest::newRow("check unheard-of code") << check << "checkFinger" << 77 << 1 << "failed"
                                           << "(code 77)";

    const QStringList del { "delete", "ZPH_USB", "alice" };
    QTest::newRow("delete done") << del << "deleteFinger" << 0 << 0 << ""
                                 << "Deleted the fingerprints of 'alice' on ZPH_USB.";
    QTest::newRow("delete unknown") << del << "deleteFinger" << 14 << 3 << "not-enrolled"
                                    << "ZPH_USB: 'alice' is not enrolled (code 14)";
    QTest::newRow("delete busy") << del << "deleteFinger" << 4 << 4 << "busy"
                                 << "(code 4)";

    const QStringList all { "delete-all", "--yes", "ZPH_USB" };
    QTest::newRow("delete-all done") << all << "deleteFingers" << 0 << 0 << ""
                                     << "Deleted every fingerprint on ZPH_USB.";
    QTest::newRow("delete-all cannot open") << all << "deleteFingers" << 15 << 5 << "unreachable"
                                            << "(code 15)";

    const QStringList status { "status", "ZPH_USB" };
    QTest::newRow("status on") << status << "isDeviceFingerOpen" << 1 << 0 << ""
                               << "ZPH_USB: fingerprint authentication is on";
    QTest::newRow("status on (3)") << status << "isDeviceFingerOpen" << 3 << 0 << ""
                                   << "is on";
    QTest::newRow("status off") << status << "isDeviceFingerOpen" << 0 << 0 << ""
                                << "ZPH_USB: fingerprint authentication is off";
    QTest::newRow("status off (2)") << status << "isDeviceFingerOpen" << 2 << 0 << ""
                                    << "is off";
    QTest::newRow("status busy") << status << "isDeviceFingerOpen" << 4 << 0 << ""
                                 << "ZPH_USB: the fingerprint unit is busy";
    QTest::newRow("status no answer") << status << "isDeviceFingerOpen" << -1 << 5 << "unreachable"
                                      << "ZPH_USB: the printer does not answer";

    const QStringList import { "import", "ZPH_USB", "@two.fdl" };
    QTest::newRow("import done") << import << "importFinger" << 0 << 0 << ""
                                 << "Imported 2 fingerprint records from";
    QTest::newRow("import failed at the printer") << import << "importFinger" << 5 << 1 << "failed"
                                                  << "reported that the import failed (code 5)";
    QTest::newRow("import file vanished") << import << "importFinger" << 2 << 8 << "file-error"
                                          << "(code 2)";
    QTest::newRow("import not written") << import << "importFinger" << 17 << 5 << "unreachable"
                                        << "(code 17)";

    const QStringList exp { "export", "ZPH_USB", "@out.fdl" };
    QTest::newRow("export network printer") << exp << "exportFinger" << -1 << 1 << "failed"
                                            << "only with printers on USB (code -1)";
    QTest::newRow("export cannot open") << exp << "exportFinger" << 15 << 5 << "unreachable"
                                        << "(code 15)";
    QTest::newRow("export incomplete") << exp << "exportFinger" << 7 << 1 << "failed"
                                       << "(code 7)";
    QTest::newRow("export failed or timed out") << exp << "exportFinger" << 9 << 1 << "failed"
                                                << "failed or timed out at the printer (code 9)";
    QTest::newRow("export not writable") << exp << "exportFinger" << 2 << 8 << "file-error"
                                         << "(code 2)";
}

void TestFpctlCommands::libraryResults()
{
    QFETCH(QStringList, args);
    QFETCH(QString, function);
    QFETCH(int, code);
    QFETCH(int, exitCode);
    QFETCH(QString, kind);
    QFETCH(QString, text);

    QFile two(m_dir.filePath("two.fdl"));
    QVERIFY(two.open(QIODevice::WriteOnly));
    two.write(QByteArray(2 * 546, 'r'));
    two.close();
    for (QString& arg : args) {
        if (arg.startsWith('@'))
            arg = m_dir.filePath(arg.mid(1));
    }
    m_lib->results[function] = code;

    const Outcome outcome = run(args);
    const QString command = invocation(args).command;
    const WrittenOutcome written = writeOutcome(command, false, outcome);
    QCOMPARE(static_cast<int>(outcome.exitCode), exitCode);
    if (outcome.error.isEmpty())
        QVERIFY2(QString::fromUtf8(written.out).contains(text), written.out.constData());
    else
        QVERIFY2(QString::fromUtf8(written.err).contains(text), written.err.constData());
    // Failures are said on standard error, answers on standard output, never both.
    QVERIFY(written.out.isEmpty() || written.err.isEmpty());

    const QJsonObject object = json(command, outcome);
    QCOMPARE(object.value("command").toString(), command);
    QCOMPARE(object.value("exit_code").toInt(), exitCode);
    QCOMPARE(object.value("ok").toBool(), exitCode == 0);
    QCOMPARE(object.value("error_kind").toString(), kind);
    QCOMPARE(object.value("printer").toObject().value("uri").toString(), QString::fromUtf8(kUri));
}

void TestFpctlCommands::resolvesPrinters_data()
{
    QTest::addColumn<QString>("printer");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("error");

    QTest::newRow("queue") << "ZPH_USB" << 0 << QString::fromUtf8(kUri) << "";
    QTest::newRow("network queue") << "ZPH_NET" << 0 << "socket://127.0.0.2"
                                   << "";
    QTest::newRow("URI as given") << "usb://Other/ZPH6100RMX?serial=X9" << 0 << "usb://Other/ZPH6100RMX?serial=X9"
                                  << "";
    QTest::newRow("unknown queue") << "Nowhere" << 5 << ""
                                   << "no CUPS queue is called 'Nowhere'";
    QTest::newRow("queue of another model")
        << "Office" << 5 << ""
        << "the queue 'Office' is not a supported printer (its model is 'Generic Laser')";
    QTest::newRow("URI longer than the library takes") << "socket://" + QString(247, 'h') << 2 << ""
                                                       << "the device URI is 256 bytes long; at most 255 are possible";
    QTest::newRow("URI just fits") << "socket://" + QString(246, 'h') << 0 << "socket://" + QString(246, 'h') << "";
}

void TestFpctlCommands::resolvesPrinters()
{
    QFETCH(QString, printer);
    QFETCH(int, exitCode);
    QFETCH(QString, uri);
    QFETCH(QString, error);

    m_lib->results["isDeviceFingerOpen"] = 1;
    const Outcome outcome = run({ "status", printer });
    QCOMPARE(static_cast<int>(outcome.exitCode), exitCode);
    QCOMPARE(outcome.error, error);
    if (exitCode == 0)
        QCOMPARE(m_lib->printerCalls(), QStringList { "isDeviceFingerOpen " + uri });
    else
        QVERIFY(m_lib->printerCalls().isEmpty());
}

// Names and files that cannot work are refused without a word to the printer.
void TestFpctlCommands::refusesBeforeTouchingPrinter_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");

    const QString name33 = QString(33, 'n');
    const QString chinese17 = QString(17, QChar(0x5F20));
    QTest::newRow("enrol 33 bytes") << QStringList { "enrol", "ZPH_USB", name33 } << 2 << "takes 33 bytes in GB18030";
    QTest::newRow("enrol 17 Chinese characters")
        << QStringList { "enrol", "ZPH_USB", chinese17 } << 2 << "takes 34 bytes";
    QTest::newRow("enrol empty name") << QStringList { "enrol", "ZPH_USB", "" } << 2 << "the user name is empty";
    QTest::newRow("check too long") << QStringList { "check", "ZPH_USB", name33 } << 2 << "at most 32";
    QTest::newRow("delete too long") << QStringList { "delete", "ZPH_USB", name33 } << 2 << "at most 32";
    QTest::newRow("too long wins over unknown queue")
        << QStringList { "check", "Nowhere", name33 } << 2 << "at most 32";
    QTest::newRow("import missing file") << QStringList { "import", "ZPH_USB", "@missing.fdl" } << 8
                                         << "missing.fdl: no such file";
    QTest::newRow("import empty file") << QStringList { "import", "ZPH_USB", "@empty.fdl" } << 8 << "the file is empty";
    QTest::newRow("import partial record")
        << QStringList { "import", "ZPH_USB", "@odd.fdl" } << 8 << "not a fingerprint data file (1000 bytes";
    QTest::newRow("import directory") << QStringList { "import", "ZPH_USB", "@" } << 8 << "is a directory";
    QTest::newRow("export into directory") << QStringList { "export", "ZPH_USB", "@" } << 8 << "is a directory";
    QTest::newRow("export into missing directory")
        << QStringList { "export", "ZPH_USB", "@no/such/dir/x.fdl" } << 8 << "cannot create files in";
}

void TestFpctlCommands::refusesBeforeTouchingPrinter()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, error);

    QFile empty(m_dir.filePath("empty.fdl"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile odd(m_dir.filePath("odd.fdl"));
    QVERIFY(odd.open(QIODevice::WriteOnly));
    odd.write(QByteArray(1000, 'r'));
    odd.close();
    for (QString& arg : args) {
        if (arg.startsWith('@'))
            arg = arg == "@" ? m_dir.path() : m_dir.filePath(arg.mid(1));
    }

    const Outcome outcome = run(args);
    QCOMPARE(static_cast<int>(outcome.exitCode), exitCode);
    QVERIFY2(outcome.error.contains(error), qPrintable(outcome.error));
    QCOMPARE(m_lib->printerCalls(), QStringList());
    QVERIFY(m_console->prompts.isEmpty());
}

// on/off only get a bool from the library; the state query tells why it failed.
void TestFpctlCommands::diagnosesRefusedSwitch_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("connected");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");

    QTest::newRow("no answer") << -1 << 0 << 5 << "ZPH_USB: the printer does not answer";
    QTest::newRow("answers, but not the state query")
        << -1 << 1 << 1 << "ZPH_USB: the printer refused the command to switch authentication on, and the state query";
    QTest::newRow("busy") << 4 << 1 << 4 << "ZPH_USB: the printer's fingerprint unit is busy";
    QTest::newRow("refused") << 0 << 1 << 1
                             << "ZPH_USB: the printer did not accept the command to switch authentication on";
}

void TestFpctlCommands::diagnosesRefusedSwitch()
{
    QFETCH(int, state);
    QFETCH(int, connected);
    QFETCH(int, exitCode);
    QFETCH(QString, error);

    m_lib->results["openFinger"] = 0;
    m_lib->results["isDeviceFingerOpen"] = state;
    m_lib->results["isDeviceConnectForPrint"] = connected;
    const Outcome outcome = run({ "on", "ZPH_USB" });
    QCOMPARE(static_cast<int>(outcome.exitCode), exitCode);
    QCOMPARE(outcome.error, error);
}

void TestFpctlCommands::enrolPromptsForBothPresses()
{
    const Outcome outcome = run({ "enrol", "ZPH_USB", "张伟" });
    QCOMPARE(outcome.exitCode, ExitCode::Ok);
    // The GB18030 bytes reach the library, the same for both steps.
    QCOMPARE(m_lib->printerCalls(),
        (QStringList { "addFinger " + QString::fromUtf8(kUri) + " 0 d5c5ceb0",
            "addFinger " + QString::fromUtf8(kUri) + " 1 d5c5ceb0" }));
    QCOMPARE(m_console->prompts.size(), 2);
    QVERIFY(m_console->prompts[0].startsWith("Press the finger of '张伟'"));
    QVERIFY(m_console->prompts[1].contains("press it on the reader again"));
    QCOMPARE(outcome.lines, QStringList { "Enrolled '张伟' on ZPH_USB (index 7)." });
    const QJsonObject object = json("enrol", outcome);
    QCOMPARE(object.value("index").toInt(), 7);
    QCOMPARE(object.value("name").toString(), QStringLiteral("张伟"));
}

void TestFpctlCommands::enrolStopsAfterFailedFirstPress()
{
    m_lib->addResults[0] = 7;
    Outcome outcome = run({ "enrol", "ZPH_USB", "bob" });
    QCOMPARE(outcome.exitCode, ExitCode::Failed);
    QVERIFY(outcome.error.contains("first press failed, or no finger was pressed in time (code 7)"));
    QCOMPARE(m_lib->printerCalls().size(), 1);
    QCOMPARE(m_console->prompts.size(), 1);

    init();
    m_lib->addResults[1] = 9;
    outcome = run({ "enrol", "ZPH_USB", "bob" });
    QCOMPARE(outcome.exitCode, ExitCode::Failed);
    QVERIFY(outcome.error.contains("enrolled another name (code 9)"));
    QCOMPARE(json("enrol", outcome).value("library_code").toInt(), 9);

    init();
    m_lib->addResults[0] = 4;
    outcome = run({ "enrol", "ZPH_USB", "bob" });
    QCOMPARE(outcome.exitCode, ExitCode::Busy);
    QCOMPARE(outcome.error, "ZPH_USB: first press: the printer's fingerprint unit is busy (code 4)");
}

void TestFpctlCommands::deleteAllAsksFirst_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("deleted");

    QTest::newRow("y") << QStringList { "y" } << true;
    QTest::newRow("YES") << QStringList { " YES " } << true;
    QTest::newRow("n") << QStringList { "n" } << false;
    QTest::newRow("anything else") << QStringList { "sure" } << false;
    QTest::newRow("end of input") << QStringList {} << false;
}

void TestFpctlCommands::deleteAllAsksFirst()
{
    QFETCH(QStringList, answers);
    QFETCH(bool, deleted);

    m_console->answers = answers;
    const Outcome outcome = run({ "delete-all", "ZPH_USB" });
    QCOMPARE(m_console->prompts, QStringList { "Delete every fingerprint on ZPH_USB? [y/N] " });
    QCOMPARE(m_lib->printerCalls().size(), deleted ? 1 : 0);
    QCOMPARE(outcome.exitCode, deleted ? ExitCode::Ok : ExitCode::Cancelled);
    if (!deleted)
        QCOMPARE(outcome.error, "not confirmed; nothing was deleted");
}

void TestFpctlCommands::exportChecksTheWrittenFile()
{
    const QString file = m_dir.filePath("out.fdl");
    m_lib->exportCount = 2;
    m_lib->exportBytes = QByteArray(2 * 546, 'x');
    Outcome outcome = run({ "export", "ZPH_USB", file });
    QCOMPARE(outcome.exitCode, ExitCode::Ok);
    QCOMPARE(outcome.lines, QStringList { "Exported 2 fingerprint records from ZPH_USB to " + file + "." });
    QCOMPARE(m_lib->printerCalls(), QStringList { "exportFinger " + QString::fromUtf8(kUri) + ' ' + file });

    // A count that the file does not bear out is not called a success.
    m_lib->exportCount = 3;
    outcome = run({ "export", "ZPH_USB", file });
    QCOMPARE(outcome.exitCode, ExitCode::FileError);
    QVERIFY2(outcome.error.contains("sent 3 records, but the file holds 1092 bytes instead of 1638"),
        qPrintable(outcome.error));
}

void TestFpctlCommands::exportOfEmptyPrinterLeavesFile()
{
    const QString file = m_dir.filePath("keep.fdl");
    QFile keep(file);
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.write("old");
    keep.close();
    m_lib->exportCount = 0;
    const Outcome outcome = run({ "--json", "export", "ZPH_USB", file });
    QCOMPARE(outcome.exitCode, ExitCode::Ok);
    QCOMPARE(outcome.lines, QStringList { "ZPH_USB holds no fingerprints; " + file + " was not written." });
    const QJsonObject object = json("export", outcome);
    QCOMPARE(object.value("records").toInt(), 0);
    QCOMPARE(object.value("written").toBool(), false);
    QCOMPARE(QFileInfo(file).size(), 3);
}

void TestFpctlCommands::listsPrinters()
{
    m_lib->usbPrinters = { { "ZPH_USB", kUri } };
    Outcome outcome = run({ "printers" });
    QCOMPARE(outcome.lines, (QStringList { "QUEUE    DEVICE URI", "ZPH_USB  " + QString::fromUtf8(kUri) }));
    QJsonArray list = json("printers", outcome).value("printers").toArray();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].toObject().value("queue").toString(), "ZPH_USB");

    outcome = run({ "printers", "--all" });
    QCOMPARE(outcome.lines.size(), 4);
    QVERIFY(outcome.lines[0].startsWith("QUEUE     SUPPORTED  CONNECTION  MODEL"));
    QVERIFY2(outcome.lines[1].startsWith("ZPH_USB*  yes        usb         Maker ZPH6100RMX Series"),
        qPrintable(outcome.lines[1]));
    QVERIFY(outcome.lines[2].startsWith("ZPH_NET   yes        network"));
    QVERIFY(outcome.lines[3].startsWith("Office    no         network     Generic Laser"));
    list = json("printers", outcome).value("printers").toArray();
    QCOMPARE(list.size(), 3);
    QCOMPARE(list[0].toObject().value("default").toBool(), true);
    QCOMPARE(list[2].toObject().value("supported").toBool(), false);
    QCOMPARE(list[2].toObject().value("uri").toString(), "ipp://10.0.0.9/ipp/print");

    m_lib->usbPrinters.clear();
    outcome = run({ "printers" });
    QCOMPARE(outcome.exitCode, ExitCode::Ok);
    QCOMPARE(outcome.lines, QStringList { "No supported USB printer is installed." });
    QVERIFY(m_lib->printerCalls().isEmpty());
}

void TestFpctlCommands::recordsOfFile()
{
    QByteArray data;
    auto add = [&data](const QByteArray& name, quint16 id) {
        QByteArray r = name + QByteArray(32 - name.size(), '\0');
        r += char(id & 0xFF);
        r += char(id >> 8);
        data += r + QByteArray(512, 'f');
    };
    add("alice", 1);
    add("\xd5\xc5\xce\xb0", 258);
    data += "xyz";
    const QString file = m_dir.filePath("r.fdl");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();

    const Outcome outcome = run({ "records", file });
    QCOMPARE(outcome.exitCode, ExitCode::Ok);
    QCOMPARE(outcome.lines,
        (QStringList { file + ": 2 records", "   ID  NAME", "    1  alice", "  258  张伟",
            "3 bytes after the last whole record are not a record." }));
    const QJsonObject object = json("records", outcome);
    QCOMPARE(object.value("count").toInt(), 2);
    QCOMPARE(object.value("trailing_bytes").toInt(), 3);
    const QJsonObject second = object.value("records").toArray().at(1).toObject();
    QCOMPARE(second.value("id").toInt(), 258);
    QCOMPARE(second.value("name").toString(), QStringLiteral("张伟"));
    QCOMPARE(second.value("name_hex").toString(), "d5c5ceb0");
    QVERIFY(m_lib->calls.isEmpty());
}

void TestFpctlCommands::jsonOfFailure()
{
    m_lib->results["checkFinger"] = 4;
    const Outcome outcome = run({ "check", "ZPH_USB", "bob" });
    const QJsonObject object = json("check", outcome);
    QCOMPARE(object.value("ok").toBool(), false);
    QCOMPARE(object.value("exit_code").toInt(), 4);
    QCOMPARE(object.value("error_kind").toString(), "busy");
    QCOMPARE(object.value("library_code").toInt(), 4);
    QCOMPARE(object.value("error").toString(), "ZPH_USB: the printer's fingerprint unit is busy (code 4)");
    QCOMPARE(object.value("name").toString(), "bob");
    QCOMPARE(object.value("printer").toObject().value("queue").toString(), "ZPH_USB");
    // The error line is written in JSON mode too.
    QCOMPARE(writeOutcome("check", true, outcome).err,
        QByteArray("fpctl: check: ZPH_USB: the printer's fingerprint unit is busy (code 4)\n"));
}

void TestFpctlCommands::errorLineIsOneLine()
{
    QCOMPARE(errorLine("records", "a\nb\rc"), QByteArray("fpctl: records: a b c\n"));
    QCOMPARE(errorLine(QString(), "no command given"), QByteArray("fpctl: no command given\n"));
}

void TestFpctlCommands::verifyIdentifies()
{
    m_lib->identifies = true;
    m_lib->blockMs = 20;
    m_lib->identifiedName = "\xd5\xc5\xce\xb0";
    const Outcome outcome = run({ "verify", "ZPH_USB" });
    QCOMPARE(outcome.exitCode, ExitCode::Ok);
    QCOMPARE(outcome.lines, QStringList { "Identified '张伟' (index 3) on ZPH_USB." });
    const QJsonObject object = json("verify", outcome);
    QCOMPARE(object.value("identified").toBool(), true);
    QCOMPARE(object.value("name").toString(), QStringLiteral("张伟"));
    QCOMPARE(object.value("index").toInt(), 3);
    QCOMPARE(m_lib->cancelCalls.load(), 0);
}

void TestFpctlCommands::verifyChecksLikeThePrintPath_data()
{
    QTest::addColumn<int>("connected");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");

    QTest::newRow("not reachable") << 0 << 1 << 5 << "ZPH_USB: the printer does not answer";
    QTest::newRow("state query failed") << 1 << -1 << 5 << "ZPH_USB: the printer does not answer";
    QTest::newRow("busy") << 1 << 4 << 4 << "ZPH_USB: the printer's fingerprint unit is busy";
    QTest::newRow("off") << 1 << 0 << 1
                         << "ZPH_USB: fingerprint authentication is off; switch it on with 'fpctl on ZPH_USB'";
    QTest::newRow("raw state 2") << 1 << 2 << 1
                                 << "ZPH_USB: fingerprint authentication is off; switch it on with 'fpctl on ZPH_USB'";
    QTest::newRow("on: nobody identified")
        << 1 << 1 << 3 << "ZPH_USB: no enrolled finger was identified (no match, or the printer gave up)";
}

void TestFpctlCommands::verifyChecksLikeThePrintPath()
{
    QFETCH(int, connected);
    QFETCH(int, state);
    QFETCH(int, exitCode);
    QFETCH(QString, error);

    m_lib->results["isDeviceConnectForPrint"] = connected;
    m_lib->results["isDeviceFingerOpenForPrint"] = state;
    m_lib->blockMs = 0;
    const Outcome outcome = run({ "verify", "ZPH_USB" });
    QCOMPARE(static_cast<int>(outcome.exitCode), exitCode);
    QCOMPARE(outcome.error, error);
    const bool waited = m_lib->printerCalls().last().startsWith("identifyFinger");
    QCOMPARE(waited, exitCode == 3);
    if (exitCode == 3)
        QCOMPARE(json("verify", outcome).value("error_kind").toString(), "no-match");
}

void TestFpctlCommands::verifyCancelBeforeStart()
{
    m_fpctl->requestCancel();
    const Outcome outcome = run({ "verify", "ZPH_USB" });
    QCOMPARE(outcome.exitCode, ExitCode::Cancelled);
    QVERIFY(!m_lib->printerCalls().last().startsWith("identifyFinger"));
}

void TestFpctlCommands::verifyCancelWhileWaiting()
{
    m_lib->blockMs = 20000;
    QElapsedTimer timer;
    timer.start();
    std::thread user([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        m_fpctl->requestCancel();
    });
    const Outcome outcome = run({ "verify", "ZPH_USB" });
    user.join();
    QCOMPARE(outcome.exitCode, ExitCode::Cancelled);
    QCOMPARE(outcome.error, "ZPH_USB: cancelled; the printer stopped waiting");
    QVERIFY(m_lib->cancelCalls.load() >= 1);
    QVERIFY2(timer.elapsed() < 10000, "the cancel did not reach the waiting library");
}

// The library drops a cancel made before its verification has bound to the printer; fpctl keeps
// telling it until the verification ends. The fake drops every cancel it got before it started.
void TestFpctlCommands::verifyCancelRacingTheStart()
{
    m_lib->blockMs = 20000;
    m_lib->bindDelayMs = 100;
    QElapsedTimer timer;
    timer.start();
    std::atomic<bool> stop { false };
    // Cancel as soon as fpctl says it is waiting: the library is then still binding.
    std::thread racer([this, &stop] {
        while (!stop && m_console->promptCount == 0)
            std::this_thread::yield();
        m_fpctl->requestCancel();
    });
    const Outcome outcome = run({ "verify", "ZPH_USB" });
    stop = true;
    racer.join();
    QCOMPARE(outcome.exitCode, ExitCode::Cancelled);
    QVERIFY2(timer.elapsed() < 10000, "a cancel made before the library started was lost");
    QVERIFY(m_lib->cancelCalls.load() >= 2);
}

void TestFpctlCommands::verifyTimesOut()
{
    m_lib->blockMs = 20000;
    QElapsedTimer timer;
    timer.start();
    const Outcome outcome = run({ "--json", "verify", "--timeout", "1", "ZPH_USB" });
    QCOMPARE(outcome.exitCode, ExitCode::Timeout);
    QCOMPARE(outcome.error, "ZPH_USB: no finger was identified within 1 s");
    QVERIFY(timer.elapsed() >= 1000);
    QVERIFY2(timer.elapsed() < 10000, "the time-out did not cancel the library");
    QCOMPARE(json("verify", outcome).value("identified").toBool(), false);
}

QTEST_GUILESS_MAIN(TestFpctlCommands)
#include "tst_fpctl_commands.moc"
