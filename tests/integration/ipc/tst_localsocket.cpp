// The local request/reply channel over real Unix-domain sockets in a temporary directory:
// Trans_Server, Trans_Client, ServerThread, setSockNonBlock and is_app_running.

#include "ipc/ServerThread.h"
#include "ipc/TransClient.h"
#include "ipc/TransServer.h"
#include "system/ShellHelpers.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace
{

// What a callback saw and how it answers.
struct Exchange {
    QByteArray request; // the request as read (up to the buffer's first zero)
    int bufsize = 0;
    int result = 0; // what the callback returns
    QByteArray reply; // written into the buffer (with its terminator) when not null
    bool fillWhole = false; // fill all 1024 bytes, leaving no terminator
};

int answer(void* para, char* buffer, int bufsize)
{
    auto* ex = static_cast<Exchange*>(para);
    ex->bufsize = bufsize;
    ex->request = QByteArray(buffer, static_cast<int>(strnlen(buffer, static_cast<size_t>(bufsize))));
    if (ex->fillWhole)
        memset(buffer, 'R', static_cast<size_t>(bufsize));
    else if (!ex->reply.isNull())
        memcpy(buffer, ex->reply.constData(), static_cast<size_t>(ex->reply.size()) + 1);
    return ex->result;
}

// Serves one connection of server on a thread of its own.
std::thread serveOne(Trans_Server& server, Exchange& ex)
{
    return std::thread([&server, &ex] {
        int fd = server.any_client_connected();
        server.readThenWrite(fd, answer, &ex);
    });
}

// Connects to path and sends raw bytes, returning the connected socket (or -1).
int connectAndSend(const QByteArray& path, const QByteArray& data)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    if (!data.isEmpty() && send(fd, data.constData(), static_cast<size_t>(data.size()), MSG_NOSIGNAL) != data.size()) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

class TestLocalSocket : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void createServerMakesAWorldWritableSocket();
    void createServerFailures_data();
    void createServerFailures();
    void longPathIsBoundCutTo107();
    void secondServerOnSamePathTakesOver();
    void destructorRemovesTheSocket();
    void requestAndReply_data();
    void requestAndReply();
    void requestIsCutAt1024Bytes();
    void replyNeverPassesTheBuffer();
    void clientGoneBeforeReplyIsNotFatal();
    void readThenWriteRefusesNegativeDescriptor();
    void clientFailures_data();
    void clientFailures();
    void isAppRunning();
    void nonBlocking();
    void serverThreadServesClients();
    void serverThreadStopsQuickly();
    void serverThreadWithoutSocketStops();
    void serverThreadMetaObject();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray path(const char* name) const { return QFile::encodeName(m_dir->filePath(name)); }
};

void TestLocalSocket::init()
{
    m_dir = std::make_unique<QTemporaryDir>("/tmp/vrkt-sock-XXXXXX");
    QVERIFY(m_dir->isValid());
}

void TestLocalSocket::createServerMakesAWorldWritableSocket()
{
    Trans_Server server;
    QCOMPARE(server.listen_fd, -1);
    QCOMPARE(server.get_server_path()[0], '\0');
    const QByteArray p = path("srv");
    const int fd = server.createServer(p.constData());
    QVERIFY(fd >= 0);
    QCOMPARE(server.listen_fd, fd);
    QCOMPARE(QByteArray(server.get_server_path()), p);
    struct stat st {
    };
    QCOMPARE(stat(p.constData(), &st), 0);
    QVERIFY(S_ISSOCK(st.st_mode));
    QCOMPARE(st.st_mode & 0777, mode_t(0666));
}

void TestLocalSocket::createServerFailures_data()
{
    QTest::addColumn<bool>("nullPath");
    QTest::addColumn<QString>("where");
    QTest::newRow("null path") << true << "";
    QTest::newRow("missing directory") << false << "no/such/dir/srv";
}

void TestLocalSocket::createServerFailures()
{
    QFETCH(bool, nullPath);
    QFETCH(QString, where);
    Trans_Server server;
    const QByteArray p = QFile::encodeName(m_dir->filePath(where));
    QCOMPARE(server.createServer(nullPath ? nullptr : p.constData()), -1);
    QCOMPARE(server.listen_fd, -1);
    QCOMPARE(server.any_client_connected(), -1);
    if (!nullPath)
        QVERIFY(!QFileInfo::exists(m_dir->filePath(where)));
}

