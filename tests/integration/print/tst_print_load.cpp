// Many jobs at once: several queues through the backend (network printers and, under "fpsim usb",
// the USB printer), three desktop users each with an agent, jobs submitted with lp as those users,
// a seeded mix of what happens to each job and faults injected while jobs wait. Each row is a seed,
// a size and a set of faults; the oracle holds for every job of the row.
//
// Run with VRKT_PRINT_LOAD=benchmark it runs larger and writes its figures to
// build/artifacts/print-load.txt (nothing about time is asserted).

#include "PrintPathRig.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>
#include <mutex>
#include <thread>
#include <cups/cups.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

// Backends of the sandbox and fpverify windows still running: "PID program" each.
QStringList leftovers()
{
    QStringList found;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray argv0 = f.readAll().split('\0').value(0);
        if (argv0.endsWith("/fpverify") || argv0.contains("/backend/"))
            found << pid + ' ' + QString::fromUtf8(argv0);
    }
    return found;
}

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
    void write(const QString& line);

    PrintPathRig m_rig;
    SyslogCatcher m_syslog;
    QStringList m_users { "nobody", "daemon", "bin" };
};

void PrintLoadTest::initTestCase()
{
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
    for (const QString& user : m_users.mid(1))
        QVERIFY2(m_rig.addDesktopUser(user), qPrintable(m_rig.error()));
}

QStringList PrintLoadTest::authQueues() const
{
    QStringList queues { QLatin1String(PrintPathRig::kQueue), QStringLiteral("Second") };
    if (fpsim::runningUnderUsbSimulation())
        queues << QLatin1String(PrintPathRig::kUsbQueue);
    return queues;
}

void PrintLoadTest::run_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<QStringList>("faults"); // state-query

    const int scale = benchmark() ? 3 : 1;
    QTest::newRow("mix") << quint32(7) << 14 * scale << QStringList();
    QTest::newRow("mix, state query fails for a while")
        << quint32(11) << 12 * scale << QStringList { QStringLiteral("state-query") };
    QTest::newRow("another mix") << quint32(23) << 16 * scale << QStringList();
}

