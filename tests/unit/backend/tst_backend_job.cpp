// The backend's job flow on the fake clock: the retry schedule while the printer does not answer or
// does not say whether authentication is on, and how each way a verification can end becomes an
// outcome, a result for the window, a dropped held job, an ERROR line and an exit status; the
// agent's refusal as the backend words it; the settings file; device URIs and discovery lines, and
// the names the USB printers on the bus get.

#include "AgentLink.h"
#include "BackendJob.h"
#include "CupsJobHost.h"
#include "DeviceUri.h"
#include "Discovery.h"
#include "FakeClock.h"
#include "JobArguments.h"
#include "UsbPrinters.h"

#include <QTemporaryDir>
#include <QtTest>
#include <condition_variable>
#include <cups/backend.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace
{

int64_t nowMs() { return libClock().milliseconds(); }

// A printer's fingerprint side as the library shows it, driven by the fake clock. verify() blocks
// (on the worker thread) until the clock reaches the finger or the printer's own end, or until a
// cancel comes; a cancel in the first cancelDeafMs of a verification is dropped, as one that comes
// before the library has bound.
class FakeLibrary : public PrintLibrary
{
public:
    int64_t origin = 0;
    int64_t reachableAtMs = 0; // -1: never
    int fingerState = 1;
    int64_t stateKnownAtMs = 0; // before it the state query fails (-1)
    int64_t identifyAtMs = -1;
    int64_t printerEndsAtMs = -1;
    int64_t cancelDeafMs = 0;
    int dropFails = 0; // the first drops the printer does not confirm
    int64_t goneFromMs = -1, goneUntilMs = -1; // off the network: no answer, no drop

    QList<int64_t> connectTimes;
    int verifyCalls = 0;
    int cancels = 0;
    int64_t cancelledAtMs = -1;
    int drops = 0;

    int isDeviceConnectForPrint(const QByteArray&) override
    {
        const int64_t t = nowMs() - origin;
        connectTimes << t;
        return reachableAtMs >= 0 && t >= reachableAtMs && !gone(t) ? 1 : 0;
    }
    int isDeviceFingerOpenForPrint(const QByteArray&) override
    {
        return nowMs() - origin >= stateKnownAtMs ? fingerState : -1;
    }
    bool verify(const QByteArray&, QByteArray* userName) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++verifyCalls;
        m_running = true;
        m_start = nowMs() - origin;
        for (;;) {
            const int64_t t = nowMs() - origin;
            m_seen = t;
            m_changed.notify_all();
            bool identified = false;
            bool end = false;
            if (m_cancelled) {
                end = true;
            } else if (identifyAtMs >= 0 && t >= identifyAtMs) {
                identified = end = true;
                *userName = QByteArray("\xd5\xc5\xc8\xfd"); // 张三 in GB18030
            } else if (printerEndsAtMs >= 0 && t >= printerEndsAtMs) {
                end = true;
            }
            if (end) {
                m_running = false;
                m_finished = true;
                m_changed.notify_all();
                return identified;
            }
            m_changed.wait(lock);
        }
    }
    void cancelVerify() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++cancels;
        const int64_t t = nowMs() - origin;
        if (m_running && !m_cancelled && t - m_start >= cancelDeafMs) {
            m_cancelled = true;
            cancelledAtMs = t;
        }
        m_changed.notify_all();
    }
    bool dropHeldJob(const QByteArray&) override { return ++drops > dropFails && !gone(nowMs() - origin); }
    bool gone(int64_t t) const { return goneFromMs >= 0 && t >= goneFromMs && (goneUntilMs < 0 || t < goneUntilMs); }
    // Lets a running verification see the clock's new time before the job goes on.
    // True once it has returned.
    bool sync()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_finished || (m_running && m_seen == nowMs() - origin); });
        return m_finished;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_running = false;
    bool m_finished = false;
    bool m_cancelled = false;
    int64_t m_seen = -1;
    int64_t m_start = 0;
};

class FakeWindow : public OwnerWindow
{
public:
    FakeWindow(const FakeLibrary& library, int status, int64_t statusAtMs, int* result)
        : m_library(library)
        , m_status(status)
        , m_statusAtMs(statusAtMs)
        , m_result(result)
    {
    }
    int status() override { return m_status && nowMs() - m_library.origin >= m_statusAtMs ? m_status : 0; }
    void sendResult(int result) override { *m_result = result; }

private:
    const FakeLibrary& m_library;
    int m_status;
    int64_t m_statusAtMs;
    int* m_result;
};

class FakeHost : public JobHost
{
public:
    explicit FakeHost(FakeLibrary& library)
        : m_library(library)
    {
    }

    bool agent = true;
    bool local = true;
    int windowStatus = 0;
    int64_t windowStatusAtMs = 0;
    int64_t terminateAtMs = -1;
    int innerExit = CUPS_BACKEND_OK;
    static constexpr int kInnerMs = 500; // the inner backend sends the job

    bool heldMark = false;
    int innerRuns = 0;
    int errorsLogged = 0;
    int result = 0;
    QList<QByteArray> lines;
    QByteArray loggedOutcome;
    QString loggedUser;

