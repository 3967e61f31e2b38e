// The whole print path: a private cupsd whose queues go through the backend to a simulated
// network printer and (under "fpsim usb") a simulated USB printer, the agent of an unprivileged desktop user under Xvfb
// starting the real fpverify, jobs submitted with lp as that user. Each row is one job and how it ends.

#include "MachineSetting.h"
#include "PrintPathRig.h"

#include <QtTest>
#include <cerrno>
#include <cups/cups.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// Connects to the agent's socket as uid (0: as this process), sends line and returns what came
// back before the agent closed the connection (at most 5 s). *closed: the agent ended it.
QByteArray converse(const QString& socketPath, uid_t uid, gid_t gid, const QByteArray& line, bool* closed)
{
    int out[2];
    if (::pipe(out) != 0)
        return QByteArray();
    const QByteArray path = QFile::encodeName(socketPath);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Plain system calls only: this process has threads.
        ::close(out[0]);
        if (uid != 0
            && (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0))
            _exit(3);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        memcpy(address.sun_path, path.constData(), std::min<size_t>(path.size(), sizeof(address.sun_path) - 1));
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            _exit(4);
        // A refusing agent may close before the line is out.
        if (::send(fd, line.constData(), line.size(), MSG_NOSIGNAL) != line.size())
            _exit(errno == EPIPE || errno == ECONNRESET ? 0 : 5);
        char buffer[256];
        for (;;) {
            struct pollfd p = { fd, POLLIN, 0 };
            if (::poll(&p, 1, 5000) <= 0)
                _exit(1); // still open
            const ssize_t n = ::read(fd, buffer, sizeof(buffer));
            if (n <= 0)
                _exit(0); // closed by the agent
            if (::write(out[1], buffer, n) != n)
                _exit(6);
        }
    }
    ::close(out[1]);
    QByteArray received;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof(buffer))) > 0 || (n < 0 && errno == EINTR))
        received.append(buffer, n > 0 ? n : 0);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    *closed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return received;
}

} // namespace

class PrintPathTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void job_data();
    void job();
    void unreachablePrinterKeepsTheJob();
    void agentConnection_data();
    void agentConnection();

private:
    PrintPathRig m_rig;
};

void PrintPathTest::initTestCase() { QVERIFY2(m_rig.start(), qPrintable(m_rig.error())); }

void PrintPathTest::job_data()
{
    QTest::addColumn<bool>("usb"); // the USB printer's queue, else the network printer's
    QTest::addColumn<int>("authState");
    QTest::addColumn<QString>("finger"); // fpsim's finger command once the window is seen (no window: before the job)
    QTest::addColumn<QString>("action"); // "", "window-cancel", "cancel-job"
    QTest::addColumn<bool>("asDesktopUser");
    QTest::addColumn<bool>("window");
    QTest::addColumn<QString>("atPrinter"); // the printer's job: printed, dropped, "" none arrived
    QTest::addColumn<int>("result"); // "result" for the window, 0 none
    QTest::addColumn<QString>("reason"); // in the job's printer-state-message
    // "state-query-fails": the printer refuses to tell its authentication state until the backend
    // has said so; "remote": the job says it comes from another computer; "foreign-status-file":
    // another user's status file, with a result for every job, and its lock sit in /tmp, on a
    // machine that protects such files as stock Debian does
    QTest::addColumn<QString>("setup");

    QTest::newRow("authentication off") << false << 0 << ""
                                        << "" << true << false << "printed" << 0 << ""
                                        << "";
    QTest::newRow("matching finger") << false << 1 << "finger press alice waiting"
                                     << "" << true << true << "printed" << 1 << ""
                                     << "";
    QTest::newRow("no match") << false << 1 << "finger unknown waiting"
                              << "" << true << true << "dropped" << 2 << "not recognised"
                              << "";
    QTest::newRow("cancel in the window")
        << false << 1 << ""
        << "window-cancel" << true << true << "dropped" << 3 << "cancelled by the user"
        << "";
    QTest::newRow("cancel in CUPS") << false << 1 << ""
                                    << "cancel-job" << true << true << "dropped" << 4 << ""
                                    << "";
    QTest::newRow("time runs out") << false << 1 << ""
                                   << "" << true << true << "dropped" << 5 << "time allowed"
                                   << "";
    QTest::newRow("busy printer") << false << 4 << ""
                                  << "" << true << true << "" << 8 << "busy"
                                  << "";
    QTest::newRow("USB: matching finger") << true << 1 << "finger press alice waiting"
                                          << "" << true << true << "printed" << 1 << ""
                                          << "";
    QTest::newRow("no agent for the owner") << false << 1 << "finger press alice next"
                                            << "" << false << false << "printed" << 0 << ""
                                            << "";
    QTest::newRow("state query fails, then answers") << false << 1 << "finger press alice waiting"
                                                     << "" << true << true << "printed" << 1 << ""
                                                     << "state-query-fails";
    QTest::newRow("job from another computer") << false << 1 << "finger press alice next"
                                               << "" << true << false << "printed" << 0 << ""
                                               << "remote";
    QTest::newRow("another user's status file in /tmp")
        << false << 1 << ""
        << "window-cancel" << true << true << "dropped" << 3 << "cancelled by the user"
        << "foreign-status-file";
}

