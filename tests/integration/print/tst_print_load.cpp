// Many jobs at once: several queues through the backend (network printers and, under "fpsim usb",
// the USB printer), three desktop users each with an agent, jobs submitted with lp as those users,
// a seeded mix of what happens to each job and faults injected while jobs wait: a printer's state
// query failing for a while, a network printer down and the USB printer unplugged for 20 s, a
// user's agent killed and started again, cupsd restarted, a waiting backend killed. Each row is a
// seed, a size and a fault;
// the oracle holds for every job of the row.
//
// Run with VRKT_PRINT_LOAD=benchmark it runs larger and writes its figures to
// build/artifacts/print-load.txt (nothing about time is asserted).

#include "PrintPathRig.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>
#include <csignal>
#include <cups/cups.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace
{

enum class Scenario { Match, Stranger, TimeOut, WindowCancel, CupsCancel, AuthOff, Busy };

struct Expected {
    int state; // IPP job state
    const char* reason; // in the job's message
    const char* atPrinter; // printed, dropped, "" nothing
    const char* outcome; // syslog outcome, "" no line
};

Expected expectedOf(Scenario s)
{
    switch (s) {
    case Scenario::Match:
        return { IPP_JSTATE_COMPLETED, "", "printed", "identified" };
    case Scenario::Stranger:
        return { IPP_JSTATE_CANCELED, "not recognised", "dropped", "not-identified" };
    case Scenario::TimeOut:
        return { IPP_JSTATE_CANCELED, "time allowed", "dropped", "timed-out" };
    case Scenario::WindowCancel:
        return { IPP_JSTATE_CANCELED, "cancelled by the user", "dropped", "cancelled-by-user" };
    case Scenario::CupsCancel:
        return { IPP_JSTATE_CANCELED, "", "dropped", "job-cancelled" };
    case Scenario::AuthOff:
        return { IPP_JSTATE_COMPLETED, "", "printed", "" };
    case Scenario::Busy:
        return { IPP_JSTATE_CANCELED, "busy", "", "busy" };
    }
    return {};
}

struct Job {
    int id = 0;
    QString queue;
    QString user;
    Scenario scenario = Scenario::Match;
    Scenario ends = Scenario::Match; // the scenario's outcome, or the one a fault leaves
    bool actionless = false; // a fault took away what the scenario does
    int runs = 1; // cupsd restarted while it ran: run again from the start
    bool leftPending = false; // and cupsd did not start it again (then cancelled by the test)
    bool backendKilled = false;
    bool printerLost = false; // its printer went while it waited: timed out, or "not recognised"
    QByteArray data;
    bool acted = false;
    bool ended = false;
    int state = 0;
    QString message;
    qint64 submittedMs = 0, windowMs = -1, fingerMs = -1, endedMs = -1;
};

// Reads the lines the backend sends to syslog: a datagram socket bound over /dev/log in this
// private mount namespace (over the existing one, or in a /dev of links to the real one). A thread
// of its own takes each line as it comes: a socket that nobody reads fills after a few datagrams
// (net.unix.max_dgram_qlen) and then every syslog() call of the backends blocks.
class SyslogCatcher
{
public:
    ~SyslogCatcher()
    {
        if (m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
        if (m_reader.joinable())
            m_reader.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool start()
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        struct sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        strcpy(address.sun_path, "/tmp/syslog.socket");
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
            || ::chmod(address.sun_path, 0666) != 0)
            return false;
        m_reader = std::thread([this] {
            char buffer[2048];
            ssize_t n;
            while ((n = ::recv(m_fd, buffer, sizeof(buffer), 0)) > 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lines << QString::fromUtf8(buffer, int(n));
            }
        });
        const QString script = QFile::exists(QStringLiteral("/dev/log"))
            ? QStringLiteral("mount --bind /tmp/syslog.socket /dev/log")
            : QStringLiteral("mkdir -p /tmp/host-dev && mount --rbind /dev /tmp/host-dev"
                             " && mount -t tmpfs -o mode=0755 tmpfs /dev"
                             " && for e in /tmp/host-dev/* /tmp/host-dev/.[!.]*; do [ -e \"$e\" ] || continue;"
                             " ln -s \"$e\" \"/dev/${e##*/}\"; done && ln -s /tmp/syslog.socket /dev/log");
        return QProcess::execute(QStringLiteral("sh"), { "-c", script }) == 0;
    }
    // Every line received so far.
    QStringList lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    int m_fd = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    QStringList m_lines;
};

// Backends and fpverify windows of this test still running: "PID program" each.
QStringList leftovers()
{
    QStringList found;
    for (const auto& process : PrintPathRig::processes()) {
        const QByteArray& argv0 = process.second.at(0);
        if (argv0.endsWith("/fpverify") || argv0.contains("/backend/"))
            found << QString::number(process.first) + ' ' + QString::fromUtf8(argv0);
    }
    return found;
}

// The backend running job jobId, 0 when none.
qint64 backendOf(int jobId)
{
    for (const auto& process : PrintPathRig::processes())
        if (process.second.at(0).endsWith("/backend/vrkt7x") && process.second.value(1) == QByteArray::number(jobId))
            return process.first;
    return 0;
}

// What one row knows while it runs.
struct Row {
    QString fault; // "", state-query, network-down, usb-unplug, agent, cupsd, backend-kill
    QString faulty; // the queue whose printer a fault strikes
    QString faultyUser; // the user whose agent is killed
    QList<Job> plan;
    int phase = 0; // 0 before the fault, 1 while it lasts, 2 after it
    qint64 faultAt = -1;
    Job* killed = nullptr; // the job whose backend was killed
    QElapsedTimer clock; // from the first lp
};

qint64 percentile(QList<qint64> values, int p)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(std::min<int>(values.size() - 1, (values.size() * p + 99) / 100 - 1));
}

} // namespace

class PrintLoadTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void run_data();
    void run();

private:
    bool benchmark() const { return qgetenv("VRKT_PRINT_LOAD") == "benchmark"; }
    QStringList authQueues() const;
    QList<Job> planJobs(quint32 seed, int jobs, const QStringList& queues) const;
    bool processing(const Job& job);
    // The jobs and windows still waiting, for a message.
    QStringList stuck(const Row& row) const;
    // One round of the row: the fault's next step, each job's scenario, the windows' message boxes.
    void stepFault(Row& row);
    void stepPrinterDown(Row& row);
    void stepAgentKilled(Row& row);
    void stepCupsdRestart(Row& row);
    void stepBackendKilled(Row& row);
    void stepJob(Row& row, Job& job, const QStringList& windows);
    void confirmMessageBoxes();
    // The oracle, once every job has ended, and the row's figures.
    void check(const Row& row, const QStringList& allQueues, const QStringList& audit);
    void write(const QString& line);

    PrintPathRig m_rig;
    SyslogCatcher m_syslog;
    QStringList m_users { "nobody", "daemon", "bin" };
};

void PrintLoadTest::initTestCase()
{
    if (benchmark())
        QFile::remove(QStringLiteral(VRKT_BINARY_DIR "/artifacts/print-load.txt"));
    QVERIFY(m_syslog.start());
    m_rig.setWindowSeconds(12);
    QVERIFY2(m_rig.start(), qPrintable(m_rig.error()));
    // kQueue on 127.0.0.2 is the rig's; a second one with authentication on, one with it off and
    // one whose reader is busy.
    QVERIFY2(
        m_rig.addNetworkQueue(QStringLiteral("Second"), QStringLiteral("127.0.0.3"), 1), qPrintable(m_rig.error()));
    QVERIFY2(m_rig.addNetworkQueue(QStringLiteral("Open"), QStringLiteral("127.0.0.4"), 0), qPrintable(m_rig.error()));
    QVERIFY2(m_rig.addNetworkQueue(QStringLiteral("Busy"), QStringLiteral("127.0.0.5"), 4), qPrintable(m_rig.error()));
    QVERIFY(m_rig.printer().control().setState(1));
    if (m_rig.hasUsbPrinter())
        QVERIFY(m_rig.usbPrinter().setState(1));
    // Run larger: six more network queues with authentication on (nine queues in all).
    for (int i = 1; benchmark() && i <= 6; ++i)
        QVERIFY2(m_rig.addNetworkQueue(QStringLiteral("Net%1").arg(i), QStringLiteral("127.0.0.%1").arg(10 + i), 1),
            qPrintable(m_rig.error()));
    for (const QString& user : m_users.mid(1))
        QVERIFY2(m_rig.addDesktopUser(user), qPrintable(m_rig.error()));
}