void TestLocalSocket::longPathIsBoundCutTo107()
{
    const QByteArray p = path("") + "/" + QByteArray(150, 'l');
    const QByteArray bound = p.left(107);
    {
        Trans_Server server;
        QVERIFY(server.createServer(p.constData()) >= 0);
        QCOMPARE(QByteArray(server.get_server_path()), p);
        struct stat st {
        };
        QCOMPARE(stat(bound.constData(), &st), 0);
        QVERIFY(S_ISSOCK(st.st_mode));
        QCOMPARE(st.st_mode & 0777, mode_t(0666));
        QCOMPARE(is_app_running(p.constData()), true);
        // Again on the same path: the old socket is removed first.
        Trans_Server again;
        QVERIFY(again.createServer(p.constData()) >= 0);
    }
    QVERIFY(!QFileInfo::exists(bound));
}

void TestLocalSocket::secondServerOnSamePathTakesOver()
{
    const QByteArray p = path("srv");
    Trans_Server first;
    QVERIFY(first.createServer(p.constData()) >= 0);
    Trans_Server second;
    QVERIFY(second.createServer(p.constData()) >= 0);
    // The client reaches the second one.
    Exchange ex;
    ex.reply = "second";
    std::thread t = serveOne(second, ex);
    Trans_Client client(p.constData());
    char buffer[64] = "hello";
    QCOMPARE(client.writeThenRead(buffer, sizeof buffer), 0);
    t.join();
    QCOMPARE(QByteArray(buffer), QByteArray("second"));
    // A server created again on its own object drops its previous socket.
    const int old = second.listen_fd;
    QVERIFY(second.createServer(p.constData()) >= 0);
    QCOMPARE(fcntl(old, F_GETFD) == -1 || old == second.listen_fd, true);
}

void TestLocalSocket::destructorRemovesTheSocket()
{
    const QByteArray p = path("srv");
    {
        Trans_Server server;
        QVERIFY(server.createServer(p.constData()) >= 0);
        QVERIFY(QFileInfo::exists(p));
    }
    QVERIFY(!QFileInfo::exists(p));
    QCOMPARE(Trans_Client(p.constData()).tryConnectToServer(), -2);
}

void TestLocalSocket::requestAndReply_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("callbackResult");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("clientResult");
    QTest::addColumn<QByteArray>("clientSees");
    QTest::newRow("reply") << QByteArray("status ZPH_USB") << 0 << QByteArray("idle") << 0 << QByteArray("idle");
    QTest::newRow("callback declines: bytes sent")
        << QByteArray("status ZPH_USB") << 1 << QByteArray("ignored") << 14 << QByteArray();
    QTest::newRow("negative result declines too")
        << QByteArray("x") << -5 << QByteArray("ignored") << 1 << QByteArray();
    QTest::newRow("empty reply sends nothing") << QByteArray("ping") << 0 << QByteArray("") << 4 << QByteArray();
    QTest::newRow("UTF-8 text") << QByteArray("打印机") << 0 << QByteArray("忙") << 0 << QByteArray("忙");
}

void TestLocalSocket::requestAndReply()
{
    QFETCH(QByteArray, request);
    QFETCH(int, callbackResult);
    QFETCH(QByteArray, reply);
    QFETCH(int, clientResult);
    QFETCH(QByteArray, clientSees);

    const QByteArray p = path("srv");
    Trans_Server server;
    QVERIFY(server.createServer(p.constData()) >= 0);
    Exchange ex;
    ex.result = callbackResult;
    ex.reply = reply;
    std::thread t = serveOne(server, ex);

    Trans_Client client(p.constData());
    char buffer[256];
    memset(buffer, 0, sizeof buffer);
    memcpy(buffer, request.constData(), static_cast<size_t>(request.size()));
    QCOMPARE(client.writeThenRead(buffer, sizeof buffer), clientResult);
    t.join();
    QCOMPARE(ex.request, request);
    QCOMPARE(ex.bufsize, 1024);
    QCOMPARE(QByteArray(buffer), clientSees);
}