void PrintPathTest::job()
{
    QFETCH(bool, usb);
    QFETCH(int, authState);
    QFETCH(QString, finger);
    QFETCH(QString, action);
    QFETCH(bool, asDesktopUser);
    QFETCH(bool, window);
    QFETCH(QString, atPrinter);
    QFETCH(int, result);
    QFETCH(QString, reason);
    QFETCH(QString, setup);

    if (usb && !m_rig.hasUsbPrinter())
        QSKIP("not running under fpsim usb");
    const QString queue = QLatin1String(usb ? PrintPathRig::kUsbQueue : PrintPathRig::kQueue);
    fpsim::ControlClient& printer = usb ? m_rig.usbPrinter() : m_rig.printer().control();
    QVERIFY(printer.setState(authState));
    QVERIFY(printer.pressNothing());
    QVERIFY(printer.clearFrameLog());
    QVERIFY(printer.clearJobs());
    if (!finger.isEmpty() && !window)
        QVERIFY2(printer.command(finger), qPrintable(printer.lastError()));
    QByteArray data;
    for (int i = 0; i < 2000; ++i)
        data += QByteArray::number(i) + " fingerprint print path " + QTest::currentDataTag() + '\n';

    MachineSetting protectedRegular;
    if (setup == "state-query-fails")
        QVERIFY(printer.command(QStringLiteral("fault refuse code=FING count=0")));
    if (setup == "foreign-status-file") {
        QVERIFY(protectedRegular.set(MachineSetting::kProtectedRegular, "2"));
        QVERIFY(m_rig.asOtherUser(QStringLiteral("for j in $(seq 1 500); do printf '[%s]\\nresult=1\\n' $j; done "
                                                 "> /tmp/.vrkt7xsmtmp.conf && echo 1 > /tmp/.vrkt7xsmtmp.conf.lock")));
    }
    const QStringList options = setup == "remote"
        ? QStringList { QStringLiteral("-o"), QStringLiteral("job-originating-host-name=remote.example") }
        : QStringList();
    const int jobId = m_rig.submit(data, asDesktopUser, queue, options);
    QVERIFY(jobId > 0);
    if (setup == "state-query-fails") {
        // Held back, with no window and nothing sent, until the printer tells.
        QString message;
        QTRY_VERIFY2_WITH_TIMEOUT(m_rig.jobState(jobId, &message) == IPP_JSTATE_PROCESSING
                && message.contains(QLatin1String("did not tell whether fingerprint authentication is on")),
            qPrintable(message), 30000);
        QVERIFY(printer.jobList().isEmpty());
        QCOMPARE(m_rig.fpverifyPid(jobId, queue), 0);
        QVERIFY(printer.clearFaults());
    }
    if (window) {
        // Within the backend's next try (every 10 s) when the state query failed.
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.fpverifyPid(jobId, queue) != 0, setup == "state-query-fails" ? 25000 : 15000);
        // A busy printer's outcome is there at the window's first look at the status file, when
        // it may not have been mapped yet: its message box is checked below.
        if (result != 8)
            QTRY_VERIFY_WITH_TIMEOUT(m_rig.windowExists(jobId, queue), 15000);
        // The finger comes once the window is seen: now while the printer waits, else at its wait.
        if (!finger.isEmpty())
            QVERIFY2(printer.command(finger), qPrintable(printer.lastError()));
    }
    if (action == "window-cancel") {
        // The window's Cancel button, at the lower right of its 400 x 300 form.
        QVERIFY(m_rig.xdotool({ "search", "--name", QStringLiteral("%1-%2$").arg(queue).arg(jobId), "windowfocus",
            "--sync", "mousemove", "--window", "%1", "355", "275", "click", "1" }));
    } else if (action == "cancel-job") {
        // Once the job waits at the printer.
        QTRY_COMPARE_WITH_TIMEOUT(printer.jobList().value(0).state, QStringLiteral("held"), 15000);
        int exitCode = -1;
        m_rig.cups().runClient(QStringLiteral("cancel"), { QString::number(jobId) }, &exitCode);
        QCOMPARE(exitCode, 0);
    }

    QString message;
    const int finalState = atPrinter == "printed" ? IPP_JSTATE_COMPLETED : IPP_JSTATE_CANCELED;
    QTRY_COMPARE_WITH_TIMEOUT(m_rig.jobState(jobId, &message), finalState, 90000);
    if (!reason.isEmpty())
        QVERIFY2(message.contains(reason), qPrintable(message));
    // The printer's side: what arrived, whether it printed, and its bytes byte for byte.
    if (atPrinter.isEmpty()) {
        QVERIFY(printer.jobList().isEmpty());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(printer.jobList().value(0).state, atPrinter, 5000);
        QCOMPARE(printer.jobList().size(), 1);
        QCOMPARE(printer.jobList().first().via, QLatin1String(usb ? "usb" : "net"));
        const QString saved = QStringLiteral("/tmp/printed-%1").arg(jobId);
        QVERIFY(printer.saveJob(printer.jobList().first().id, saved));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), data);
    }
    // A job that was held and not released is dropped at the printer by the backend's word.
    if (authState == 1 && atPrinter == "dropped")
        QVERIFY(printer.receivedCodes().contains(QStringLiteral("CANL")));
    if (result)
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.resultOf(jobId), result, 5000);
    else
        QCOMPARE(m_rig.resultOf(jobId), 0);
    // The window gives way to its message box, which ends the program once confirmed.
    if (window && result >= 2)
        QVERIFY2(m_rig.confirmOutcomeBox(jobId, queue), qPrintable(m_rig.error()));
    QTRY_VERIFY_WITH_TIMEOUT(m_rig.fpverifyPid(jobId, queue) == 0, 10000);
}