QStringList PrintLoadTest::authQueues() const
{
    QStringList queues { QLatin1String(PrintPathRig::kQueue), QStringLiteral("Second") };
    if (fpsim::runningUnderUsbSimulation())
        queues << QLatin1String(PrintPathRig::kUsbQueue);
    for (int i = 1; benchmark() && i <= 6; ++i)
        queues << QStringLiteral("Net%1").arg(i);
    return queues;
}

void PrintLoadTest::run_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<QString>("fault");

    const int scale = benchmark() ? 2 : 1;
    QTest::newRow("mix") << quint32(7) << 14 * scale << QString();
    QTest::newRow("mix, state query fails for a while") << quint32(11) << 12 * scale << QStringLiteral("state-query");
    QTest::newRow("another mix") << quint32(23) << 16 * scale << QString();
    QTest::newRow("network printer down for 20 s") << quint32(5) << 10 * scale << QStringLiteral("network-down");
    QTest::newRow("USB printer unplugged for 20 s") << quint32(5) << 10 * scale << QStringLiteral("usb-unplug");
    QTest::newRow("an agent killed and started again") << quint32(13) << 12 * scale << QStringLiteral("agent");
    QTest::newRow("cupsd restarted") << quint32(17) << 12 * scale << QStringLiteral("cupsd");
    QTest::newRow("a backend killed") << quint32(19) << 8 * scale << QStringLiteral("backend-kill");
}

// The job's data, whole, is what its printer holds last: the job waits for its finger there.
static bool heldAt(fpsim::ControlClient* printer, const Job& job)
{
    const QList<fpsim::SimJob> atPrinter = printer->jobList();
    return !atPrinter.isEmpty() && atPrinter.last().state == "held" && atPrinter.last().bytes == job.data.size();
}

void PrintLoadTest::run()
{
    QFETCH(quint32, seed);
    QFETCH(int, jobs);
    QFETCH(QString, fault);
    if (fault == "usb-unplug" && !m_rig.hasUsbPrinter())
        QSKIP("no USB simulation");

    const QStringList queues = authQueues();
    const QStringList allQueues = queues + QStringList { "Open", "Busy" };
    for (const QString& queue : allQueues) {
        fpsim::ControlClient* printer = m_rig.printerOf(queue);
        QVERIFY(printer && printer->pressNothing() && printer->clearJobs() && printer->clearFaults());
    }
    const int syslogBefore = m_syslog.lines().size();

    Row row;
    row.fault = fault;
    row.plan = planJobs(seed, jobs, queues);
    row.phase = fault.isEmpty() ? 2 : 0;
    // Where the fault strikes: a printer with authentication on, or the second desktop user.
    row.faulty = fault == "usb-unplug" ? QLatin1String(PrintPathRig::kUsbQueue) : QStringLiteral("Second");
    row.faultyUser = m_users.at(1);
    QVERIFY(std::any_of(row.plan.begin(), row.plan.end(),
        [&](const Job& j) { return fault == "agent" ? j.user == row.faultyUser : j.queue == row.faulty; }));
    // The state query fails until the first of the printer's jobs says so.
    if (fault == "state-query")
        QVERIFY(m_rig.printerOf(row.faulty)->injectFault(QStringLiteral("busy code=FING count=0")));

    row.clock.start();
    for (Job& job : row.plan) {
        job.submittedMs = row.clock.elapsed();
        job.id = m_rig.submitAs(job.user, job.data, job.queue);
        QVERIFY(job.id > 0);
    }
    // A row's limit, so that what is stuck gets said before Qt Test's own watchdog ends them all.
    const qint64 deadline = std::min<qint64>(90000 + jobs * 15000, benchmark() ? 1500000 : 270000);
    while (std::any_of(row.plan.begin(), row.plan.end(), [](const Job& j) { return !j.ended; })
        || !PrintPathRig::fpverifyProcesses().isEmpty()) {
        if (row.clock.elapsed() >= deadline)
            QFAIL(qPrintable(QStringLiteral("still waiting: ") + stuck(row).join(", ")));
        const QStringList windows = m_rig.windowTitles();
        stepFault(row);
        for (Job& job : row.plan)
            if (!QTest::currentTestFailed() && !job.ended)
                stepJob(row, job, windows);
        if (QTest::currentTestFailed())
            return;
        confirmMessageBoxes();
        QTest::qWait(200);
    }
    QVERIFY2(row.phase == 2, qPrintable(stuck(row).join(", ")));
    check(row, allQueues, m_syslog.lines().mid(syslogBefore));
}