void PrintLoadTest::run()
{
    QFETCH(quint32, seed);
    QFETCH(int, jobs);
    QFETCH(QStringList, faults);

    const QStringList queues = authQueues();
    QStringList allQueues = queues + QStringList { "Open", "Busy" };
    for (const QString& queue : allQueues) {
        fpsim::ControlClient* printer = m_rig.printerOf(queue);
        QVERIFY(printer && printer->pressNothing() && printer->clearJobs() && printer->clearFaults());
    }
    const int syslogBefore = m_syslog.lines().size();

    // The plan: each job's user, scenario and queue, from the seed.
    QRandomGenerator random(seed);
    QList<Job> plan;
    for (int i = 0; i < jobs; ++i) {
        Job job;
        job.user = m_users.at(random.bounded(m_users.size()));
        job.scenario = static_cast<Scenario>(random.bounded(7));
        job.queue = job.scenario == Scenario::AuthOff ? QStringLiteral("Open")
            : job.scenario == Scenario::Busy          ? QStringLiteral("Busy")
                                                      : queues.at(random.bounded(queues.size()));
        for (int line = 0, lines = 200 + random.bounded(2000); line < lines; ++line)
            job.data
                += QStringLiteral("%1 job %2 of seed %3 for %4\n").arg(line).arg(i).arg(seed).arg(job.user).toUtf8();
        plan << job;
    }
    // The fault on a printer with authentication on: its state query fails until the first of its
    // jobs says so.
    const QString faulty = queues.value(1);
    if (faults.contains("state-query"))
        QVERIFY(m_rig.printerOf(faulty)->injectFault(QStringLiteral("busy code=FING count=0")));

    QElapsedTimer clock;
    clock.start();
    for (Job& job : plan) {
        job.submittedMs = clock.elapsed();
        job.id = m_rig.submitAs(job.user, job.data, job.queue);
        QVERIFY(job.id > 0);
    }
    bool faultCleared = faults.isEmpty();
    // Within Qt Test's own watchdog (300 s a row), so that what is stuck gets said.
    const qint64 deadline = std::min(60000 + jobs * 20000, 270000);
    while (std::any_of(plan.begin(), plan.end(), [](const Job& j) { return !j.ended; })
        || !PrintPathRig::fpverifyProcesses().isEmpty()) {
        if (clock.elapsed() >= deadline) {
            QStringList stuck;
            for (const Job& j : plan)
                if (!j.ended)
                    stuck << QStringLiteral("%1-%2 scenario %3 state %4 \"%5\"")
                                 .arg(j.queue)
                                 .arg(j.id)
                                 .arg(int(j.scenario))
                                 .arg(j.state)
                                 .arg(j.message);
            for (const auto& process : PrintPathRig::fpverifyProcesses())
                stuck << process.second;
            QFAIL(qPrintable(QStringLiteral("still waiting: ") + stuck.join(", ")));
        }
        const QStringList windows = m_rig.windowTitles();
        for (Job& job : plan) {
            if (job.ended)
                continue;
            const QString title = QStringLiteral("%1-%2").arg(job.queue).arg(job.id);
            if (job.windowMs < 0 && windows.contains(title))
                job.windowMs = clock.elapsed();
            fpsim::ControlClient* printer = m_rig.printerOf(job.queue);
            if (!job.acted && job.windowMs >= 0) {
                job.acted = true;
                if (job.scenario == Scenario::Match || job.scenario == Scenario::Stranger) {
                    job.fingerMs = clock.elapsed();
                    QVERIFY(printer->command(
                        job.scenario == Scenario::Match ? "finger press alice waiting" : "finger unknown waiting"));
                } else if (job.scenario == Scenario::WindowCancel) {
                    // The window's Cancel button, at the lower right of its 400 x 300 form.
                    QVERIFY(m_rig.xdotool({ "search", "--name", title + '$', "windowraise", "%1", "windowfocus",
                        "--sync", "%1", "mousemove", "--window", "%1", "355", "275", "click", "1" }));
                } else if (job.scenario == Scenario::CupsCancel) {
                    job.acted = false; // once the job waits at the printer
                    const QList<fpsim::SimJob> atPrinter = printer->jobList();
                    if (!atPrinter.isEmpty() && atPrinter.last().state == "held"
                        && atPrinter.last().bytes == job.data.size()) {
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
                job.endedMs = clock.elapsed();
            }
            if (!faultCleared && job.queue == faulty && job.message.contains("did not tell")) {
                QVERIFY(m_rig.printerOf(faulty)->clearFaults());
                faultCleared = true;
            }
        }
        // A window that ended with a message ("警告") waits for it to be confirmed. (xdotool's --pid
        // does not tell the windows of several fpverify apart: every box is confirmed.)
        QByteArray ids;
        m_rig.xdotool({ "search", "--onlyvisible", "--classname", "fpverify" }, &ids);
        for (const QByteArray& id : ids.split('\n')) {
            QByteArray name;
            if (!id.isEmpty() && m_rig.xdotool({ "getwindowname", QString::fromLatin1(id) }, &name) && name == "警告\n")
                m_rig.xdotool({ "windowfocus", "--sync", QString::fromLatin1(id), "key", "Return" });
        }
        QTest::qWait(200);
    }

    // The oracle, job by job. What each printer printed, by content.
    QHash<QByteArray, int> printedCount;
    for (const QString& queue : allQueues) {
        fpsim::ControlClient* printer = m_rig.printerOf(queue);
        for (const fpsim::SimJob& held : printer->jobList()) {
            QVERIFY2(held.state == "printed" || held.state == "dropped", qPrintable(queue + ": " + held.state));
            if (held.state != "printed")
                continue;
            const QString saved = QStringLiteral("/tmp/load-%1-%2").arg(queue).arg(held.id);
            QVERIFY(printer->saveJob(held.id, saved));
            QFile file(saved);
            QVERIFY(file.open(QIODevice::ReadOnly));
            ++printedCount[file.readAll()];
        }
    }
    const QStringList audit = m_syslog.lines().mid(syslogBefore);
    QList<qint64> toWindow, fingerToEnd;
    for (const Job& job : plan) {
        const Expected e = expectedOf(job.scenario);
        const QString what = QStringLiteral("job %1 (%2, %3, scenario %4): state %5, \"%6\"")
                                 .arg(job.id)
                                 .arg(job.queue, job.user)
                                 .arg(int(job.scenario))
                                 .arg(job.state)
                                 .arg(job.message);
        QVERIFY2(job.state == e.state, qPrintable(what));
        QVERIFY2(job.message.contains(QLatin1String(e.reason)), qPrintable(what));
        QVERIFY2(printedCount.value(job.data) == (qstrcmp(e.atPrinter, "printed") == 0 ? 1 : 0), qPrintable(what));
        const QString mark = QStringLiteral("queue=%1 job=%2 ").arg(job.queue).arg(job.id);
        const QStringList lines = audit.filter(mark);
        QVERIFY2(lines.size() == (*e.outcome ? 1 : 0), qPrintable(what + ' ' + lines.join(" | ")));
        if (*e.outcome) {
            QVERIFY2(lines.first().contains(QStringLiteral("owner=%1 outcome=%2 ").arg(job.user, e.outcome)),
                qPrintable(lines.first()));
            QCOMPARE(lines.first().contains(" user=alice "), job.scenario == Scenario::Match);
        }
        if (job.windowMs >= 0)
            toWindow << job.windowMs - job.submittedMs;
        if (job.scenario == Scenario::Match)
            fingerToEnd << job.endedMs - job.fingerMs;
    }
    // Every job of the plan that printed accounts for everything printed.
    int printed = 0;
    for (int count : printedCount)
        printed += count;
    QCOMPARE(printed, int(std::count_if(plan.begin(), plan.end(), [](const Job& j) {
        return expectedOf(j.scenario).state == IPP_JSTATE_COMPLETED;
    })));
    QTRY_VERIFY2_WITH_TIMEOUT(leftovers().isEmpty(), qPrintable(leftovers().join(", ")), 10000);

    write(QStringLiteral("%1: %2 jobs on %3 queues in %4 s; lp -> window p50 %5 ms p95 %6 ms; finger pressed (seen by "
                         "the test) -> completed p50 %7 ms p95 %8 ms")
              .arg(QLatin1String(QTest::currentDataTag()))
              .arg(jobs)
              .arg(allQueues.size())
              .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
              .arg(percentile(toWindow, 50))
              .arg(percentile(toWindow, 95))
              .arg(percentile(fingerToEnd, 50))
              .arg(percentile(fingerToEnd, 95)));
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