void TestLocalSocket::requestIsCutAt1024Bytes()
{
    const QByteArray p = path("srv");
    Trans_Server server;
    QVERIFY(server.createServer(p.constData()) >= 0);
    Exchange ex;
    ex.reply = "ok";
    std::thread t = serveOne(server, ex);
    // One write of 1500 bytes: the server reads once and sees at most 1024 of them.
    const int fd = connectAndSend(p, QByteArray(1500, 'q'));
    QVERIFY(fd >= 0);
    t.join();
    char reply[16] = {};
    QCOMPARE(read(fd, reply, sizeof reply), ssize_t(2));
    close(fd);
    QCOMPARE(ex.request, QByteArray(1024, 'q'));
}

void TestLocalSocket::replyNeverPassesTheBuffer()
{
    const QByteArray p = path("srv");
    Trans_Server server;
    QVERIFY(server.createServer(p.constData()) >= 0);
    Exchange ex;
    ex.fillWhole = true; // a reply without a terminator
    std::thread t = serveOne(server, ex);
    Trans_Client client(p.constData());
    std::vector<char> buffer(4096, 0);
    strcpy(buffer.data(), "fill");
    QCOMPARE(client.writeThenRead(buffer.data(), static_cast<int>(buffer.size())), 0);
    t.join();
    // The reply is read once; collect whatever else may still come to be sure of its length.
    QCOMPARE(strnlen(buffer.data(), buffer.size()), size_t(1024));
    QCOMPARE(QByteArray(buffer.data(), 1024), QByteArray(1024, 'R'));
}

void TestLocalSocket::clientGoneBeforeReplyIsNotFatal()
{
    const QByteArray p = path("srv");
    Trans_Server server;
    QVERIFY(server.createServer(p.constData()) >= 0);
    // The client sends and closes at once; the server's reply then hits a closed socket, which
    // must be a failed write and not SIGPIPE (that would end this test program).
    const int fd = connectAndSend(p, "bye");
    QVERIFY(fd >= 0);
    shutdown(fd, SHUT_RDWR);
    close(fd);
    Exchange ex;
    ex.reply = QByteArray(1000, 'z');
    const int com = server.any_client_connected();
    QVERIFY(com >= 0);
    QCOMPARE(server.readThenWrite(com, answer, &ex), 0);
    QCOMPARE(ex.request, QByteArray("bye"));
    QCOMPARE(fcntl(com, F_GETFD), -1); // closed
}

void TestLocalSocket::readThenWriteRefusesNegativeDescriptor()
{
    Trans_Server server;
    Exchange ex;
    QCOMPARE(server.readThenWrite(-1, answer, &ex), -1);
    QCOMPARE(ex.bufsize, 0);
}

void TestLocalSocket::clientFailures_data()
{
    QTest::addColumn<bool>("nullPath");
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("result");
    QTest::newRow("null path") << true << "" << -1;
    QTest::newRow("empty path") << false << "" << -1;
    QTest::newRow("nobody listens") << false << "nobody" << -2;
    QTest::newRow("a plain file") << false << "file" << -2;
}