QList<Job> PrintLoadTest::planJobs(quint32 seed, int jobs, const QStringList& queues) const
{
    // Each job's user, scenario and queue, from the seed.
    QRandomGenerator random(seed);
    QList<Job> plan;
    for (int i = 0; i < jobs; ++i) {
        Job job;
        job.user = m_users.at(random.bounded(m_users.size()));
        job.scenario = job.ends = static_cast<Scenario>(random.bounded(7));
        job.queue = job.scenario == Scenario::AuthOff ? QStringLiteral("Open")
            : job.scenario == Scenario::Busy          ? QStringLiteral("Busy")
                                                      : queues.at(random.bounded(queues.size()));
        for (int line = 0, lines = 200 + random.bounded(2000); line < lines; ++line)
            job.data
                += QStringLiteral("%1 job %2 of seed %3 for %4\n").arg(line).arg(i).arg(seed).arg(job.user).toUtf8();
        plan << job;
    }
    return plan;
}

bool PrintLoadTest::processing(const Job& job) { return !job.ended && m_rig.jobState(job.id) == IPP_JSTATE_PROCESSING; }

QStringList PrintLoadTest::stuck(const Row& row) const
{
    QStringList found;
    for (const Job& j : row.plan)
        if (!j.ended)
            found << QStringLiteral("%1-%2 scenario %3 state %4 \"%5\"")
                         .arg(j.queue)
                         .arg(j.id)
                         .arg(int(j.scenario))
                         .arg(j.state)
                         .arg(j.message);
    for (const auto& process : PrintPathRig::fpverifyProcesses())
        found << process.second;
    if (row.phase != 2)
        found << QStringLiteral("the fault in phase %1").arg(row.phase);
    return found;
}

void PrintLoadTest::stepFault(Row& row)
{
    if (row.fault == "network-down" || row.fault == "usb-unplug")
        stepPrinterDown(row);
    else if (row.fault == "agent")
        stepAgentKilled(row);
    else if (row.fault == "cupsd")
        stepCupsdRestart(row);
    else if (row.fault == "backend-kill")
        stepBackendKilled(row);
}

void PrintLoadTest::stepPrinterDown(Row& row)
{
    // Once a job waits at the printer. Every job waiting there when it goes loses its wait: no
    // finger reaches it, its time runs out, and the printer drops it once back. (One whose wait at
    // the printer had not begun yet fails at once, and is said not to be recognised: the library
    // does not tell a printer gone from a finger that matched nobody.)
    fpsim::ControlClient* printer = m_rig.printerOf(row.faulty);
    const bool waiting = std::any_of(row.plan.begin(), row.plan.end(),
        [&](const Job& j) { return !j.ended && j.queue == row.faulty && heldAt(printer, j); });
    if (row.phase == 0 && waiting) {
        QVERIFY(printer->command("unplug"));
        for (Job& j : row.plan)
            if (j.queue == row.faulty && processing(j)) {
                j.ends = Scenario::TimeOut;
                j.actionless = j.printerLost = true;
            }
        row.faultAt = row.clock.elapsed();
        row.phase = 1;
    } else if (row.phase == 1 && row.clock.elapsed() - row.faultAt >= 20000) {
        QVERIFY(printer->command("plug"));
        row.phase = 2;
    }
}

void PrintLoadTest::stepAgentKilled(Row& row)
{
    // Once a window of the user shows. The user's windows go with the agent; the jobs go on at the
    // printer, and one to be cancelled in its window runs out of time instead.
    const auto windowless = [&] {
        for (Job& j : row.plan)
            if (j.user == row.faultyUser && j.scenario == Scenario::WindowCancel && processing(j) && !j.acted) {
                j.ends = Scenario::TimeOut;
                j.actionless = true;
            }
    };
    const bool shown = std::any_of(row.plan.begin(), row.plan.end(), [&](const Job& j) {
        return !j.ended && j.user == row.faultyUser && j.windowMs >= 0 && heldAt(m_rig.printerOf(j.queue), j);
    });
    if (row.phase == 0 && shown) {
        QVERIFY2(m_rig.killAgent(row.faultyUser), qPrintable(m_rig.error()));
        windowless();
        row.faultAt = row.clock.elapsed();
        row.phase = 1;
    } else if (row.phase == 1 && row.clock.elapsed() - row.faultAt >= 2000) {
        windowless(); // and those that started while there was no agent
        QVERIFY2(m_rig.restartAgent(row.faultyUser), qPrintable(m_rig.error()));
        row.phase = 2;
    }
}

