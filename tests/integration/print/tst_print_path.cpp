// The whole print path: a private cupsd whose queue goes through the backend to a simulated
// network printer, the agent of an unprivileged desktop user under Xvfb starting the real
// fpverify, jobs submitted with lp as that user. Each row is one job and how it ends.

#include "CupsSandbox.h"
#include "SimulatedPrinters.h"

#include <QtTest>

#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>

#include <cups/cups.h>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kQueue = QStringLiteral("Office");
const QString kStatusFile = QStringLiteral("/tmp/.vrkt7xsmtmp.conf");
const QString kAddress = QStringLiteral("127.0.0.2");
const char kUser[] = "nobody";

bool run(const QString& program, const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool writeFile(const QString& path, const QByteArray& data, int mode)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        return false;
    f.close();
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

// The printer's print port: keeps what each connection delivered.
class PrintPort : public QObject {
public:
    bool listen() { return m_server.listen(QHostAddress(kAddress), 9100); }
    PrintPort()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { m_partial[s] += s->readAll(); });
                connect(s, &QTcpSocket::readChannelFinished, this, [this, s] {
                    m_partial[s] += s->readAll();
                    if (!m_partial[s].isEmpty())
                        jobs << m_partial.take(s);
                    s->disconnectFromHost();
                    s->deleteLater();
                });
            }
        });
    }
    QList<QByteArray> jobs;

private:
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_partial;
};

} // namespace

class PrintPathTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void job_data();
    void job();
    void unreachablePrinterKeepsTheJob();

private:
    int submit(const QByteArray& data, bool asDesktopUser = true);
    int jobState(int jobId, QString* message);
    bool windowExists(int jobId);
    QStringList fpverifyArguments();
    int resultOf(int jobId);

    CupsSandbox m_cups;
    fpsim::SimulatedNetPrinter m_printer;
    PrintPort m_port;
    QProcess m_xvfb;
    QProcess m_agent;
    QByteArray m_display;
    uid_t m_uid = 0;
};