    int runInnerBackend() override
    {
        ++innerRuns;
        lines << "INFO: Waiting for printer to finish."; // the socket backend's last words
        libClock().sleepMilliseconds(kInnerMs);
        // CUPS's SIGTERM reaches the inner backend too.
        return terminated() ? CUPS_BACKEND_FAILED : innerExit;
    }
    bool jobIsLocal(int) override { return local; }
    std::unique_ptr<OwnerWindow> openWindow(const JobRequest&, QString* why) override
    {
        if (!agent) {
            *why = QStringLiteral("no agent");
            return nullptr;
        }
        return std::make_unique<FakeWindow>(m_library, windowStatus, windowStatusAtMs, &result);
    }
    void waitEvents(int ms) override
    {
        if (innerRuns == 0) {
            libClock().sleepMilliseconds(ms);
            return;
        }
        // The worker verifies: it sees every step of the clock, and once it has returned the clock
        // stands still until the job notices.
        if (m_library.sync()) {
            std::this_thread::yield();
            return;
        }
        libClock().sleepMilliseconds(ms);
        m_library.sync();
    }
    void wake() override { }
    bool terminated() override { return terminateAtMs >= 0 && nowMs() - m_library.origin >= terminateAtMs; }
    void report(const QByteArray& line) override { lines << line; }
    void logVerification(const JobRequest&, const QByteArray& outcome, const QString& userName, int) override
    {
        loggedOutcome = outcome;
        loggedUser = userName;
    }
    void logError(const JobRequest&, const QByteArray&) override { ++errorsLogged; }
    bool heldJobMark(const JobRequest&) override { return heldMark; }
    void setHeldJobMark(const JobRequest&, bool held) override { heldMark = held; }

private:
    FakeLibrary& m_library;
};

} // namespace

class BackendJobTest : public QObject
{
    Q_OBJECT
private slots:
    void schedule_data();
    void schedule();
    void earlierRunsJob_data();
    void earlierRunsJob();
    void dropWaitsForPrinter_data();
    void dropWaitsForPrinter();
    void outcomeMapping_data();
    void outcomeMapping();
    void agentRefusal_data();
    void agentRefusal();
    void settingsFile_data();
    void settingsFile();
    void deviceUri_data();
    void deviceUri();
    void innerBackendUri_data();
    void innerBackendUri();
    void auditField_data();
    void auditField();
    void discoveryLine_data();
    void discoveryLine();
    void usbPrinterName_data();
    void usbPrinterName();
    void usbDeviceIdReply_data();
    void usbDeviceIdReply();
};

