// The two places where threads meet in the library, run concurrently for real (label tsan: built
// with VRKT_TSAN, ThreadSanitizer watches them):
// - a print-time verification (IsFingerPrint, through the built library against the simulated
//   network printer) cancelled from another thread at different moments, or pelted with cancel
//   requests while it runs: it must come back in time, with the right answer, and leave the
//   connection closed;
// - ServerThread's accept loop handing connections of several client threads at once to a receiver
//   on the test's thread, and being destroyed while it blocks in accept.

#include "FingerLibrary.h"
#include "SimulatedPrinters.h"
#include "ipc/ServerThread.h"
#include "ipc/TransClient.h"

#include <QtTest>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

namespace
{

// Upper-cases the request into the reply.
int shout(void* para, char* buffer, int bufsize)
{
    static_cast<std::atomic<int>*>(para)->fetch_add(1);
    for (int i = 0; i < bufsize && buffer[i]; ++i)
        buffer[i] = static_cast<char>(toupper(static_cast<unsigned char>(buffer[i])));
    return 0;
}

// TCP connections of this namespace to port 10001 still up.
int openPrinterConnections()
{
    int open = 0;
    for (const char* table : { "/proc/net/tcp", "/proc/net/tcp6" }) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray& line : lines.mid(1)) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() >= 4 && f[2].split(':').value(1) == "2711" && (f[3] == "01" || f[3] == "08"))
                ++open;
        }
    }
    return open;
}

} // namespace

class ThreadsCrossingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cancelVerification_data();
    void cancelVerification();
    void cancelStormDuringVerification();
    void serverThreadWithConcurrentClients();
    void serverThreadDestroyedWhileAccepting();

private:
    FingerLibrary m_lib;
    fpsim::SimulatedNetPrinter m_printer;
    QByteArray m_uri;
    QTemporaryDir m_dir;
};

void ThreadsCrossingTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_lib.load(), qPrintable(m_lib.error()));
    QVERIFY2(m_printer.start(QStringLiteral("127.0.0.2")), qPrintable(m_printer.errorString()));
    m_uri = m_printer.deviceUri().toLatin1();
}

void ThreadsCrossingTest::init()
{
    fpsim::ControlClient& c = m_printer.control();
    QVERIFY(c.clearFaults() && c.clearStore() && c.pressNothing() && c.setState(1));
    QVERIFY(c.addUser("alice"));
}

void ThreadsCrossingTest::cancelVerification_data()
{
    QTest::addColumn<int>("cancelAfterMs"); // -1: before the verification starts
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<int>("boundMs");

    // A cancel before IsFingerPrint binds is forgotten: the verification runs its course (here it
    // finds alice's finger).
    QTest::newRow("before it starts") << -1 << QString() << false << 3000;
    // Waiting for a finger: the cancel is seen after the 5 s pause between two polls.
    QTest::newRow("while waiting for a finger") << 300 << QString() << true << 7000;
    // The printer is slow to answer "DISC": the cancel comes while the transfer waits.
    QTest::newRow("during a slow answer") << 200 << QStringLiteral("delay=1000 code=DISC") << true << 7000;
}

void ThreadsCrossingTest::cancelVerification()
{
    QFETCH(int, cancelAfterMs);
    QFETCH(QString, fault);
    QFETCH(bool, cancelled);
    QFETCH(int, boundMs);

    if (!fault.isEmpty())
        QVERIFY(m_printer.control().injectFault(fault));
    if (cancelAfterMs < 0) {
        QVERIFY(m_lib.CancelFingerPrint(m_uri.data()));
        QVERIFY(m_printer.control().pressFingerAtNextWait("alice", 0));
    }
    std::atomic<bool> running { true };
    std::thread canceller;
    if (cancelAfterMs >= 0) {
        canceller = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(cancelAfterMs));
            if (running)
                m_lib.CancelFingerPrint(nullptr);
        });
    }
    QElapsedTimer timer;
    timer.start();
    char user[40] = {};
    short index = -1;
    const bool notIdentified = m_lib.IsFingerPrint(m_uri.data(), user, &index);
    const qint64 ms = timer.elapsed();
    running = false;
    if (canceller.joinable())
        canceller.join();

    QCOMPARE(notIdentified, cancelled);
    if (!cancelled)
        QCOMPARE(QByteArray(user), QByteArray("alice"));
    QVERIFY2(ms <= boundMs, qPrintable(QStringLiteral("came back after %1 ms").arg(ms)));
    QCOMPARE(openPrinterConnections(), 0);
    // Nothing of the cancel is left over for the next verification.
    QVERIFY(m_printer.control().clearFaults());
    QVERIFY(m_printer.control().pressFingerAtNextWait("alice", 100));
    QVERIFY(!m_lib.IsFingerPrint(m_uri.data(), user, &index));
}