void PrintLoadTest::stepCupsdRestart(Row& row)
{
    // Once two jobs wait at their printers. The jobs under way go back to the queue and run again
    // from the start.
    const int waiting = int(std::count_if(row.plan.begin(), row.plan.end(),
        [&](const Job& j) { return !j.ended && heldAt(m_rig.printerOf(j.queue), j); }));
    if (row.phase == 0 && waiting >= 2) {
        QList<Job*> underWay;
        for (Job& j : row.plan)
            if (processing(j))
                underWay << &j;
        m_rig.cups().stop();
        // Their backends end before cupsd starts again.
        QTRY_VERIFY_WITH_TIMEOUT(leftovers().filter(QStringLiteral("/backend/")).isEmpty(), 30000);
        QVERIFY2(m_rig.cups().start(), qPrintable(m_rig.cups().lastError()));
        for (Job* j : underWay) {
            ++j->runs;
            j->acted = false;
            j->windowMs = -1;
        }
        row.faultAt = row.clock.elapsed();
        row.phase = 2;
        return;
    }
    // CUPS 2.4 may leave a job whose backend was still running when cupsd stopped pending
    // ("job-printing") and start the later ones instead (its own socket backend's too); such a job
    // must not stay held, nor have printed unless its scenario prints, and is cancelled once the
    // others have ended.
    const bool othersEnded
        = std::all_of(row.plan.begin(), row.plan.end(), [](const Job& j) { return j.ended || j.runs > 1; });
    for (Job& j : row.plan)
        if (row.phase == 2 && othersEnded && j.runs > 1 && !j.ended && !j.leftPending
            && m_rig.jobState(j.id) == IPP_JSTATE_PENDING && row.clock.elapsed() - row.faultAt > 30000) {
            int exitCode = -1;
            m_rig.cups().runClient(QStringLiteral("cancel"), { QString::number(j.id) }, &exitCode);
            QCOMPARE(exitCode, 0);
            j.leftPending = true;
        }
}

void PrintLoadTest::stepBackendKilled(Row& row)
{
    // The backend of a job waiting for its finger is killed (SIGKILL): nothing tells the printer.
    // The queue's next job drops what it holds before it is sent (the killed run's mark), or else the
    // printer's own wait does. cupsd takes a backend ended by SIGKILL for one that finished: the job
    // shows as completed, and must not have printed.
    if (row.phase == 0) {
        for (Job& j : row.plan) {
            const qint64 pid = backendOf(j.id);
            if (!j.ended && !j.acted && j.windowMs >= 0 && heldAt(m_rig.printerOf(j.queue), j) && pid > 0) {
                QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
                row.killed = &j;
                j.backendKilled = j.actionless = true;
                row.faultAt = row.clock.elapsed();
                row.phase = 1;
                return;
            }
        }
    } else if (row.phase == 1) {
        const QList<fpsim::SimJob> atPrinter = m_rig.printerOf(row.killed->queue)->jobList();
        if (std::any_of(atPrinter.begin(), atPrinter.end(), [&](const fpsim::SimJob& held) {
                return held.state == "dropped" && held.bytes == row.killed->data.size();
            }))
            row.phase = 2;
    }
}