void BackendJobTest::schedule_data()
{
    QTest::addColumn<int>("reachableAt");
    QTest::addColumn<int>("fingerState");
    QTest::addColumn<int>("stateKnownAt");
    QTest::addColumn<int>("window"); // NoAgent, Agent, or Remote: an agent, a job from elsewhere
    QTest::addColumn<int>("windowStatus");
    QTest::addColumn<int>("windowStatusAt");
    QTest::addColumn<int>("identifyAt");
    QTest::addColumn<int>("printerEndsAt");
    QTest::addColumn<int>("terminateAt");
    QTest::addColumn<int>("cancelDeaf");
    QTest::addColumn<int>("dropFails");
    QTest::addColumn<int>("seconds");
    // expected
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("connectTries");
    QTest::addColumn<int>("innerRuns");
    QTest::addColumn<int>("result"); // sent to the window, 0 none
    QTest::addColumn<int>("cancelledAt"); // the cancel that took effect, -1 none
    QTest::addColumn<int>("drops"); // "CANL"s sent
    QTest::addColumn<QByteArray>("outcome"); // logged, empty: no verification
    QTest::addColumn<QByteArray>("error"); // the ERROR line, empty: none

    const int R = CUPS_BACKEND_RETRY, C = CUPS_BACKEND_CANCEL, OK = CUPS_BACKEND_OK;
    const int NoAgent = 0, Agent = 1, Remote = 2;
    const QByteArray notRecognised = "Fingerprint not recognised; the print job is cancelled.";
    const QByteArray byUser = "Fingerprint verification was cancelled by the user; the print job is cancelled.";
    const QByteArray timedOut = "No fingerprint was verified in the time allowed; the print job is cancelled.";
    const QByteArray jobCancelled = "The print job was cancelled while it waited for a fingerprint.";
    // Unreachable: a try every 10 s from 0 to 300 s, then CUPS keeps the job.
    QTest::newRow("unreachable 5 minutes") << -1 << 1 << 0 << Agent << 0 << 0 << -1 << -1 << -1 << 0 << 0 << 30 << R
                                           << 31 << 0 << 0 << -1 << 0 << QByteArray() << QByteArray();
    QTest::newRow("back after 60 s, off") << 60000 << 0 << 0 << Agent << 0 << 0 << -1 << -1 << -1 << 0 << 0 << 30 << OK
                                          << 7 << 1 << 0 << -1 << 0 << QByteArray() << QByteArray();
    QTest::newRow("off, state 2") << 0 << 2 << 0 << Agent << 0 << 0 << -1 << -1 << -1 << 0 << 0 << 30 << OK << 1 << 1
                                  << 0 << -1 << 0 << QByteArray() << QByteArray();
    // A state query that fails is no answer: the job waits as for an unreachable printer.
    QTest::newRow("state unknown 5 minutes") << 0 << 1 << -1 << Agent << 0 << 0 << -1 << -1 << -1 << 0 << 0 << 30 << R
                                             << 31 << 0 << 0 << -1 << 0 << QByteArray() << QByteArray();
    QTest::newRow("state known after 30 s") << 0 << 1 << 30000 << Agent << 0 << 0 << 40000 << -1 << -1 << 0 << 0 << 30
                                            << OK << 4 << 1 << 1 << -1 << 0 << QByteArray("identified") << QByteArray();
    QTest::newRow("on, state 3") << 0 << 3 << 0 << Agent << 0 << 0 << 5000 << -1 << -1 << 0 << 0 << 30 << OK << 1 << 1
                                 << 1 << -1 << 0 << QByteArray("identified") << QByteArray();
    QTest::newRow("identified") << 0 << 1 << 0 << Agent << 0 << 0 << 12000 << -1 << -1 << 0 << 0 << 30 << OK << 1 << 1
                                << 1 << -1 << 0 << QByteArray("identified") << QByteArray();
    QTest::newRow("identified without agent")
        << 0 << 1 << 0 << NoAgent << 0 << 0 << 3000 << -1 << -1 << 0 << 0 << 30 << OK << 1 << 1 << 0 << -1 << 0
        << QByteArray("identified") << QByteArray();
    QTest::newRow("job from another computer")
        << 0 << 1 << 0 << Remote << 0 << 0 << 3000 << -1 << -1 << 0 << 0 << 30 << OK << 1 << 1 << 0 << -1 << 0
        << QByteArray("identified") << QByteArray();
    QTest::newRow("no match") << 0 << 1 << 0 << Agent << 0 << 0 << -1 << 8000 << -1 << 0 << 0 << 30 << C << 1 << 1 << 2
                              << -1 << 1 << QByteArray("not-identified") << notRecognised;
    QTest::newRow("drop confirmed on the second try")
        << 0 << 1 << 0 << Agent << 0 << 0 << -1 << 8000 << -1 << 0 << 1 << 30 << C << 1 << 1 << 2 << -1 << 2
        << QByteArray("not-identified") << notRecognised;
    QTest::newRow("drop never confirmed")
        << 0 << 1 << 0 << Agent << 0 << 0 << -1 << 8000 << -1 << 0 << 99 << 30 << C << 1 << 1 << 2 << -1
        << BackendJob::kDropTries << QByteArray("not-identified")
        << notRecognised + " The printer did not confirm that it dropped the job; it may still hold it.";
    QTest::newRow("cancel in the window") << 0 << 1 << 0 << Agent << 3 << 7000 << -1 << -1 << -1 << 0 << 0 << 30 << C
                                          << 1 << 1 << 3 << 7000 << 1 << QByteArray("cancelled-by-user") << byUser;
    QTest::newRow("window ran out") << 0 << 1 << 0 << Agent << 5 << 30000 << -1 << -1 << -1 << 0 << 0 << 30 << C << 1
                                    << 1 << 5 << 30000 << 1 << QByteArray("timed-out") << timedOut;
    QTest::newRow("no window: S + 15 s") << 0 << 1 << 0 << NoAgent << 0 << 0 << -1 << -1 << -1 << 0 << 0 << 30 << C << 1
                                         << 1 << 0 << 45000 << 1 << QByteArray("timed-out") << timedOut;
    QTest::newRow("SIGTERM, first cancels dropped")
        << 0 << 1 << 0 << Agent << 0 << 0 << -1 << -1 << 20000 << 19800 << 0 << 30 << C << 1 << 1 << 4 << 20300 << 1
        << QByteArray("job-cancelled") << jobCancelled;
    QTest::newRow("SIGTERM while sending") << 0 << 1 << 0 << Agent << 0 << 0 << 5000 << -1 << 200 << 0 << 0 << 30 << C
                                           << 1 << 1 << 4 << -1 << 1 << QByteArray("job-cancelled") << jobCancelled;
    QTest::newRow("SIGTERM before sending") << 0 << 1 << 0 << Agent << 0 << 0 << 5000 << -1 << 0 << 0 << 0 << 30 << C
                                            << 1 << 0 << 4 << -1 << 0 << QByteArray("job-cancelled") << jobCancelled;
    QTest::newRow("off, SIGTERM while sending") << 0 << 0 << 0 << Agent << 0 << 0 << -1 << -1 << 200 << 0 << 0 << 30
                                                << C << 1 << 1 << 0 << -1 << 0 << QByteArray() << QByteArray();
    QTest::newRow("printer's own wait ran out")
        << 0 << 1 << 0 << Agent << 5 << 60000 << -1 << 50000 << -1 << 0 << 0 << 60 << C << 1 << 1 << 5 << -1 << 1
        << QByteArray("timed-out") << timedOut;
    QTest::newRow("cancelled before the job was sent")
        << 0 << 1 << 0 << Agent << 3 << 0 << 5000 << -1 << -1 << 0 << 0 << 30 << C << 1 << 0 << 3 << -1 << 0
        << QByteArray("cancelled-by-user") << byUser;
    // Nothing was sent to a busy printer, so nothing is dropped there.
    QTest::newRow("busy") << 0 << 4 << 0 << Agent << 0 << 0 << -1 << -1 << -1 << 0 << 0 << 30 << C << 1 << 0 << 8 << -1
                          << 0 << QByteArray("busy")
                          << QByteArray("The printer's fingerprint reader is busy; the print job is cancelled.");
}

