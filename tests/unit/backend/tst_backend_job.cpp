// The backend's job flow on the fake clock: the retry schedule while the printer does not answer,
// and how each way a verification can end becomes an outcome, a result for the window, a dropped
// held job and an exit status; the backend's device URIs and discovery lines, and the names the
// USB printers on the bus get.

#include "BackendJob.h"
#include "DeviceUri.h"
#include "Discovery.h"
#include "FakeClock.h"
#include "UsbPrinters.h"

#include <QtTest>
#include <condition_variable>
#include <cups/backend.h>
#include <mutex>
#include <thread>

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
    int64_t identifyAtMs = -1;
    int64_t printerEndsAtMs = -1;
    int64_t cancelDeafMs = 0;

    QList<int64_t> connectTimes;
    int verifyCalls = 0;
    int cancels = 0;
    int64_t cancelledAtMs = -1;
    int drops = 0;

    int isDeviceConnectForPrint(const QByteArray&) override
    {
        const int64_t t = nowMs() - origin;
        connectTimes << t;
        return reachableAtMs >= 0 && t >= reachableAtMs ? 1 : 0;
    }
    int isDeviceFingerOpenForPrint(const QByteArray&) override { return fingerState; }
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
    bool dropHeldJob(const QByteArray&) override
    {
        ++drops;
        return true;
    }
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
    int windowStatus = 0;
    int64_t windowStatusAtMs = 0;
    int64_t terminateAtMs = -1;
    int innerExit = CUPS_BACKEND_OK;

    int innerRuns = 0;
    int result = 0;
    QList<QByteArray> lines;
    QByteArray loggedOutcome;
    QString loggedUser;

    int runInnerBackend() override
    {
        ++innerRuns;
        return innerExit;
    }
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
    void outcomeMapping_data();
    void outcomeMapping();
    void deviceUri_data();
    void deviceUri();
    void innerBackendUri_data();
    void innerBackendUri();
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
    QTest::addColumn<bool>("agent");
    QTest::addColumn<int>("windowStatus");
    QTest::addColumn<int>("windowStatusAt");
    QTest::addColumn<int>("identifyAt");
    QTest::addColumn<int>("printerEndsAt");
    QTest::addColumn<int>("terminateAt");
    QTest::addColumn<int>("cancelDeaf");
    QTest::addColumn<int>("seconds");
    // expected
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("connectTries");
    QTest::addColumn<int>("innerRuns");
    QTest::addColumn<int>("result"); // sent to the window, 0 none
    QTest::addColumn<int>("cancelledAt"); // the cancel that took effect, -1 none
    QTest::addColumn<QByteArray>("outcome"); // logged, empty: no verification

    const int R = CUPS_BACKEND_RETRY, C = CUPS_BACKEND_CANCEL, OK = CUPS_BACKEND_OK;
    // Unreachable: a try every 10 s from 0 to 300 s, then CUPS keeps the job.
    QTest::newRow("unreachable 5 minutes")
        << -1 << 1 << true << 0 << 0 << -1 << -1 << -1 << 0 << 30 << R << 31 << 0 << 0 << -1 << QByteArray();
    QTest::newRow("back after 60 s, off")
        << 60000 << 0 << true << 0 << 0 << -1 << -1 << -1 << 0 << 30 << OK << 7 << 1 << 0 << -1 << QByteArray();
    QTest::newRow("off, state 2") << 0 << 2 << true << 0 << 0 << -1 << -1 << -1 << 0 << 30 << OK << 1 << 1 << 0 << -1
                                  << QByteArray();
    QTest::newRow("identified") << 0 << 1 << true << 0 << 0 << 12000 << -1 << -1 << 0 << 30 << OK << 1 << 1 << 1 << -1
                                << QByteArray("identified");
    QTest::newRow("identified without agent") << 0 << 1 << false << 0 << 0 << 3000 << -1 << -1 << 0 << 30 << OK << 1
                                              << 1 << 0 << -1 << QByteArray("identified");
    QTest::newRow("no match") << 0 << 1 << true << 0 << 0 << -1 << 8000 << -1 << 0 << 30 << C << 1 << 1 << 2 << -1
                              << QByteArray("not-identified");
    QTest::newRow("cancel in the window") << 0 << 1 << true << 3 << 7000 << -1 << -1 << -1 << 0 << 30 << C << 1 << 1
                                          << 3 << 7000 << QByteArray("cancelled-by-user");
    QTest::newRow("window ran out") << 0 << 1 << true << 5 << 30000 << -1 << -1 << -1 << 0 << 30 << C << 1 << 1 << 5
                                    << 30000 << QByteArray("timed-out");
    QTest::newRow("no window: S + 15 s") << 0 << 1 << false << 0 << 0 << -1 << -1 << -1 << 0 << 30 << C << 1 << 1 << 0
                                         << 45000 << QByteArray("timed-out");
    QTest::newRow("SIGTERM, first cancels dropped") << 0 << 1 << true << 0 << 0 << -1 << -1 << 20000 << 20300 << 30 << C
                                                    << 1 << 1 << 4 << 20300 << QByteArray("job-cancelled");
    QTest::newRow("printer's own wait ran out") << 0 << 1 << true << 5 << 60000 << -1 << 50000 << -1 << 0 << 60 << C
                                                << 1 << 1 << 5 << -1 << QByteArray("timed-out");
    QTest::newRow("cancelled before the job was sent") << 0 << 1 << true << 3 << 0 << 5000 << -1 << -1 << 0 << 30 << C
                                                       << 1 << 1 << 3 << -1 << QByteArray("cancelled-by-user");
    QTest::newRow("busy") << 0 << 4 << true << 0 << 0 << -1 << -1 << -1 << 0 << 30 << C << 1 << 0 << 8 << -1
                          << QByteArray("busy");
}