void PrintLoadTest::stepJob(Row& row, Job& job, const QStringList& windows)
{
    const QString title = QStringLiteral("%1-%2").arg(job.queue).arg(job.id);
    if (job.windowMs < 0 && windows.contains(title))
        job.windowMs = row.clock.elapsed();
    // What the scenario does, once the job waits at its printer (its window shown, for Cancel);
    // nothing is done at a printer before its fault has struck and passed.
    fpsim::ControlClient* printer = m_rig.printerOf(job.queue);
    const bool canAct = row.phase == 2 || row.fault == "agent" || row.fault == "cupsd"
        || job.queue != (row.killed ? row.killed->queue : row.faulty);
    if (!job.acted && !job.actionless && canAct) {
        if (job.scenario == Scenario::Match || job.scenario == Scenario::Stranger) {
            if (heldAt(printer, job)) {
                job.acted = true;
                job.fingerMs = row.clock.elapsed();
                QVERIFY(printer->command(
                    job.scenario == Scenario::Match ? "finger press alice waiting" : "finger unknown waiting"));
            }
        } else if (job.scenario == Scenario::WindowCancel) {
            // The window's Cancel button, at the lower right of its 400 x 300 form.
            if (job.windowMs >= 0)
                job.acted = m_rig.xdotool({ "search", "--onlyvisible", "--name", title + '$', "windowraise", "%1",
                    "windowfocus", "--sync", "%1", "mousemove", "--window", "%1", "355", "275", "click", "1" });
        } else if (job.scenario == Scenario::CupsCancel) {
            if (heldAt(printer, job)) {
                int exitCode = -1;
                m_rig.cups().runClient(QStringLiteral("cancel"), { QString::number(job.id) }, &exitCode);
                QCOMPARE(exitCode, 0);
                job.acted = true;
            }
        }
    }
    job.state = m_rig.jobState(job.id, &job.message);
    if (job.state >= IPP_JSTATE_STOPPED) {
        job.ended = true;
        job.endedMs = row.clock.elapsed();
    }
    if (row.fault == "state-query" && row.phase == 0 && job.queue == row.faulty
        && job.message.contains("did not tell")) {
        QVERIFY(m_rig.printerOf(row.faulty)->clearFaults());
        row.phase = 2;
    }
}

void PrintLoadTest::confirmMessageBoxes()
{
    // A window that ended with a message ("警告") waits for it to be confirmed. (xdotool's --pid
    // does not tell the windows of several fpverify apart: every box is confirmed.)
    QByteArray ids;
    m_rig.xdotool({ "search", "--onlyvisible", "--classname", "fpverify" }, &ids);
    for (const QByteArray& id : ids.split('\n')) {
        QByteArray name;
        if (!id.isEmpty() && m_rig.xdotool({ "getwindowname", QString::fromLatin1(id) }, &name) && name == "警告\n")
            m_rig.pressReturn(QString::fromLatin1(id));
    }
}