void BackendJobTest::schedule()
{
    QFETCH(int, reachableAt);
    QFETCH(int, fingerState);
    QFETCH(int, stateKnownAt);
    QFETCH(int, window);
    QFETCH(int, windowStatus);
    QFETCH(int, windowStatusAt);
    QFETCH(int, identifyAt);
    QFETCH(int, printerEndsAt);
    QFETCH(int, terminateAt);
    QFETCH(int, cancelDeaf);
    QFETCH(int, dropFails);
    QFETCH(int, seconds);
    QFETCH(int, exitCode);
    QFETCH(int, connectTries);
    QFETCH(int, innerRuns);
    QFETCH(int, result);
    QFETCH(int, cancelledAt);
    QFETCH(int, drops);
    QFETCH(QByteArray, outcome);
    QFETCH(QByteArray, error);

    FakeClock clock;
    FakeLibrary library;
    library.origin = nowMs();
    library.reachableAtMs = reachableAt;
    library.fingerState = fingerState;
    library.stateKnownAtMs = stateKnownAt < 0 ? std::numeric_limits<int64_t>::max() : stateKnownAt;
    library.identifyAtMs = identifyAt;
    library.printerEndsAtMs = printerEndsAt;
    library.cancelDeafMs = cancelDeaf;
    library.dropFails = dropFails;
    FakeHost host(library);
    host.agent = window != 0;
    host.local = window != 2;
    host.windowStatus = windowStatus;
    host.windowStatusAtMs = windowStatusAt;
    host.terminateAtMs = terminateAt;

    JobRequest request;
    request.queue = QStringLiteral("Office");
    request.jobId = 17;
    request.owner = QStringLiteral("alice");
    request.innerUri = "usb://Maker/ZPH6100RMX?serial=SIM0001";
    request.seconds = seconds;
    BackendJob job(library, host, request);
    QCOMPARE(job.run(), exitCode);

    QList<int64_t> expectedTries;
    for (int i = 0; i < connectTries; ++i)
        expectedTries << int64_t(i) * BackendJob::kRetryIntervalMs;
    // (A drop never confirmed then asks whether the printer answers at all.)
    const bool neverDropped = drops > 0 && dropFails >= drops;
    QCOMPARE(library.connectTimes.mid(0, connectTries), expectedTries);
    QCOMPARE(library.connectTimes.size(), connectTries + (neverDropped ? 1 : 0));
    QCOMPARE(host.lines.contains("STATE: +connecting-to-device"), connectTries > 1);
    QCOMPARE(host.innerRuns, innerRuns);
    // While the printer waits for the finger, the job says so, not what the inner backend said last.
    const qsizetype innerAt = host.lines.indexOf("INFO: Waiting for printer to finish.");
    if (library.verifyCalls > 0)
        QVERIFY2(host.lines.value(innerAt + 1).startsWith("INFO: ") && host.lines.value(innerAt + 1).contains("finger"),
            host.lines.value(innerAt + 1).constData());
    QCOMPARE(host.result, result);
    QCOMPARE(host.loggedOutcome, outcome);
    if (cancelledAt < 0) {
        QCOMPARE(library.cancelledAtMs, int64_t(-1));
    } else {
        // The window and the clock are looked at every 250 ms, a cancel repeated every 100 ms.
        QVERIFY2(library.cancelledAtMs >= cancelledAt && library.cancelledAtMs < cancelledAt + 250,
            qPrintable(QString::number(library.cancelledAtMs)));
    }
    // A job that went to the printer and was not verified is dropped there; a drop never
    // confirmed is logged as an error.
    QCOMPARE(library.drops, drops);
    QCOMPARE(host.errorsLogged, neverDropped ? 1 : 0);
    // The mark of a job the printer may still hold stays only then.
    QCOMPARE(host.heldMark, neverDropped);
    QList<QByteArray> errors;
    for (const QByteArray& line : host.lines) {
        if (line.startsWith("ERROR: "))
            errors << line.mid(7);
    }
    QCOMPARE(errors, error.isEmpty() ? QList<QByteArray>() : QList<QByteArray> { error });
    QCOMPARE(host.loggedUser, outcome == "identified" ? QStringLiteral("张三") : QString());
}

// A mark says that a run of the queue ended without deciding its job (killed, stopped with
// cupsd): the printer is told to drop what it holds before anything else is sent, else the next
// finger would print that job.
void BackendJobTest::earlierRunsJob_data()
{
    QTest::addColumn<int>("fingerState");
    QTest::addColumn<int>("dropFails");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("drops"); // "CANL"s sent
    QTest::addColumn<int>("innerRuns");
    QTest::addColumn<bool>("markAfter");
    QTest::newRow("dropped, then this job") << 1 << 0 << int(CUPS_BACKEND_OK) << 1 << 1 << false;
    QTest::newRow("not confirmed: stays queued")
        << 1 << 99 << int(CUPS_BACKEND_RETRY) << BackendJob::kDropTries << 0 << true;
    // A busy reader is someone else's: left alone, and so is the mark.
    QTest::newRow("busy") << 4 << 0 << int(CUPS_BACKEND_CANCEL) << 0 << 0 << true;
    QTest::newRow("authentication off") << 0 << 0 << int(CUPS_BACKEND_OK) << 0 << 1 << true;
}

