// Writes $VRKT_ARTIFACTS_DIR/print-path.txt; asserts nothing about speed.
//   - from lp to the job's window shown, median and max over 10 jobs;
//   - from the finger pressed on the simulated printer to the job completed in CUPS (the backend
//     has seen the verification and ended), median and max over 10 jobs;
//   - with authentication off, a 10 MB job through the backend against the same printer's queue
//     without it (the real socket backend alone), median over 9 jobs each;
//   - with authentication off, small jobs run as cupsd runs a backend (outside cupsd, so that its
//     scheduling does not blur the figure): through the backend against the socket backend alone,
//     one, 8 and 32 at a time: ms per job, jobs per minute, CPU time per job (the backend
//     with its inner backend);
//   - the memory of a backend waiting for a finger (proportional set size, resident and peak
//     resident) against the socket backend sending to a printer that does not read, with 1, 8 and
//     32 of them waiting at once (a simulated printer each).

#include "PrintPathRig.h"

#include <QElapsedTimer>
#include <QtTest>
#include <algorithm>
#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{

const int kPressJobs = 10;
const int kLargeJobs = 9;
const int kLargeBytes = 10 * 1024 * 1024;
const int kSmallJobs = 24; // per variant and round
const int kSmallRounds = 3;
const char kSocketBackend[] = "/usr/lib/cups/backend/socket";
const char kBackend[] = VRKT_BINARY_DIR "/bin/backend/vrkt7x";

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v.at(v.size() / 2) : (v.at(v.size() / 2 - 1) + v.at(v.size() / 2)) / 2;
}

double msOf(const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; }

// One backend started as cupsd starts it: argv[0] the device URI, the print file as argument, the
// back channel (3) and side channel (4) open on channels that nobody writes to.
struct BackendRun {
    pid_t pid = -1;
    int pidfd = -1;
    int back[2] = { -1, -1 };
    int side[2] = { -1, -1 };
    QElapsedTimer clock;
    int status = -1;
    double wallMs = 0;
    double cpuMs = 0; // user and system time, with the inner backend it waited for

    bool start(const QByteArray& program, const QByteArray& uri, const QByteArray& serverBin, int jobId,
        const QByteArray& file)
    {
        if (::pipe2(back, O_CLOEXEC) != 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, side) != 0)
            return false;
        QList<QByteArray> env { "DEVICE_URI=" + uri, "PRINTER=" + QByteArray(PrintPathRig::kQueue),
            "CUPS_SERVERBIN=" + serverBin };
        for (char** e = environ; *e; ++e) {
            if (!QByteArray(*e).startsWith("DEVICE_URI=") && !QByteArray(*e).startsWith("PRINTER=")
                && !QByteArray(*e).startsWith("CUPS_SERVERBIN="))
                env << QByteArray(*e);
        }
        // Owned by root, who has no agent: a waiting job shows no window.
        QList<QByteArray> args { uri, QByteArray::number(jobId), "root", "bench", "1", "", file };
        std::vector<char*> argv, envp;
        for (QByteArray& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (QByteArray& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd : { 0, 1, 2 })
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
        posix_spawn_file_actions_adddup2(&actions, back[1], 3);
        posix_spawn_file_actions_adddup2(&actions, side[1], 4);
        clock.start();
        const int r = posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (r != 0)
            return false;
        pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        return pidfd >= 0;
    }
    // Reaps the process once it has ended; true when it has.
    bool reap()
    {
        struct rusage usage = {};
        if (pid <= 0 || ::wait4(pid, &status, WNOHANG, &usage) != pid)
            return false;
        wallMs = double(clock.nsecsElapsed()) / 1e6;
        cpuMs = msOf(usage.ru_utime) + msOf(usage.ru_stime);
        pid = -1;
        return true;
    }
    // Waits up to timeoutMs for the end, then kills the process; true when it ended by itself.
    bool finish(int timeoutMs)
    {
        pollfd p { pidfd, POLLIN, 0 };
        const bool ended = pid <= 0 || (::poll(&p, 1, timeoutMs) == 1 && reap());
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
        return ended;
    }
    ~BackendRun()
    {
        finish(0);
        for (int fd : { pidfd, back[0], back[1], side[0], side[1] })
            if (fd >= 0)
                ::close(fd);
    }
};