void TestLocalSocket::clientFailures()
{
    QFETCH(bool, nullPath);
    QFETCH(QString, where);
    QFETCH(int, result);
    QByteArray p = where.isEmpty() ? QByteArray("") : path(where.toLatin1().constData());
    if (where == "file") {
        QFile f(QFile::decodeName(p));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    Trans_Client client(nullPath ? nullptr : p.constData());
    QCOMPARE(client.tryConnectToServer(), result);
    char buffer[32] = "request";
    QCOMPARE(client.writeThenRead(buffer, sizeof buffer), result);
    QCOMPARE(QByteArray(buffer), QByteArray("request"));
}

void TestLocalSocket::isAppRunning()
{
    const QByteArray p = path("app");
    QCOMPARE(is_app_running(p.constData()), false);
    {
        Trans_Server server;
        QVERIFY(server.createServer(p.constData()) >= 0);
        QCOMPARE(is_app_running(p.constData()), true);
        QCOMPARE(Trans_Client(p.constData()).tryConnectToServer(), 0);
    }
    QCOMPARE(is_app_running(p.constData()), false);
    // No path to ask: taken as running.
    QCOMPARE(is_app_running(""), true);
    QCOMPARE(is_app_running(nullptr), true);
}

void TestLocalSocket::nonBlocking()
{
    int pair[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    QCOMPARE(fcntl(pair[0], F_GETFL) & O_NONBLOCK, 0);
    QCOMPARE(setSockNonBlock(pair[0]), 0);
    QVERIFY(fcntl(pair[0], F_GETFL) & O_NONBLOCK);
    char c;
    QCOMPARE(read(pair[0], &c, 1), ssize_t(-1));
    QCOMPARE(errno, EAGAIN);
    close(pair[0]);
    close(pair[1]);
    QCOMPARE(setSockNonBlock(pair[0]), -1);
    QCOMPARE(setSockNonBlock(-1), -1);
}

void TestLocalSocket::serverThreadServesClients()
{
    const QByteArray p = path("thread");
    auto* server = new ServerThread(p.constData(), nullptr);
    QVERIFY(server->get_trans_server()->listen_fd >= 0);
    QCOMPARE(server->get_trans_server(), &server->trans_server);
    Exchange ex;
    ex.reply = "served";
    QList<int> descriptors;
    // Queued: the receiver lives on this (the test's) thread.
    connect(server, &ServerThread::client_connect, this, [&](int fd) {
        descriptors << fd;
        server->get_trans_server()->readThenWrite(fd, answer, &ex);
    });
    server->start();

    for (int i = 0; i < 3; ++i) {
        auto reply = std::async(std::launch::async, [p, i] {
            Trans_Client client(p.constData());
            char buffer[64];
            snprintf(buffer, sizeof buffer, "request %d", i);
            int rc = client.writeThenRead(buffer, sizeof buffer);
            return qMakePair(rc, QByteArray(buffer));
        });
        // Serve through this thread's event loop until the client has its reply.
        QTRY_VERIFY_WITH_TIMEOUT(reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 5000);
        const auto [rc, text] = reply.get();
        QCOMPARE(rc, 0);
        QCOMPARE(text, QByteArray("served"));
        QCOMPARE(ex.request, QByteArray("request ") + QByteArray::number(i));
    }
    QCOMPARE(descriptors.size(), 3);
    delete server;
    QVERIFY(!QFileInfo::exists(p));
    // The self-connection that stopped the loop was not handed out.
    QCoreApplication::processEvents();
    QCOMPARE(descriptors.size(), 3);
}

void TestLocalSocket::serverThreadStopsQuickly()
{
    const QByteArray p = path("thread");
    auto* server = new ServerThread(p.constData(), nullptr);
    server->start();
    QTRY_VERIFY(server->isRunning());
    QTest::qWait(50); // let it block in accept
    QElapsedTimer timer;
    timer.start();
    delete server;
    const qint64 ms = timer.elapsed();
    qInfo("ServerThread destroyed in %lld ms while blocked in accept", ms);
    QVERIFY(!QFileInfo::exists(p));
    QCOMPARE(Trans_Client(p.constData()).tryConnectToServer(), -2);
}

void TestLocalSocket::serverThreadWithoutSocketStops()
{
    const QByteArray p = path("no/such/dir/thread");
    auto* server = new ServerThread(p.constData(), nullptr);
    QCOMPARE(server->get_trans_server()->listen_fd, -1);
    QSignalSpy spy(server, &ServerThread::client_connect);
    server->start();
    QTRY_VERIFY(server->isRunning());
    QTest::qWait(50);
    delete server;
    QCOMPARE(spy.count(), 0);
}

void TestLocalSocket::serverThreadMetaObject()
{
    const QMetaObject& mo = ServerThread::staticMetaObject;
    QCOMPARE(QByteArray(mo.className()), QByteArray("ServerThread"));
    QVERIFY(mo.indexOfSignal("client_connect(int)") >= 0);
    QVERIFY(mo.indexOfSignal("client_cmd(QString,void*)") >= 0);
    QCOMPARE(QByteArray(mo.superClass()->className()), QByteArray("QThread"));
}

QTEST_GUILESS_MAIN(TestLocalSocket)
#include "tst_localsocket.moc"