void BackendJobTest::earlierRunsJob()
{
    QFETCH(int, fingerState);
    QFETCH(int, dropFails);
    QFETCH(int, exitCode);
    QFETCH(int, drops);
    QFETCH(int, innerRuns);
    QFETCH(bool, markAfter);

    FakeClock clock;
    FakeLibrary library;
    library.origin = nowMs();
    library.fingerState = fingerState;
    library.identifyAtMs = 3000;
    library.dropFails = dropFails;
    FakeHost host(library);
    host.heldMark = true;
    JobRequest request;
    request.queue = QStringLiteral("Office");
    request.jobId = 18;
    request.innerUri = "socket://192.0.2.1:9100";
    BackendJob job(library, host, request);
    QCOMPARE(job.run(), exitCode);
    QCOMPARE(library.drops, drops);
    QCOMPARE(host.innerRuns, innerRuns);
    QCOMPARE(host.heldMark, markAfter);
    // Dropped before this job was sent, not after.
    if (drops > 0 && innerRuns > 0)
        QVERIFY(host.lines.indexOf("INFO: Dropping a job that an earlier run left waiting at the printer.")
            < host.lines.indexOf("INFO: Waiting for printer to finish."));
}

// A finger that matched nobody at 8 s, and the printer off the network from then on: it still holds
// the job, so the drop waits for it (a try every 10 s, at most a minute).
void BackendJobTest::dropWaitsForPrinter_data()
{
    QTest::addColumn<int>("goneFor"); // ms from 8 s, -1 for good
    QTest::addColumn<int>("drops"); // "CANL"s sent
    QTest::addColumn<bool>("dropped");
    QTest::newRow("back after 30 s") << 30000 << BackendJob::kDropTries + 1 << true;
    QTest::newRow("gone for good") << -1 << BackendJob::kDropTries << false;
}

void BackendJobTest::dropWaitsForPrinter()
{
    QFETCH(int, goneFor);
    QFETCH(int, drops);
    QFETCH(bool, dropped);

    FakeClock clock;
    FakeLibrary library;
    library.origin = nowMs();
    library.printerEndsAtMs = 8000;
    library.goneFromMs = 8000;
    library.goneUntilMs = goneFor < 0 ? -1 : 8000 + goneFor;
    FakeHost host(library);
    host.agent = host.local = true;
    JobRequest request;
    request.queue = QStringLiteral("Office");
    request.jobId = 17;
    request.innerUri = "socket://192.0.2.1:9100";
    request.seconds = 30;
    BackendJob job(library, host, request);
    QCOMPARE(job.run(), int(CUPS_BACKEND_CANCEL));
    QCOMPARE(library.drops, drops);
    QCOMPARE(host.errorsLogged, dropped ? 0 : 1);
    QVERIFY(host.lines.contains("INFO: The printer does not answer; waiting for it to drop the job."));
    QCOMPARE(host.lines.last().contains("did not confirm"), !dropped);
    // Not longer than the wait and its last try.
    QVERIFY(nowMs() - library.origin <= 8000 + BackendJob::kDropWaitMs + BackendJob::kRetryIntervalMs);
}

void BackendJobTest::outcomeMapping_data()
{
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("word"); // in the ERROR text
    const int C = CUPS_BACKEND_CANCEL;
    QTest::newRow("identified") << Outcome::Identified << 1 << int(CUPS_BACKEND_OK) << QString();
    QTest::newRow("not identified") << Outcome::NotIdentified << 2 << C << QStringLiteral("not recognised");
    QTest::newRow("user cancelled") << Outcome::UserCancelled << 3 << C << QStringLiteral("cancelled by the user");
    QTest::newRow("job cancelled") << Outcome::JobCancelled << 4 << C << QStringLiteral("job was cancelled");
    QTest::newRow("timed out") << Outcome::TimedOut << 5 << C << QStringLiteral("time allowed");
    // Not produced: the library does not tell an empty result from a failed one. Kept because 7 is
    // one of the window's result codes (fpverify has its own message for it) and the agent passes it.
    QTest::newRow("no users") << Outcome::NoUsers << 7 << C << QStringLiteral("no enrolled");
    QTest::newRow("busy") << Outcome::Busy << 8 << C << QStringLiteral("busy");
}

void BackendJobTest::outcomeMapping()
{
    QFETCH(Outcome, outcome);
    QFETCH(int, result);
    QFETCH(int, exitCode);
    QFETCH(QString, word);
    QCOMPARE(Outcomes::resultCode(outcome), result);
    QCOMPARE(Outcomes::exitCode(outcome), exitCode);
    const QString text = QString::fromUtf8(Outcomes::errorText(outcome));
    QCOMPARE(text.isEmpty(), word.isEmpty());
    QVERIFY2(text.contains(word), qPrintable(text));
}