void PrintPathTest::initTestCase()
{
    const struct passwd* user = getpwnam(kUser);
    QVERIFY(user);
    m_uid = user->pw_uid;
    // A runtime folder of the desktop user, private to this namespace.
    QVERIFY(run(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "mode=0755", "tmpfs", "/run/user"}));
    const QString runtime = QStringLiteral("/run/user/%1").arg(m_uid);
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(::chown(QFile::encodeName(runtime).constData(), m_uid, user->pw_gid) == 0);
    QVERIFY(::chmod(QFile::encodeName(runtime).constData(), 0700) == 0);
    // The window's time: 10 s, the shortest.
    QVERIFY(writeFile(QStringLiteral("/usr/share/vrkt7x/setting.ini"), "[General]\nTimeOut=10\n", 0644));

    m_xvfb.start(QStringLiteral("Xvfb"), {":7", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
    QVERIFY(m_xvfb.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/tmp/.X11-unix/X7")), 10000);
    m_display = ":7";

    QVERIFY2(m_printer.start(kAddress), qPrintable(m_printer.errorString()));
    QVERIFY(m_printer.control().addUser("alice", 1));
    QVERIFY(m_port.listen());

    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    // The backend and the real socket backend beside it, as cupsd runs them: root, mode 0700.
    const QString backends = m_cups.dir() + QStringLiteral("/bin/backend/");
    QVERIFY(writeFile(backends + QStringLiteral("vrkt7x"),
                      "#!/bin/sh\nexec " VRKT_BINARY_DIR "/bin/backend/vrkt7x \"$@\"\n", 0700));
    QFile::remove(backends + QStringLiteral("socket"));
    QVERIFY(QFile::link(QStringLiteral("/usr/lib/cups/backend/socket"), backends + QStringLiteral("socket")));
    // Jobs stay in the history with their state and message after they end.
    {
        const QString conf = m_cups.dir() + QStringLiteral("/cupsd.conf");
        QFile f(conf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll().replace("PreserveJobHistory No", "PreserveJobHistory Yes");
        f.close();
        QVERIFY(writeFile(conf, text, 0644));
        pid_t cupsd = 0;
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (cmd.open(QIODevice::ReadOnly) && cmd.readAll().contains(QFile::encodeName(conf)))
                cupsd = pid.toInt();
        }
        QVERIFY(cupsd > 0);
        QVERIFY(::kill(cupsd, SIGHUP) == 0);
        QTest::qWait(1000);
        QTRY_VERIFY_WITH_TIMEOUT(m_cups.runClient(QStringLiteral("lpstat"), {"-r"}).contains("is running"), 10000);
    }
    QVERIFY2(m_cups.addQueue(kQueue, QStringLiteral("vrkt7x:socket://%1:9100").arg(kAddress)),
             qPrintable(m_cups.lastError()));

    // The desktop user's agent.
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    m_agent.setProcessEnvironment(env);
    m_agent.setProcessChannelMode(QProcess::ForwardedChannels);
    m_agent.start(QStringLiteral("setpriv"),
                  {QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(user->pw_gid),
                   "--clear-groups", VRKT_BINARY_DIR "/bin/vrkt7x-agent", "--fpverify", VRKT_BINARY_DIR "/bin/fpverify"});
    QVERIFY(m_agent.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(runtime + QStringLiteral("/vrkt7x/agent.socket")), 10000);
}

void PrintPathTest::cleanupTestCase()
{
    m_agent.terminate();
    m_agent.waitForFinished(5000);
    m_cups.stop();
    m_xvfb.terminate();
    m_xvfb.waitForFinished(5000);
}

int PrintPathTest::submit(const QByteArray& data, bool asDesktopUser)
{
    QProcess lp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), m_cups.socketPath());
    env.remove(QStringLiteral("LPDEST"));
    env.remove(QStringLiteral("PRINTER"));
    lp.setProcessEnvironment(env);
    QStringList args{QStringLiteral("lp"), QStringLiteral("-d"), kQueue};
    if (asDesktopUser)
        lp.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=%1").arg(m_uid), "--regid=65534",
                                                        "--clear-groups"} + args);
    else
        lp.start(args.takeFirst(), args);
    lp.write(data);
    lp.closeWriteChannel();
    if (!lp.waitForFinished(10000))
        return -1;
    // "request id is Office-17 (1 file(s))"
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral("-(\\d+) ")).match(QString::fromLatin1(lp.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

int PrintPathTest::jobState(int jobId, QString* message)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = QStringLiteral("ipp://localhost/jobs/%1").arg(jobId).toUtf8();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    int state = 0;
    if (response) {
        if (ipp_attribute_t* a = ippFindAttribute(response, "job-state", IPP_TAG_ENUM))
            state = ippGetInteger(a, 0);
        if (ipp_attribute_t* a = ippFindAttribute(response, "job-printer-state-message", IPP_TAG_TEXT))
            *message = QString::fromUtf8(ippGetString(a, 0, nullptr));
        ippDelete(response);
    }
    return state;
}

bool PrintPathTest::windowExists(int jobId)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
    p.setProcessEnvironment(env);
    // xdotool's patterns do not take the Chinese part of the title: find by its end, compare whole.
    p.start(QStringLiteral("xdotool"),
            {"search", "--name", QStringLiteral("%1-%2$").arg(kQueue).arg(jobId), "getwindowname", "%@"});
    return p.waitForFinished(5000) && p.exitCode() == 0
        && QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n')).contains(
            QStringLiteral("指纹认证-%1-%2").arg(kQueue).arg(jobId));
}

QStringList PrintPathTest::fpverifyArguments()
{
    QStringList found;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> argv = f.readAll().split('\0');
        if (argv.size() >= 2 && argv.at(0).endsWith("/fpverify"))
            found << QString::fromUtf8(argv.at(1));
    }
    return found;
}

int PrintPathTest::resultOf(int jobId)
{
    QSettings s(kStatusFile, QSettings::NativeFormat);
    return s.value(QStringLiteral("%1/result").arg(jobId)).toInt();
}

void PrintPathTest::job_data()
{
    QTest::addColumn<int>("authState");
    QTest::addColumn<QString>("finger"); // fpsim's finger command, "" none
    QTest::addColumn<QString>("action"); // "", "window-cancel", "cancel-job"
    QTest::addColumn<bool>("asDesktopUser");
    QTest::addColumn<bool>("window");
    QTest::addColumn<bool>("prints");
    QTest::addColumn<int>("result"); // "result" for the window, 0 none
    QTest::addColumn<QString>("reason"); // in the job's printer-state-message

    QTest::newRow("authentication off") << 0 << "" << "" << true << false << true << 0 << "";
    QTest::newRow("matching finger") << 1 << "finger press alice next delay=4000" << "" << true << true << true << 1 << "";
    QTest::newRow("no match") << 1 << "finger unknown next" << "" << true << true << false << 2 << "not recognised";
    QTest::newRow("cancel in the window") << 1 << "" << "window-cancel" << true << true << false << 3
                                          << "cancelled by the user";
    QTest::newRow("cancel in CUPS") << 1 << "" << "cancel-job" << true << true << false << 4 << "";
    QTest::newRow("time runs out") << 1 << "" << "" << true << true << false << 5 << "time allowed";
    QTest::newRow("busy printer") << 4 << "" << "" << true << true << false << 8 << "busy";
    QTest::newRow("no agent for the owner") << 1 << "finger press alice next" << "" << false << false << true << 0 << "";
}