// Proportional set size, resident set size and peak resident set size in kB, -1 when unknown.
struct Memory {
    qint64 pss = -1, rss = -1, hwm = -1;
};

Memory memoryOf(pid_t pid)
{
    Memory m;
    auto field = [](const QString& path, const QByteArray& name) -> qint64 {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith(name))
                return line.mid(name.size()).trimmed().split(' ').value(0).toLongLong();
        return -1;
    };
    m.pss = field(QStringLiteral("/proc/%1/smaps_rollup").arg(pid), "Pss:");
    m.rss = field(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS:");
    m.hwm = field(QStringLiteral("/proc/%1/status").arg(pid), "VmHWM:");
    return m;
}

// The sum of the processes' set sizes and their largest peak; pss -1 when one is unknown.
Memory totalOf(const std::vector<std::unique_ptr<BackendRun>>& runs)
{
    Memory total { 0, 0, 0 };
    for (const auto& run : runs) {
        const Memory m = memoryOf(run->pid);
        if (m.pss <= 0)
            return Memory();
        total.pss += m.pss;
        total.rss += m.rss;
        total.hwm = std::max(total.hwm, m.hwm);
    }
    return total;
}

char processState(pid_t pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray stat = f.readAll();
    const qsizetype at = stat.lastIndexOf(')') + 2;
    return at >= 2 && at < stat.size() ? stat.at(at) : '?';
}

} // namespace

class PrintPathBenchmark : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void pressToRelease();
    void largeJob();
    void smallJobs_data();
    void smallJobs();
    void waitingMemory_data();
    void waitingMemory();
    void cleanupTestCase();

private:
    // Submits data to queue and waits until CUPS completes it; milliseconds from the submission, -1 on failure.
    double printAndWait(const QByteArray& data, const QString& queue);

    struct Batch {
        QList<double> wallMs, cpuMs;
        double totalMs = 0;
    };
    // Runs jobs of the file through program, lanes at a time; false when one fails.
    bool runBatch(const QByteArray& program, const QByteArray& uri, int jobs, int lanes, Batch* batch);
    QString memoryLine(const char* what, const Memory& m);

    PrintPathRig m_rig;
    QStringList m_report;
    QTemporaryDir m_serverBin; // backend/socket: the real socket backend
    QByteArray m_smallFile;
    int m_nextJob = 9000;
};

void PrintPathBenchmark::initTestCase()
{
    QVERIFY2(m_rig.start(), qPrintable(m_rig.error()));
    // The backends run directly find the real socket backend in CUPS_SERVERBIN.
    QVERIFY(m_serverBin.isValid() && QDir(m_serverBin.path()).mkpath(QStringLiteral("backend")));
    QVERIFY(QFile::link(QLatin1String(kSocketBackend), m_serverBin.filePath(QStringLiteral("backend/socket"))));
    m_smallFile = QFile::encodeName(m_serverBin.filePath(QStringLiteral("small.prn")));
    QFile small(QString::fromLocal8Bit(m_smallFile));
    QVERIFY(small.open(QIODevice::WriteOnly) && small.write(QByteArray(4096, 'x')) == 4096);
}