void BackendJobTest::agentRefusal_data()
{
    QTest::addColumn<QByteArray>("answer"); // the agent's line
    QTest::addColumn<QString>("why"); // empty: a window
    const QString noWindow = QStringLiteral("the owner's agent showed no window");
    QTest::newRow("shown") << QByteArray("SHOWN\n") << QString();
    QTest::newRow("reason imitating the log line")
        << QByteArray("NOWINDOW x queue=Office job=17 owner=alice outcome=identified user=alice\n") << noWindow;
    QTest::newRow("reason with format characters") << QByteArray("NOWINDOW \xe2\x80\xae\xe2\x80\x8b"
                                                                 "done\n")
                                                   << noWindow;
    QTest::newRow("malformed") << QByteArray("SHOWN now\n")
                               << QStringLiteral("the owner's agent answered with a malformed message");
}

// What the backend says (and logs) of an agent that shows no window is its own text.
void BackendJobTest::agentRefusal()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, why);
    if (geteuid() != 0)
        QSKIP("the agent is looked up as the job owner root");
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("0/vrkt7x")));
    const QByteArray path = QFile::encodeName(root.path() + QStringLiteral("/0/vrkt7x/agent.socket"));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    QVERIFY(path.size() < int(sizeof(address.sun_path)));
    memcpy(address.sun_path, path.constData(), size_t(path.size()));
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0);
    QVERIFY(::listen(listener, 1) == 0);
    // The agent: reads SHOW, answers, and holds the connection until the backend ends it.
    std::thread agent([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        char buffer[512];
        if (fd >= 0 && ::read(fd, buffer, sizeof(buffer)) > 0) {
            [[maybe_unused]] const ssize_t n = ::write(fd, answer.constData(), size_t(answer.size()));
            while (::read(fd, buffer, sizeof(buffer)) > 0) { }
        }
        if (fd >= 0)
            ::close(fd);
    });
    JobRequest request;
    request.queue = QStringLiteral("Office");
    request.jobId = 17;
    request.owner = QStringLiteral("root");
    QString said;
    std::unique_ptr<AgentLink> link = AgentLink::open(request, root.path(), 5000, &said);
    const bool shown = link != nullptr;
    link.reset();
    ::shutdown(listener, SHUT_RDWR); // an agent never reached stops waiting
    agent.join();
    ::close(listener);
    QCOMPARE(shown, why.isEmpty());
    QCOMPARE(said, why);
}

void BackendJobTest::settingsFile_data()
{
    QTest::addColumn<QByteArray>("kind"); // file, link (to such a file), fifo
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("seconds");
    QTest::newRow("General") << QByteArray("file") << QByteArray("[General]\nDefaultPath=/home/a\nTimeOut=45\n") << 45;
    QTest::newRow("before any section, other section ignored")
        << QByteArray("file") << QByteArray("TimeOut=60\n[Other]\nTimeOut=20\n") << 60;
    QTest::newRow("over 64 KiB") << QByteArray("file") << "[General]\nTimeOut=45\n;" + QByteArray(64 * 1024, 'x') + "\n"
                                 << 30;
    QTest::newRow("link") << QByteArray("link") << QByteArray("[General]\nTimeOut=45\n") << 30;
    QTest::newRow("fifo") << QByteArray("fifo") << QByteArray() << 30;
}

void BackendJobTest::settingsFile()
{
    QFETCH(QByteArray, kind);
    QFETCH(QByteArray, text);
    QFETCH(int, seconds);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setting.ini"));
    QFile file(kind == "link" ? dir.filePath(QStringLiteral("real.ini")) : path);
    if (kind != "fifo") {
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(text), text.size());
        file.close();
    }
    if (kind == "link")
        QVERIFY(QFile::link(file.fileName(), path));
    if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QCOMPARE(verificationSeconds(path), seconds);
}

void BackendJobTest::deviceUri_data()
{
    QTest::addColumn<QByteArray>("deviceUri");
    QTest::addColumn<QByteArray>("inner"); // empty: refused
    QTest::addColumn<QByteArray>("scheme");
    QTest::newRow("usb") << QByteArray("vrkt7x:usb://Maker/ZPH6100RMX?serial=SIM0001")
                         << QByteArray("usb://Maker/ZPH6100RMX?serial=SIM0001") << QByteArray("usb");
    QTest::newRow("socket") << QByteArray("vrkt7x:socket://192.0.2.7:9100") << QByteArray("socket://192.0.2.7:9100")
                            << QByteArray("socket");
    QTest::newRow("scheme with + - .") << QByteArray("vrkt7x:a+b-c.d://x") << QByteArray("a+b-c.d://x")
                                       << QByteArray("a+b-c.d");
    QTest::newRow("no prefix") << QByteArray("usb://Maker/ZPH6100RMX") << QByteArray() << QByteArray();
    QTest::newRow("empty") << QByteArray("vrkt7x:") << QByteArray() << QByteArray();
    QTest::newRow("nothing after scheme") << QByteArray("vrkt7x:usb:") << QByteArray() << QByteArray();
    QTest::newRow("itself") << QByteArray("vrkt7x:vrkt7x:usb://x") << QByteArray() << QByteArray();
    QTest::newRow("parent folder") << QByteArray("vrkt7x:..://x") << QByteArray() << QByteArray();
    QTest::newRow("path in scheme") << QByteArray("vrkt7x:../bin/sh://x") << QByteArray() << QByteArray();
    QTest::newRow("upper case") << QByteArray("vrkt7x:USB://x") << QByteArray() << QByteArray();
    QTest::newRow("digit first") << QByteArray("vrkt7x:9p://x") << QByteArray() << QByteArray();
    QTest::newRow("blank") << QByteArray("vrkt7x:socket://a b") << QByteArray() << QByteArray();
    QTest::newRow("newline") << QByteArray("vrkt7x:socket://a\nb") << QByteArray() << QByteArray();
    QTest::newRow("255 bytes") << "vrkt7x:socket://" + QByteArray(243, 'h') + ":91"
                               << "socket://" + QByteArray(243, 'h') + ":91" << QByteArray("socket");
    QTest::newRow("256 bytes") << "vrkt7x:socket://" + QByteArray(244, 'h') + ":91" << QByteArray() << QByteArray();
}

