// CUPS' own usb and socket backends print to the simulated printers: a job lands in the printer
// byte for byte, is held while fingerprint authentication is on, and a verification through the
// library (or a cancel) decides it. Runs under "fpsim usb" in a private namespace.

#include "FingerLibrary.h"
#include "SimulatedPrinters.h"
#include "protocol/FingCmd.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

using fpsim::ControlClient;

namespace
{
const QString kUsbUri = QStringLiteral("usb://Simulated/ZPH6100RMX?serial=SIM0001");
const QString kNetUri = QStringLiteral("socket://127.0.0.2");
const QString kBackendDir = QStringLiteral("/usr/lib/cups/backend/");

struct BackendRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// backend(7): job-id user title copies options [file], the device URI in the environment.
BackendRun runBackend(const QString& scheme, const QString& deviceUri, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!deviceUri.isEmpty())
        env.insert(QStringLiteral("DEVICE_URI"), deviceUri);
    p.setProcessEnvironment(env);
    // Descriptors 3 and 4 are a backend's back and side channel: give it empty ones instead of
    // whatever this process inherited (a stray descriptor 3 makes the spool file descriptor 4).
    p.setChildProcessModifier([] {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 3);
        ::dup2(null, 4);
        if (null > 4)
            ::close(null);
    });
    p.start(kBackendDir + scheme, args);
    BackendRun run;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}
} // namespace

class TestFpsimPrinting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void usbBackendListsThePrinter();
    void jobs_data();
    void jobs();

private:
    ControlClient m_usb;
    fpsim::SimulatedNetPrinter m_net;
    FingerLibrary m_lib;
    QTemporaryDir m_dir;
};

void TestFpsimPrinting::initTestCase()
{
    QVERIFY2(fpsim::runningUnderUsbSimulation(), "not started under fpsim usb");
    for (const char* b : { "usb", "socket" })
        QVERIFY2(QFileInfo(kBackendDir + b).isExecutable(), "CUPS' backends are missing (package cups)");
    QVERIFY2(m_usb.connectTo(fpsim::usbControlSocket("SIM0001")), qPrintable(m_usb.lastError()));
    QVERIFY2(m_net.start(QStringLiteral("127.0.0.2")), qPrintable(m_net.errorString()));
    QVERIFY2(m_lib.load(), qPrintable(m_lib.error()));
    QVERIFY(m_dir.isValid());
}

void TestFpsimPrinting::usbBackendListsThePrinter()
{
    QStringList info;
    QVERIFY(m_usb.command(QStringLiteral("info"), &info));
    const QString deviceId = info.filter(QRegularExpression(QStringLiteral("^deviceid="))).value(0).mid(9);
    const BackendRun run = runBackend(QStringLiteral("usb"), QString(), {});
    QCOMPARE(run.exitCode, 0);
    const QString expected
        = QStringLiteral("direct %1 \"Simulated ZPH6100RMX\" \"Simulated ZPH6100RMX\" \"%2\"").arg(kUsbUri, deviceId);
    QVERIFY2(QString::fromUtf8(run.out).split(QLatin1Char('\n')).filter(expected).size() == 1, run.out.constData());
}

void TestFpsimPrinting::jobs_data()
{
    QTest::addColumn<QString>("via"); // usb, net
    QTest::addColumn<int>("state"); // authentication state of the printer
    QTest::addColumn<QString>("decision"); // none, match, stranger, cancel
    QTest::addColumn<QString>("outcome"); // the job's state at the end

    for (const char* via : { "usb", "net" }) {
        auto row = [via](const char* name) -> QTestData& {
            return QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(via), QLatin1String(name))))
                << QString::fromLatin1(via);
        };
        row("off, printed at once") << 0 << "none"
                                    << "printed";
        row("on, held") << 1 << "none"
                        << "held";
        row("on, a matching finger prints") << 1 << "match"
                                            << "printed";
        row("on, a stranger's finger drops") << 1 << "stranger"
                                             << "dropped";
        row("on, CANL drops") << 1 << "cancel"
                              << "dropped";
    }
}

void TestFpsimPrinting::jobs()
{
    QFETCH(QString, via);
    QFETCH(int, state);
    QFETCH(QString, decision);
    QFETCH(QString, outcome);
    const bool usb = via == QLatin1String("usb");
    ControlClient& printer = usb ? m_usb : m_net.control();
    const QString uri = usb ? kUsbUri : kNetUri;
    QVERIFY(printer.clearJobs());
    QVERIFY(printer.clearStore());
    QVERIFY(printer.addUser("alice"));
    QVERIFY(printer.setState(state));

    // A job of every byte value, larger than one USB transfer and one TCP segment.
    QByteArray data;
    for (int i = 0; i < 70000; ++i)
        data.append(char((i * 7 + QTest::currentDataTag()[0]) & 0xFF));
    const QString file = m_dir.filePath(QStringLiteral("job-%1.prn").arg(via));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(data) == data.size());
    f.close();
    const BackendRun run = runBackend(usb ? QStringLiteral("usb") : QStringLiteral("socket"),
        usb ? uri : uri + QStringLiteral(":9100"), { "7", "alice", "title", "1", "", file });
    QVERIFY2(run.exitCode == 0, run.err.constData());

    if (decision == QLatin1String("match") || decision == QLatin1String("stranger")) {
        QVERIFY(decision == QLatin1String("match") ? printer.pressFingerAtNextWait("alice", 0)
                                                   : printer.pressUnknownFingerAtNextWait(0));
        QByteArray u = uri.toUtf8();
        char name[64] = {};
        short index = 0;
        const bool failed = m_lib.IsFingerPrint(u.data(), name, &index);
        QCOMPARE(failed, decision != QLatin1String("match"));
        if (!failed)
            QCOMPARE(QByteArray(name), QByteArray("alice"));
    } else if (decision == QLatin1String("cancel")) {
        QByteArray u = uri.toUtf8();
        FingCmd cmd(u.data());
        QVERIFY(cmd.CancelPrint());
    }

    const QList<fpsim::SimJob> jobs = printer.jobList();
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(jobs[0].via, via);
    QCOMPARE(jobs[0].state, outcome);
    QCOMPARE(jobs[0].bytes, qint64(data.size()));
    const QString saved = m_dir.filePath(QStringLiteral("saved.prn"));
    QVERIFY(printer.saveJob(jobs[0].id, saved));
    QFile s(saved);
    QVERIFY(s.open(QIODevice::ReadOnly));
    QVERIFY(s.readAll() == data);
}

FPSIM_USB_TEST_MAIN(TestFpsimPrinting, "SIM0001")
#include "tst_fpsim_printing.moc"