void PrintPathBenchmark::pressToRelease()
{
    fpsim::ControlClient& printer = m_rig.printer().control();
    QVERIFY(printer.setState(1));
    QList<double> ms, afterSeen, toWindow;
    for (int i = 0; i < kPressJobs; ++i) {
        QVERIFY(printer.pressNothing());
        QVERIFY(printer.clearFrameLog());
        QVERIFY(printer.clearJobs());
        QElapsedTimer submitted;
        submitted.start();
        const int jobId = m_rig.submit("benchmark job " + QByteArray::number(i) + '\n');
        QVERIFY(jobId > 0);
        while (!m_rig.windowTitles().contains(
            QStringLiteral("%1-%2").arg(QLatin1String(PrintPathRig::kQueue)).arg(jobId))) {
            QVERIFY2(submitted.elapsed() < 30000, "no window");
            QTest::qWait(5);
        }
        toWindow << double(submitted.nsecsElapsed()) / 1e6;
        // The job is held and the printer waits for a finger.
        QTRY_VERIFY_WITH_TIMEOUT(printer.receivedCodes().contains(QStringLiteral("DISC")), 30000);
        QCOMPARE(printer.jobList().value(0).state, QStringLiteral("held"));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(printer.command(QStringLiteral("finger press alice now")));
        while (m_rig.jobState(jobId) != IPP_JSTATE_COMPLETED) {
            QVERIFY2(clock.elapsed() < 60000, "the job does not complete");
            QTest::qWait(10);
        }
        ms << double(clock.nsecsElapsed()) / 1e6;
        QCOMPARE(printer.jobList().value(0).state, QStringLiteral("printed"));
        // The library sees the finger when it fetches the result ("GETR", at its next poll of the
        // printer's status); the printer's log tells how long after the press that was.
        qint64 pressedAt = -1, fetchedAt = -1;
        for (const QString& line : printer.frameLog()) {
            const QStringList f = line.split(QLatin1Char(' '));
            if (pressedAt < 0 && f.value(1) == QLatin1String("finger"))
                pressedAt = f.value(0).toLongLong();
            else if (pressedAt >= 0 && fetchedAt < 0 && f.value(2) == QLatin1String("GETR"))
                fetchedAt = f.value(0).toLongLong();
        }
        QVERIFY(pressedAt >= 0 && fetchedAt >= pressedAt);
        afterSeen << ms.last() - double(fetchedAt - pressedAt);
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.fpverifyPid(jobId) == 0, 10000);
    }
    m_report << QStringLiteral("lp to the job's window shown, %1 jobs: median %2 ms, max %3 ms")
                    .arg(kPressJobs)
                    .arg(median(toWindow), 0, 'f', 0)
                    .arg(*std::max_element(toWindow.begin(), toWindow.end()), 0, 'f', 0);
    m_report << QStringLiteral("press to job completed in CUPS, %1 jobs: median %2 ms, max %3 ms")
                    .arg(kPressJobs)
                    .arg(median(ms), 0, 'f', 0)
                    .arg(*std::max_element(ms.begin(), ms.end()), 0, 'f', 0);
    QStringList all;
    for (double v : ms)
        all << QString::number(v, 'f', 0);
    m_report << QStringLiteral("  each: ") + all.join(QLatin1Char(' '))
             << QStringLiteral("  of which after the library fetched the result (GETR): median %1 ms, max %2 ms")
                    .arg(median(afterSeen), 0, 'f', 0)
                    .arg(*std::max_element(afterSeen.begin(), afterSeen.end()), 0, 'f', 0);
}

double PrintPathBenchmark::printAndWait(const QByteArray& data, const QString& queue)
{
    fpsim::ControlClient& printer = m_rig.printer().control();
    if (!printer.clearJobs())
        return -1;
    QElapsedTimer clock;
    clock.start();
    const int jobId = m_rig.submit(data, true, queue);
    if (jobId <= 0)
        return -1;
    while (m_rig.jobState(jobId) != IPP_JSTATE_COMPLETED) {
        if (clock.elapsed() > 120000)
            return -1;
        QTest::qWait(10);
    }
    const double elapsed = double(clock.nsecsElapsed()) / 1e6;
    const QList<fpsim::SimJob> jobs = printer.jobList();
    if (jobs.size() != 1 || jobs.first().state != QLatin1String("printed") || jobs.first().bytes != data.size())
        return -1;
    return elapsed;
}

void PrintPathBenchmark::largeJob()
{
    QVERIFY(m_rig.printer().control().setState(0));
    QByteArray data;
    data.reserve(kLargeBytes);
    for (int i = 0; data.size() < kLargeBytes; ++i)
        data += "line " + QByteArray::number(i) + " of a large job for the print path\n";
    data.truncate(kLargeBytes);
    QList<double> through, alone;
    for (int i = 0; i < kLargeJobs; ++i) {
        // Alternating, so that a change of load on the machine touches both alike.
        const double a = printAndWait(data, QLatin1String(PrintPathRig::kDirectQueue));
        const double b = printAndWait(data, QLatin1String(PrintPathRig::kQueue));
        QVERIFY(a > 0 && b > 0);
        alone << a;
        through << b;
    }
    const double ratio = median(through) / median(alone);
    m_report << QStringLiteral(
        "10 MB job, authentication off, median of %1 (lp to completed): through the backend %2 ms, "
        "inner backend alone %3 ms, ratio %4")
                    .arg(kLargeJobs)
                    .arg(median(through), 0, 'f', 0)
                    .arg(median(alone), 0, 'f', 0)
                    .arg(ratio, 0, 'f', 3);
}