void BackendJobTest::deviceUri()
{
    QFETCH(QByteArray, deviceUri);
    QFETCH(QByteArray, inner);
    QFETCH(QByteArray, scheme);
    DeviceUri::Inner split;
    QCOMPARE(DeviceUri::split(deviceUri, &split), !inner.isEmpty());
    if (!inner.isEmpty()) {
        QCOMPARE(split.uri, inner);
        QCOMPARE(split.scheme, scheme);
        QCOMPARE(DeviceUri::wrap(split.uri), deviceUri);
    }
}

// What the inner backend prints to: IPP backends told not to wait for the held job's completion,
// dnssd:// resolved first (its backend drops the URI's options).
void BackendJobTest::innerBackendUri_data()
{
    QTest::addColumn<QByteArray>("inner");
    QTest::addColumn<QByteArray>("resolved"); // what the resolver gives a dnssd:// URI
    QTest::addColumn<QByteArray>("printUri");
    const QByteArray dnssd("dnssd://Office%20IPP._ipp._tcp.local/?uuid=1");
    QTest::newRow("ipp") << QByteArray("ipp://192.0.2.7/ipp/print") << QByteArray()
                         << QByteArray("ipp://192.0.2.7/ipp/print?waitjob=false");
    QTest::newRow("ipps, options kept, waitjob replaced")
        << QByteArray("ipps://h:631/printers/q?waitjob=true&contimeout=30") << QByteArray()
        << QByteArray("ipps://h:631/printers/q?contimeout=30&waitjob=false");
    QTest::newRow("socket unchanged") << QByteArray("socket://192.0.2.7:9100") << QByteArray()
                                      << QByteArray("socket://192.0.2.7:9100");
    QTest::newRow("dnssd to ipp") << dnssd << QByteArray("ipp://localhost:8631/ipp/print")
                                  << QByteArray("ipp://localhost:8631/ipp/print?waitjob=false");
    QTest::newRow("dnssd to socket") << dnssd << QByteArray("socket://192.0.2.7:9100")
                                     << QByteArray("socket://192.0.2.7:9100");
    QTest::newRow("dnssd unresolved") << dnssd << QByteArray() << dnssd;
    QTest::newRow("dnssd to another backend") << dnssd << QByteArray("usb://M/ZPH6100RMX") << dnssd;
    QTest::newRow("dnssd to a blank") << dnssd << QByteArray("ipp://h/a b") << dnssd;
}

void BackendJobTest::innerBackendUri()
{
    QFETCH(QByteArray, inner);
    QFETCH(QByteArray, resolved);
    QFETCH(QByteArray, printUri);
    QByteArray asked;
    const QByteArray uri = DeviceUri::innerBackendUri(inner, [&](const QByteArray& dnssdUri) {
        asked = dnssdUri;
        return resolved;
    });
    QCOMPARE(uri, printUri);
    QCOMPARE(asked, inner.startsWith("dnssd:") ? inner : QByteArray());
}

// What another party chose (a remote client the owner's name, the printer the identified user's)
// stays one field of the audit line.
void BackendJobTest::auditField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");

    QTest::newRow("plain") << "alice"
                           << "alice";
    QTest::newRow("empty") << ""
                           << "-";
    QTest::newRow("imitated fields") << "bob outcome=identified user=alice"
                                     << "bob?outcome=identified?user=alice";
    QTest::newRow("line break") << "bob\nqueue=x"
                                << "bob?queue=x";
    QTest::newRow("right-to-left override") << QString::fromUtf8("bob\u202edeifitnedi") << "bob?deifitnedi";
    QTest::newRow("zero-width space") << QString::fromUtf8("al\u200bice") << "al?ice";
    QTest::newRow("Chinese name kept") << QString::fromUtf8("张三") << QString::fromUtf8("张三");
}

void BackendJobTest::auditField()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(logField(text), field);
}