void PrintLoadTest::check(const Row& row, const QStringList& allQueues, const QStringList& audit)
{
    // The oracle, job by job. What each printer printed, by content.
    QHash<QByteArray, int> printedCount;
    for (const QString& queue : allQueues) {
        fpsim::ControlClient* printer = m_rig.printerOf(queue);
        for (const fpsim::SimJob& held : printer->jobList()) {
            QVERIFY2(held.state == "printed" || held.state == "dropped",
                qPrintable(queue + ": " + held.state + '\n' + printer->frameLog().join('\n')));
            if (held.state != "printed")
                continue;
            const QString saved = QStringLiteral("/tmp/load-%1-%2").arg(queue).arg(held.id);
            QVERIFY(printer->saveJob(held.id, saved));
            QFile file(saved);
            QVERIFY(file.open(QIODevice::ReadOnly));
            ++printedCount[file.readAll()];
        }
    }
    QList<qint64> toWindow, firstToWindow, fingerToEnd;
    QStringList queuesSeen;
    for (const Job& job : row.plan) {
        const QString what = QStringLiteral("job %1 (%2, %3, scenario %4): state %5, \"%6\"")
                                 .arg(job.id)
                                 .arg(job.queue, job.user)
                                 .arg(int(job.scenario))
                                 .arg(job.state)
                                 .arg(job.message);
        const QString mark = QStringLiteral("queue=%1 job=%2 ").arg(job.queue).arg(job.id);
        QStringList lines = audit.filter(mark);
        if (job.backendKilled) {
            QVERIFY2(job.state == IPP_JSTATE_COMPLETED && !printedCount.contains(job.data) && lines.isEmpty(),
                qPrintable(what + ' ' + lines.join(" | ")));
            continue;
        }
        const Expected e = expectedOf(
            job.printerLost && job.message.contains(QLatin1String("not recognised")) ? Scenario::Stranger : job.ends);
        // A job under way when cupsd stopped may have reached its printer and printed, if its scenario
        // prints: cupsd then runs it again from the start, or leaves it pending (then cancelled here),
        // as with any backend. Never more often than it ran, and never when its scenario does not print.
        const int prints = printedCount.value(job.data);
        const bool printing = qstrcmp(e.atPrinter, "printed") == 0;
        if (job.leftPending) {
            QVERIFY2(job.state == IPP_JSTATE_CANCELED && prints <= (printing ? 1 : 0), qPrintable(what));
            QVERIFY2(lines.size() <= 1, qPrintable(what + ' ' + lines.join(" | ")));
            for (const QString& line : std::as_const(lines))
                QVERIFY2(line.contains(QStringLiteral("outcome=job-cancelled "))
                        || (*e.outcome && line.contains(QStringLiteral("outcome=%1 ").arg(e.outcome))),
                    qPrintable(what + ' ' + line));
            continue;
        }
        QVERIFY2(job.state == e.state, qPrintable(what));
        QVERIFY2(job.message.contains(QLatin1String(e.reason)), qPrintable(what));
        QVERIFY2(printing ? prints >= 1 && prints <= job.runs : prints == 0,
            qPrintable(what
                + QStringLiteral(" printed %1 times, %2 bytes, runs %3\n")
                      .arg(printedCount.value(job.data))
                      .arg(job.data.size())
                      .arg(job.runs)
                + m_rig.printerOf(job.queue)->frameLog().filter(QStringLiteral(" job ")).join('\n')));
        // One line per verification. A job that cupsd ran again has one of each run that got that far,
        // and only the last may have printed it.
        QVERIFY2(lines.size() <= job.runs, qPrintable(what + ' ' + lines.join(" | ")));
        while (lines.size() > 1 && !lines.first().contains(QStringLiteral("outcome=identified ")))
            lines.removeFirst();
        QVERIFY2(lines.size() == (*e.outcome ? 1 : 0), qPrintable(what + ' ' + lines.join(" | ")));
        if (*e.outcome) {
            QVERIFY2(lines.first().contains(QStringLiteral("owner=%1 outcome=%2 ").arg(job.user, e.outcome)),
                qPrintable(lines.first()));
            QCOMPARE(lines.first().contains(" user=alice "), job.ends == Scenario::Match);
        }
        if (job.windowMs >= 0 && job.runs == 1) {
            toWindow << job.windowMs - job.submittedMs;
            // The first job of a queue does not wait for the ones before it.
            if (!queuesSeen.contains(job.queue))
                firstToWindow << job.windowMs - job.submittedMs;
        }
        queuesSeen << job.queue;
        if (job.ends == Scenario::Match && job.runs == 1)
            fingerToEnd << job.endedMs - job.fingerMs;
    }
    // Nothing printed that is not a job of the plan.
    int printed = 0, ofThePlan = 0;
    for (int count : std::as_const(printedCount))
        printed += count;
    for (const Job& job : row.plan)
        ofThePlan += printedCount.value(job.data);
    QCOMPARE(printed, ofThePlan);
    QTRY_VERIFY2_WITH_TIMEOUT(leftovers().isEmpty(), qPrintable(leftovers().join(", ")), 10000);

    write(QStringLiteral("%1: %2 jobs on %3 queues in %4 s; lp -> window p50 %5 ms p95 %6 ms (the first job of each "
                         "queue: p50 %9 ms p95 %10 ms); finger pressed (seen by the test) -> completed p50 %7 ms p95 "
                         "%8 ms; run again after cupsd's restart %11, left pending by it %12")
              .arg(QLatin1String(QTest::currentDataTag()))
              .arg(row.plan.size())
              .arg(allQueues.size())
              .arg(row.clock.elapsed() / 1000.0, 0, 'f', 1)
              .arg(percentile(toWindow, 50))
              .arg(percentile(toWindow, 95))
              .arg(percentile(fingerToEnd, 50))
              .arg(percentile(fingerToEnd, 95))
              .arg(percentile(firstToWindow, 50))
              .arg(percentile(firstToWindow, 95))
              .arg(std::count_if(
                  row.plan.begin(), row.plan.end(), [](const Job& j) { return j.runs > 1 && !j.leftPending; }))
              .arg(std::count_if(row.plan.begin(), row.plan.end(), [](const Job& j) { return j.leftPending; })));
}

void PrintLoadTest::write(const QString& line)
{
    qInfo("%s", qPrintable(line));
    if (!benchmark())
        return;
    QFile out(QStringLiteral(VRKT_BINARY_DIR "/artifacts/print-load.txt"));
    QDir().mkpath(QStringLiteral(VRKT_BINARY_DIR "/artifacts"));
    if (out.open(QIODevice::WriteOnly | QIODevice::Append))
        out.write(line.toUtf8() + '\n');
}

FPSIM_USB_TEST_MAIN(PrintLoadTest, PrintPathRig::kUsbSerial)
#include "tst_print_load.moc"