bool PrintPathBenchmark::runBatch(const QByteArray& program, const QByteArray& uri, int jobs, int lanes, Batch* batch)
{
    fpsim::ControlClient& printer = m_rig.printer().control();
    if (!printer.clearJobs())
        return false;
    const QByteArray serverBin = QFile::encodeName(m_serverBin.path());
    std::vector<std::unique_ptr<BackendRun>> running;
    int started = 0, ended = 0;
    QElapsedTimer clock;
    clock.start();
    while (ended < jobs) {
        while (started < jobs && int(running.size()) < lanes) {
            running.push_back(std::make_unique<BackendRun>());
            if (!running.back()->start(program, uri, serverBin, ++m_nextJob, m_smallFile))
                return false;
            ++started;
        }
        std::vector<pollfd> fds;
        for (const auto& r : running)
            fds.push_back({ r->pidfd, POLLIN, 0 });
        if (::poll(fds.data(), fds.size(), 60000) <= 0)
            return false;
        for (auto it = running.begin(); it != running.end();) {
            if (!(*it)->reap()) {
                ++it;
                continue;
            }
            if (!WIFEXITED((*it)->status) || WEXITSTATUS((*it)->status) != 0)
                return false;
            batch->wallMs << (*it)->wallMs;
            batch->cpuMs << (*it)->cpuMs;
            ++ended;
            it = running.erase(it);
        }
    }
    batch->totalMs += double(clock.nsecsElapsed()) / 1e6;
    // Every job reached the printer whole.
    const QList<fpsim::SimJob> printed = printer.jobList();
    return printed.size() == jobs && std::all_of(printed.begin(), printed.end(), [this](const fpsim::SimJob& j) {
        return j.state == QLatin1String("printed") && j.bytes == QFileInfo(QString::fromLocal8Bit(m_smallFile)).size();
    });
}

void PrintPathBenchmark::smallJobs_data()
{
    QTest::addColumn<int>("lanes");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("8 at a time") << 8;
    QTest::newRow("32 at a time") << 32;
}

void PrintPathBenchmark::smallJobs()
{
    QFETCH(int, lanes);
    QVERIFY(m_rig.printer().control().setState(0));
    const QByteArray printerUri
        = QStringLiteral("socket://%1:9100").arg(QLatin1String(PrintPathRig::kAddress)).toLatin1();
    Batch through, alone;
    const int perRound = std::max(kSmallJobs, lanes);
    for (int round = 0; round < kSmallRounds; ++round) {
        // Alternating, so that a change of load on the machine touches both alike.
        QVERIFY(runBatch(kSocketBackend, printerUri, perRound, lanes, &alone));
        QVERIFY(runBatch(kBackend, "vrkt7x:" + printerUri, perRound, lanes, &through));
    }
    const int jobs = perRound * kSmallRounds;
    auto perMinute = [jobs](const Batch& b) { return jobs * 60000.0 / b.totalMs; };
    m_report << QStringLiteral(
        "4 KB jobs, authentication off, %1 at a time, %2 each (backends run directly): through the backend "
        "median %3 ms, CPU %4 ms, %5 jobs/min; socket backend alone median %6 ms, CPU %7 ms, %8 jobs/min; "
        "overhead %9 ms and %10 ms CPU per job")
                    .arg(lanes)
                    .arg(jobs)
                    .arg(median(through.wallMs), 0, 'f', 1)
                    .arg(median(through.cpuMs), 0, 'f', 1)
                    .arg(perMinute(through), 0, 'f', 0)
                    .arg(median(alone.wallMs), 0, 'f', 1)
                    .arg(median(alone.cpuMs), 0, 'f', 1)
                    .arg(perMinute(alone), 0, 'f', 0)
                    .arg(median(through.wallMs) - median(alone.wallMs), 0, 'f', 1)
                    .arg(median(through.cpuMs) - median(alone.cpuMs), 0, 'f', 1);
}

QString PrintPathBenchmark::memoryLine(const char* what, const Memory& m)
{
    return QStringLiteral("%1: PSS %2 kB, RSS %3 kB, peak RSS %4 kB")
        .arg(QLatin1String(what))
        .arg(m.pss)
        .arg(m.rss)
        .arg(m.hwm);
}