void BackendJobTest::discoveryLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("rewritten"); // empty: not listed
    QTest::newRow("usb, model")
        << QByteArray(
               R"x(direct usb://Maker/ZPH6100RMX?serial=S1 "Maker ZPH6100RMX" "ZPH6100RMX USB" "MFG:Maker;MDL:ZPH6100RMX;" "")x")
        << QByteArray(
               R"x(direct vrkt7x:usb://Maker/ZPH6100RMX?serial=S1 "Maker ZPH6100RMX" "ZPH6100RMX USB (fingerprint authentication)" "MFG:Maker;MDL:ZPH6100RMX;" "")x");
    QTest::newRow("network, device id only")
        << QByteArray(R"x(network socket://192.0.2.7 "Unknown" "Printer \"7\"" "MDL:ZPH6100RMX;")x")
        << QByteArray(
               R"x(network vrkt7x:socket://192.0.2.7 "Unknown" "Printer \"7\" (fingerprint authentication)" "MDL:ZPH6100RMX;")x");
    QTest::newRow("four words")
        << QByteArray(R"x(direct usb://M/ZPH6100RMX "M ZPH6100RMX" "Info")x")
        << QByteArray(R"x(direct vrkt7x:usb://M/ZPH6100RMX "M ZPH6100RMX" "Info (fingerprint authentication)")x");
    QTest::newRow("other model") << QByteArray(R"x(direct usb://HP/LaserJet "HP LaserJet" "HP" "MDL:LaserJet;")x")
                                 << QByteArray();
    QTest::newRow("scheme only") << QByteArray(R"x(network socket "ZPH6100RMX" "AppSocket/HP JetDirect")x")
                                 << QByteArray();
    QTest::newRow("unterminated") << QByteArray(R"x(direct usb://M/ZPH6100RMX "M ZPH6100RMX" "Info)x") << QByteArray();
    QTest::newRow("already wrapped") << QByteArray(R"x(direct vrkt7x:usb://M/X "ZPH6100RMX" "i")x") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void BackendJobTest::discoveryLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, rewritten);
    QCOMPARE(Discovery::rewrite(line), rewritten);
}

// A USB printer found on the bus is named as CUPS's usb backend names it, since that backend prints
// to the URI (tst_print_discovery compares both on the simulated printer).
void BackendJobTest::usbPrinterName_data()
{
    QTest::addColumn<QByteArray>("deviceId");
    QTest::addColumn<QByteArray>("descriptorSerial");
    QTest::addColumn<int>("iface");
    QTest::addColumn<QByteArray>("uri");
    QTest::addColumn<QByteArray>("makeAndModel");
    QTest::newRow("serial in the device id")
        << QByteArray("MFG:Simulated;CMD:PJL;MDL:ZPH6100RMX;CLS:PRINTER;SN:SIM0001;") << QByteArray("OTHER") << 0
        << QByteArray("usb://Simulated/ZPH6100RMX?serial=SIM0001") << QByteArray("Simulated ZPH6100RMX");
    QTest::newRow("serial of the device, second interface")
        << QByteArray("MFG:Maker;MDL:ZPH6100RMX;") << QByteArray("D123") << 1
        << QByteArray("usb://Maker/ZPH6100RMX?serial=D123&interface=1") << QByteArray("Maker ZPH6100RMX");
    QTest::newRow("model names the make, no serial")
        << QByteArray("MANUFACTURER:Maker;MODEL:Maker ZPH6100RMX Plus;") << QByteArray() << 0
        << QByteArray("usb://Maker/ZPH6100RMX%20Plus") << QByteArray("Maker ZPH6100RMX Plus");
    QTest::newRow("no make") << QByteArray("MDL:ZPH6100RMX;SERN:7;") << QByteArray() << 0
                             << QByteArray("usb://ZPH6100RMX/ZPH6100RMX?serial=7") << QByteArray("ZPH6100RMX");
    QTest::newRow("long make shortened") << QByteArray("mfg:Hewlett-Packard;mdl:ZPH6100RMX;sn:X1;") << QByteArray() << 0
                                         << QByteArray("usb://HP/ZPH6100RMX?serial=X1") << QByteArray("HP ZPH6100RMX");
}

void BackendJobTest::usbPrinterName()
{
    QFETCH(QByteArray, deviceId);
    QFETCH(QByteArray, descriptorSerial);
    QFETCH(int, iface);
    QFETCH(QByteArray, uri);
    QFETCH(QByteArray, makeAndModel);
    QCOMPARE(UsbPrinters::deviceUri(deviceId, descriptorSerial, iface), uri);
    QCOMPARE(UsbPrinters::makeAndModel(deviceId), makeAndModel);
    QCOMPARE(Discovery::rewrite(Discovery::usbLine(uri, makeAndModel, deviceId)),
        "direct vrkt7x:" + uri + " \"" + makeAndModel + "\" \"" + makeAndModel + " (fingerprint authentication)\" \""
            + deviceId + "\" \"\"");
}

void BackendJobTest::usbDeviceIdReply_data()
{
    const QByteArray id("MFG:M;MDL:ZPH6100RMX;");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("length counts itself") << QByteArray("\0\x17", 2) + id + "junk" << id;
    QTest::newRow("little-endian length") << QByteArray("\x17\0", 2) + id << id;
    QTest::newRow("length beyond the reply") << QByteArray("\x01\x00", 2) + id << id;
    QTest::newRow("zero length") << QByteArray("\0\0", 2) + id << QByteArray();
    QTest::newRow("no length") << QByteArray("\0", 1) << QByteArray();
}

void BackendJobTest::usbDeviceIdReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, text);
    QCOMPARE(UsbPrinters::deviceIdText(reply), text);
}

QTEST_GUILESS_MAIN(BackendJobTest)
#include "tst_backend_job.moc"