void PrintPathTest::unreachablePrinterKeepsTheJob()
{
    fpsim::SimulatedNetPrinter& printer = m_rig.printer();
    QVERIFY(printer.control().setState(0));
    printer.stop();
    const QByteArray data("printed once the printer is back\n");
    const int jobId = m_rig.submit(data);
    QVERIFY(jobId > 0);
    QString message;
    QTRY_VERIFY2_WITH_TIMEOUT(m_rig.jobState(jobId, &message) == IPP_JSTATE_PROCESSING
            && message.contains(QLatin1String("Waiting for the printer to answer")),
        qPrintable(message), 15000);
    QVERIFY2(
        printer.start(QLatin1String(PrintPathRig::kAddress), { "--state", "0" }), qPrintable(printer.errorString()));
    QVERIFY(printer.control().addUser("alice", 1));
    QTRY_COMPARE_WITH_TIMEOUT(m_rig.jobState(jobId), int(IPP_JSTATE_COMPLETED), 30000);
    QCOMPARE(printer.control().jobList().size(), 1);
    QCOMPARE(printer.control().jobList().first().state, QStringLiteral("printed"));
    QCOMPARE(printer.control().jobList().first().bytes, qint64(data.size()));
}

void PrintPathTest::agentConnection_data()
{
    QTest::addColumn<bool>("asRoot");
    QTest::addColumn<QByteArray>("line");

    const QByteArray show = "SHOW " + PrintPathRig::windowArgument(9001).toUtf8() + '\n';
    QTest::newRow("a peer that is not root") << false << show;
    QTest::newRow("an unknown word") << true << QByteArray("HELLO\n");
    QTest::newRow("a job number that is not one") << true << QByteArray("SHOW start://Office?jobid=x&time_val=10\n");
    QTest::newRow("a line too long") << true << QByteArray(600, 'S');
}

// What the agent does not accept ends that connection, without a window; the next one is served.
void PrintPathTest::agentConnection()
{
    QFETCH(bool, asRoot);
    QFETCH(QByteArray, line);

    bool closed = false;
    QCOMPARE(converse(m_rig.agentSocket(), asRoot ? 0 : m_rig.desktopUid(), 65534, line, &closed), QByteArray());
    QVERIFY(closed);

    // A well-formed request from root still gets its window; its result closes it again.
    static int lastJobId = 9100;
    const int jobId = ++lastJobId;
    const QByteArray show = "SHOW " + PrintPathRig::windowArgument(jobId).toUtf8() + "\nRESULT 1\n";
    const QByteArray answer = converse(m_rig.agentSocket(), 0, 0, show, &closed);
    QVERIFY2(answer.startsWith("SHOWN\n"), answer.constData());
    // The refused request started no window: the only one is this request's, if still running.
    for (const auto& process : PrintPathRig::fpverifyProcesses())
        QCOMPARE(process.second, PrintPathRig::windowArgument(jobId));
    QTRY_VERIFY_WITH_TIMEOUT(m_rig.fpverifyPid(jobId) == 0, 15000);
}

FPSIM_USB_TEST_MAIN(PrintPathTest, PrintPathRig::kUsbSerial)
#include "tst_print_path.moc"