void PrintPathBenchmark::waitingMemory_data()
{
    QTest::addColumn<int>("queues");
    QTest::newRow("1 queue") << 1;
    QTest::newRow("8 queues") << 8;
    QTest::newRow("32 queues") << 32;
}

void PrintPathBenchmark::waitingMemory()
{
    QFETCH(int, queues);
    const QByteArray serverBin = QFile::encodeName(m_serverBin.path());

    // A printer per queue, each holding its job and waiting for a finger.
    std::vector<std::unique_ptr<fpsim::SimulatedNetPrinter>> printers;
    std::vector<std::unique_ptr<BackendRun>> waiting;
    for (int i = 0; i < queues; ++i) {
        const QString address = QStringLiteral("127.0.1.%1").arg(i + 1);
        printers.push_back(std::make_unique<fpsim::SimulatedNetPrinter>());
        QVERIFY2(printers.back()->start(address, { "--state", "1" }), qPrintable(printers.back()->errorString()));
        waiting.push_back(std::make_unique<BackendRun>());
        QVERIFY(waiting.back()->start(
            kBackend, "vrkt7x:socket://" + address.toLatin1() + ":9100", serverBin, ++m_nextJob, m_smallFile));
    }
    for (int i = 0; i < queues; ++i) {
        fpsim::ControlClient& printer = printers.at(i)->control();
        QTRY_VERIFY_WITH_TIMEOUT(printer.receivedCodes().contains(QStringLiteral("DISC")), 60000);
        QCOMPARE(printer.jobList().value(0).state, QStringLiteral("held"));
    }
    // Measured once all of them wait: what they share is shared among them all.
    const Memory backend = totalOf(waiting);
    QVERIFY(backend.pss > 0);
    for (const auto& run : waiting) {
        ::kill(run->pid, SIGTERM);
        QVERIFY(run->finish(30000));
    }

    // As many socket backends, each sending to a printer that takes the connection and never reads:
    // they stay in their write.
    QTemporaryFile large;
    QVERIFY(large.open() && large.write(QByteArray(kLargeBytes, 'x')) == kLargeBytes && large.flush());
    std::vector<int> listeners, connections(queues, -1);
    std::vector<std::unique_ptr<BackendRun>> sending;
    for (int i = 0; i < queues; ++i) {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof(address);
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(listener, 1) == 0
            && ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0);
        listeners.push_back(listener);
        sending.push_back(std::make_unique<BackendRun>());
        QVERIFY(
            sending.back()->start(kSocketBackend, "socket://127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)),
                serverBin, ++m_nextJob, QFile::encodeName(large.fileName())));
    }
    auto stalled = [&](int i) {
        if (connections[i] < 0)
            connections[i] = ::accept4(listeners[i], nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        int queued = 0;
        return connections[i] >= 0 && ::ioctl(connections[i], FIONREAD, &queued) == 0 && queued > 0
            && processState(sending[i]->pid) == 'S';
    };
    for (int i = 0; i < queues; ++i)
        QTRY_VERIFY_WITH_TIMEOUT(stalled(i), 30000);
    const Memory socket = totalOf(sending);
    QVERIFY(socket.pss > 0);
    for (int i = 0; i < queues; ++i) {
        ::kill(sending[i]->pid, SIGTERM);
        sending[i]->finish(30000);
        ::close(connections[i]);
        ::close(listeners[i]);
    }
    auto perJob = [queues](Memory m) {
        m.pss /= queues;
        m.rss /= queues;
        return m;
    };
    m_report << QStringLiteral("%1 waiting at once, per job (peak RSS: the largest):").arg(queues)
             << memoryLine("  backend waiting for a finger", perJob(backend))
             << memoryLine("  socket backend sending to a printer that does not read", perJob(socket))
             << QStringLiteral("  PSS ratio %1 (goal: at most 2)").arg(double(backend.pss) / socket.pss, 0, 'f', 2);
}

void PrintPathBenchmark::cleanupTestCase()
{
    const QString artifacts = qEnvironmentVariable("VRKT_ARTIFACTS_DIR", QDir::tempPath());
    QDir().mkpath(artifacts);
    QFile out(artifacts + QStringLiteral("/print-path.txt"));
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(m_report.join(QLatin1Char('\n')).toUtf8() + '\n');
    qInfo().noquote() << m_report.join(QLatin1Char('\n'));
}

QTEST_GUILESS_MAIN(PrintPathBenchmark)
#include "bench_print_path.moc"