void BackendJobTest::schedule()
{
    QFETCH(int, reachableAt);
    QFETCH(int, fingerState);
    QFETCH(bool, agent);
    QFETCH(int, windowStatus);
    QFETCH(int, windowStatusAt);
    QFETCH(int, identifyAt);
    QFETCH(int, printerEndsAt);
    QFETCH(int, terminateAt);
    QFETCH(int, cancelDeaf);
    QFETCH(int, seconds);
    QFETCH(int, exitCode);
    QFETCH(int, connectTries);
    QFETCH(int, innerRuns);
    QFETCH(int, result);
    QFETCH(int, cancelledAt);
    QFETCH(QByteArray, outcome);

    FakeClock clock;
    FakeLibrary library;
    library.origin = nowMs();
    library.reachableAtMs = reachableAt;
    library.fingerState = fingerState;
    library.identifyAtMs = identifyAt;
    library.printerEndsAtMs = printerEndsAt;
    library.cancelDeafMs = cancelDeaf;
    FakeHost host(library);
    host.agent = agent;
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
    QCOMPARE(library.connectTimes, expectedTries);
    QCOMPARE(host.lines.contains("STATE: +connecting-to-device"), connectTries > 1);
    QCOMPARE(host.innerRuns, innerRuns);
    QCOMPARE(host.result, result);
    QCOMPARE(host.loggedOutcome, outcome);
    if (cancelledAt < 0) {
        QCOMPARE(library.cancelledAtMs, int64_t(-1));
    } else {
        // The window and the clock are looked at every 250 ms, a cancel repeated every 100 ms.
        QVERIFY2(library.cancelledAtMs >= cancelledAt && library.cancelledAtMs < cancelledAt + 250,
            qPrintable(QString::number(library.cancelledAtMs)));
    }
    const bool verified = outcome == "identified";
    const bool verifying = !outcome.isEmpty();
    // Every verification that did not identify anyone drops the held job and says why.
    QCOMPARE(library.drops, verifying && !verified ? 1 : 0);
    const auto errors = std::count_if(
        host.lines.begin(), host.lines.end(), [](const QByteArray& line) { return line.startsWith("ERROR: "); });
    QCOMPARE(int(errors), verifying && !verified ? 1 : 0);
    QCOMPARE(host.loggedUser, verified ? QStringLiteral("张三") : QString());
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
