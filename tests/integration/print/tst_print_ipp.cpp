// Queues whose printer is reached over IPP: CUPS's ippeveprinter stands in front of a simulated
// network printer, announced through DNS-SD (avahi on a system bus of the test's own), and its
// print command hands each job to the printer's print port and ends only when the printer has
// printed or dropped it — as a printer does that keeps a held job pending at the IPP level until a
// finger. Jobs to "vrkt7x:ipp://…" and "vrkt7x:dnssd://…" queues must be verified and printed.

#include "PrintPathRig.h"

#include <QtTest>
#include <cups/cups.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace
{

const char kAddress[] = "127.0.0.1"; // where a dnssd:// URI of this machine resolves to (localhost)
const char kService[] = "Office IPP";
const int kIppPort = 8631;

} // namespace

class PrintIppTest : public QObject
{
    Q_OBJECT
public:
    ~PrintIppTest() override { stopDaemons(); }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void job_data();
    void job();

private:
    bool startDaemon(QProcess& process, const QString& program, const QStringList& args, const QString& ready);
    void stopDaemons();

    PrintPathRig m_rig;
    fpsim::SimulatedNetPrinter m_printer;
    QTemporaryDir m_dir { QStringLiteral("/tmp/ipp-XXXXXX") };
    QProcess m_dbus;
    QProcess m_avahi;
    QProcess m_ippPrinter;
};

bool PrintIppTest::startDaemon(QProcess& process, const QString& program, const QStringList& args, const QString& ready)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForStarted(10000))
        return false;
    for (int waited = 0; waited < 20000 && process.state() == QProcess::Running; waited += 100) {
        if (QFileInfo::exists(ready))
            return true;
        QTest::qWait(100);
    }
    return false;
}

void PrintIppTest::initTestCase()
{
    QVERIFY2(m_rig.start(), qPrintable(m_rig.error()));
    QVERIFY2(m_printer.start(QLatin1String(kAddress)), qPrintable(m_printer.errorString()));
    QVERIFY(m_printer.control().addUser("alice", 1));

    // DNS-SD on the loopback interface: a system bus and avahi in private folders of /run.
    QVERIFY(PrintPathRig::run(QStringLiteral("ip"), { "link", "set", "lo", "multicast", "on" }));
    for (const char* folder : { "/run/dbus", "/run/avahi-daemon" }) {
        QVERIFY(QDir().mkpath(QLatin1String(folder)));
        QVERIFY(::mount("tmpfs", folder, "tmpfs", 0, "mode=0755") == 0);
    }
    QVERIFY(startDaemon(m_dbus, QStringLiteral("dbus-daemon"), { "--system", "--nofork", "--nopidfile" },
        QStringLiteral("/run/dbus/system_bus_socket")));
    const QString avahiConf = m_dir.filePath(QStringLiteral("avahi-daemon.conf"));
    QVERIFY(PrintPathRig::writeFile(avahiConf,
        "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\nenable-dbus=yes\n"
        "[publish]\npublish-workstation=no\npublish-hinfo=no\n",
        0644));
    QVERIFY(startDaemon(m_avahi, QStringLiteral("avahi-daemon"),
        { "-f", avahiConf, "--no-drop-root", "--no-chroot", "--no-rlimits" },
        QStringLiteral("/run/avahi-daemon/socket")));

    // The IPP printer's print command: the document to the print port, then wait for its end.
    const QString command = m_dir.filePath(QStringLiteral("print-to-fpsim"));
    QVERIFY(PrintPathRig::writeFile(command,
        "#!/bin/bash\n"
        "ctl() { '"
            + QFile::encodeName(fpsim::fpsimProgram()) + "' ctl '" + QFile::encodeName(m_printer.controlSocket())
            + "' jobs; }\n"
              // "id=N state=S bytes=... via=...": the state of the newest job above id $1.
              "newest() { ctl | sed -n 's/^.*id=\\([0-9]*\\) state=\\([a-z]*\\).*$/\\1 \\2/p' | "
              "awk -v above=$1 '$1 > above { s = $2 } END { print s }'; }\n"
              "last=$(ctl | sed -n 's/^.*id=\\([0-9]*\\) .*$/\\1/p' | tail -n 1)\n"
              "cat \"$1\" >/dev/tcp/"
            + kAddress
            + "/9100 || exit 1\n"
              "for i in $(seq 1200); do\n"
              "    case $(newest ${last:-0}) in\n"
              "    printed) exit 0 ;;\n"
              "    dropped) exit 1 ;;\n"
              "    esac\n"
              "    sleep 0.1\n"
              "done\n"
              "exit 1\n",
        0700));
    const QString spool = m_dir.filePath(QStringLiteral("spool"));
    QVERIFY(QDir().mkpath(spool));
    m_ippPrinter.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_ippPrinter.start(QStringLiteral("ippeveprinter"),
        { "-p", QString::number(kIppPort), "-M", "Simulated", "-m", "ZPH6100RMX", "-f",
            "application/octet-stream,text/plain", "-c", command, "-d", spool, QLatin1String(kService) });
    QVERIFY(m_ippPrinter.waitForStarted(10000));
    const auto announced = [this] {
        int exitCode = -1;
        m_rig.cups().runClient(QStringLiteral("ippfind"),
            { "_ipp._tcp", "--name", QStringLiteral("^%1$").arg(QLatin1String(kService)), "-T", "2", "-q" }, &exitCode);
        return exitCode == 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(announced(), 20000);

    // The real ipp and dnssd backends beside the backend, run as root as cupsd runs the usb one.
    const QString backends = m_rig.cups().dir() + QStringLiteral("/bin/backend/");
    for (const char* name : { "ipp", "dnssd" })
        QVERIFY(PrintPathRig::writeFile(backends + QLatin1String(name),
            QByteArray("#!/bin/sh\nexec /usr/lib/cups/backend/") + name + " \"$@\"\n", 0700));
    QVERIFY2(m_rig.cups().addQueue(QStringLiteral("OfficeIpp"),
                 QStringLiteral("vrkt7x:ipp://%1:%2/ipp/print").arg(QLatin1String(kAddress)).arg(kIppPort)),
        qPrintable(m_rig.cups().lastError()));
    QVERIFY2(m_rig.cups().addQueue(
                 QStringLiteral("OfficeDnssd"), QStringLiteral("vrkt7x:dnssd://Office%20IPP._ipp._tcp.local/")),
        qPrintable(m_rig.cups().lastError()));
}

void PrintIppTest::cleanupTestCase() { stopDaemons(); }

void PrintIppTest::stopDaemons()
{
    for (QProcess* p : { &m_ippPrinter, &m_avahi, &m_dbus }) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(5000)) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
}