void PrintPathTest::job()
{
    QFETCH(int, authState);
    QFETCH(QString, finger);
    QFETCH(QString, action);
    QFETCH(bool, asDesktopUser);
    QFETCH(bool, window);
    QFETCH(bool, prints);
    QFETCH(int, result);
    QFETCH(QString, reason);

    fpsim::ControlClient& printer = m_printer.control();
    QVERIFY(printer.setState(authState));
    QVERIFY(printer.pressNothing());
    QVERIFY(printer.clearFrameLog());
    if (!finger.isEmpty())
        QVERIFY2(printer.command(finger), qPrintable(printer.lastError()));
    m_port.jobs.clear();
    QByteArray data;
    for (int i = 0; i < 2000; ++i)
        data += QByteArray::number(i) + " fingerprint print path " + QTest::currentDataTag() + '\n';

    const int jobId = submit(data, asDesktopUser);
    QVERIFY(jobId > 0);
    if (window) {
        QTRY_VERIFY_WITH_TIMEOUT(windowExists(jobId), 15000);
        QVERIFY(fpverifyArguments().contains(QStringLiteral("start://%1?jobid=%2&time_val=10").arg(kQueue).arg(jobId)));
    }
    if (action == "window-cancel") {
        // The window's Cancel button, at the lower right of its 400 x 300 form.
        QProcess xdotool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
        xdotool.setProcessEnvironment(env);
        xdotool.start(QStringLiteral("xdotool"),
                      {"search", "--name", QStringLiteral("%1-%2$").arg(kQueue).arg(jobId), "windowfocus",
                       "--sync", "key", "--window", "%1", "Escape", "mousemove", "--window", "%1", "355", "275",
                       "click", "1"});
        QVERIFY(xdotool.waitForFinished(10000));
    } else if (action == "cancel-job") {
        QTest::qWait(2000);
        int exitCode = -1;
        m_cups.runClient(QStringLiteral("cancel"), {QString::number(jobId)}, &exitCode);
        QCOMPARE(exitCode, 0);
    }

    QString message;
    const int finalState = prints ? IPP_JSTATE_COMPLETED : IPP_JSTATE_CANCELED;
    QTRY_COMPARE_WITH_TIMEOUT(jobState(jobId, &message), finalState, 90000);
    if (!reason.isEmpty())
        QVERIFY2(message.contains(reason), qPrintable(message));
    if (prints) {
        QTRY_COMPARE_WITH_TIMEOUT(m_port.jobs.size(), 1, 5000);
        QCOMPARE(m_port.jobs.first(), data); // byte for byte
    }
    // A job that was held and not released is dropped at the printer.
    if (authState == 1 && !prints)
        QVERIFY(printer.receivedCodes().contains(QStringLiteral("CANL")));
    if (result)
        QTRY_COMPARE_WITH_TIMEOUT(resultOf(jobId), result, 5000);
    else
        QCOMPARE(resultOf(jobId), 0);
    if (window && result >= 2) {
        // The window shows its message (the one visible window of fpverify) and ends once it is confirmed.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
        QProcess xdotool;
        xdotool.setProcessEnvironment(env);
        QTRY_VERIFY_WITH_TIMEOUT((xdotool.start(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--classname", "fpverify", "key", "--window", "%1", "Return"}),
                                  xdotool.waitForFinished(5000) && xdotool.exitCode() == 0), 10000);
    }
    const QString argument = QStringLiteral("start://%1?jobid=%2&time_val=10").arg(kQueue).arg(jobId);
    QTRY_VERIFY_WITH_TIMEOUT(!fpverifyArguments().contains(argument), 10000);
}

void PrintPathTest::unreachablePrinterKeepsTheJob()
{
    QVERIFY(m_printer.control().setState(0));
    m_printer.stop();
    m_port.jobs.clear();
    const QByteArray data("printed once the printer is back\n");
    const int jobId = submit(data);
    QVERIFY(jobId > 0);
    QTest::qWait(3000);
    QString message;
    QCOMPARE(jobState(jobId, &message), int(IPP_JSTATE_PROCESSING));
    QVERIFY(m_port.jobs.isEmpty());
    QVERIFY2(m_printer.start(kAddress, {"--state", "0"}), qPrintable(m_printer.errorString()));
    QTRY_COMPARE_WITH_TIMEOUT(jobState(jobId, &message), int(IPP_JSTATE_COMPLETED), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(m_port.jobs.value(0), data, 5000);
}

QTEST_GUILESS_MAIN(PrintPathTest)
#include "tst_print_path.moc"