void ThreadsCrossingTest::cancelStormDuringVerification()
{
    // Another thread keeps asking to cancel while a verification finds its finger: whichever wins,
    // the call comes back in time and the library stays usable.
    QVERIFY(m_printer.control().pressFingerAtNextWait("alice", 50));
    std::atomic<bool> running { true };
    std::atomic<int> requests { 0 };
    std::thread storm([&] {
        while (running) {
            m_lib.CancelFingerPrint(nullptr);
            ++requests;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    QElapsedTimer timer;
    timer.start();
    char user[40] = {};
    short index = -1;
    m_lib.IsFingerPrint(m_uri.data(), user, &index);
    const qint64 ms = timer.elapsed();
    running = false;
    storm.join();
    QVERIFY(requests > 0);
    QVERIFY2(ms <= 7000, qPrintable(QStringLiteral("came back after %1 ms").arg(ms)));
    QCOMPARE(openPrinterConnections(), 0);
    QCOMPARE(m_lib.IsDeviceFingerOpen(m_uri.data()), 1);
}

void ThreadsCrossingTest::serverThreadWithConcurrentClients()
{
    const QByteArray path = QFile::encodeName(m_dir.filePath("channel"));
    std::atomic<int> served { 0 };
    auto* server = new ServerThread(path.constData(), nullptr);
    QVERIFY(server->get_trans_server()->listen_fd >= 0);
    connect(server, &ServerThread::client_connect, this,
        [&](int fd) { server->get_trans_server()->readThenWrite(fd, shout, &served); });
    server->start();

    constexpr int kClients = 6;
    std::vector<std::future<QByteArray>> replies;
    for (int i = 0; i < kClients; ++i) {
        replies.push_back(std::async(std::launch::async, [path, i] {
            Trans_Client client(path.constData());
            char buffer[64];
            snprintf(buffer, sizeof buffer, "request %d", i);
            // The listen backlog is 1: a client that finds it full tries again.
            for (int attempt = 0; attempt < 200; ++attempt) {
                char work[64];
                memcpy(work, buffer, sizeof work);
                if (client.writeThenRead(work, sizeof work) == 0)
                    return QByteArray(work);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return QByteArray("no reply");
        }));
    }
    for (int i = 0; i < kClients; ++i) {
        QTRY_VERIFY_WITH_TIMEOUT(replies[i].wait_for(std::chrono::seconds(0)) == std::future_status::ready, 10000);
        QCOMPARE(replies[i].get(), QByteArray("REQUEST ") + QByteArray::number(i));
    }
    QCOMPARE(served.load(), kClients);
    delete server;
    QVERIFY(!QFileInfo::exists(QFile::decodeName(path)));
}

void ThreadsCrossingTest::serverThreadDestroyedWhileAccepting()
{
    const QByteArray path = QFile::encodeName(m_dir.filePath("idle"));
    for (int round = 0; round < 5; ++round) {
        auto* server = new ServerThread(path.constData(), nullptr);
        server->start();
        QTRY_VERIFY(server->isRunning());
        QElapsedTimer timer;
        timer.start();
        delete server;
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    }
}

QTEST_GUILESS_MAIN(ThreadsCrossingTest)
#include "tst_threads_crossing.moc"