void PrintIppTest::job_data()
{
    QTest::addColumn<QString>("queue");
    QTest::addColumn<QString>("finger"); // fpsim's finger command
    QTest::addColumn<QString>("atPrinter"); // printed, dropped
    QTest::addColumn<int>("result"); // "result" for the window

    const QString matching = QStringLiteral("finger press alice next delay=3000");
    QTest::newRow("ipp, matching finger") << "OfficeIpp" << matching << "printed" << 1;
    QTest::newRow("ipp, no match") << "OfficeIpp"
                                   << "finger unknown next delay=3000"
                                   << "dropped" << 2;
    QTest::newRow("dnssd, matching finger") << "OfficeDnssd" << matching << "printed" << 1;
}

void PrintIppTest::job()
{
    QFETCH(QString, queue);
    QFETCH(QString, finger);
    QFETCH(QString, atPrinter);
    QFETCH(int, result);

    fpsim::ControlClient& printer = m_printer.control();
    QVERIFY(printer.setState(1));
    QVERIFY(printer.pressNothing());
    QVERIFY(printer.clearJobs());
    QVERIFY2(printer.command(finger), qPrintable(printer.lastError()));
    QByteArray data;
    for (int i = 0; i < 500; ++i)
        data += QByteArray::number(i) + " over IPP " + QTest::currentDataTag() + '\n';

    const int jobId = m_rig.submit(data, true, queue);
    QVERIFY(jobId > 0);
    QString message;
    const int finalState = atPrinter == "printed" ? IPP_JSTATE_COMPLETED : IPP_JSTATE_CANCELED;
    QTRY_COMPARE_WITH_TIMEOUT(m_rig.jobState(jobId, &message), finalState, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(printer.jobList().value(0).state, atPrinter, 10000);
    QCOMPARE(printer.jobList().size(), 1);
    const QString saved = m_dir.filePath(QStringLiteral("printed-%1").arg(jobId));
    QVERIFY(printer.saveJob(printer.jobList().first().id, saved));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), data);
    QTRY_COMPARE_WITH_TIMEOUT(m_rig.resultOf(jobId), result, 5000);
    // The window gives way to its message box, which ends the program once confirmed.
    if (result >= 2)
        QVERIFY2(m_rig.confirmOutcomeBox(jobId, queue), qPrintable(m_rig.error()));
    QTRY_VERIFY_WITH_TIMEOUT(m_rig.fpverifyPid(jobId, queue) == 0, 10000);
}

QTEST_GUILESS_MAIN(PrintIppTest)
#include "tst_print_ipp.moc"
