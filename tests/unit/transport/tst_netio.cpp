// The network transport against in-test peers on 127.0.0.1: URI resolution, open on the caller's
// port, exact-size reads, complete writes, close semantics, and the waits shortened through the
// test seam.

#include "NetPeers.h"
#include "StderrCapture.h"
#include "transport/NetIO.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>
#include <cstring>
#include <memory>
#include <thread>

namespace
{

// A buffer of `size` bytes between two guard zones, all pre-filled, so that a test sees both what
// landed in the buffer and any write past either end.
class GuardedBuffer
{
public:
    static constexpr int kGuard = 32;
    static constexpr char kFill = '\xAA';

    explicit GuardedBuffer(int size)
        : m_size(size)
        , m_bytes(size + 2 * kGuard, kFill)
    {
    }
    char* data() { return m_bytes.data() + kGuard; }
    int size() const { return m_size; }
    QByteArray contents() const { return m_bytes.mid(kGuard, m_size); }
    bool guardsIntact() const
    {
        return m_bytes.left(kGuard) == QByteArray(kGuard, kFill) && m_bytes.right(kGuard) == QByteArray(kGuard, kFill);
    }

private:
    int m_size;
    QByteArray m_bytes;
};

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

NetIO::Waits shortWaits()
{
    NetIO::Waits waits;
    waits.connectMs = 2000;
    waits.writeMs = 400;
    waits.readMs = 400;
    return waits;
}

// A NetIO resolved to 127.0.0.1 and open on port (the test's peer).
std::unique_ptr<NetIO> openTo(quint16 port, const NetIO::Waits& waits = NetIO::Waits())
{
    auto io = std::make_unique<NetIO>();
    io->setWaits(waits);
    if (io->resolveUrl("socket://127.0.0.1") != 0 || io->open(port) != 0)
        return nullptr;
    return io;
}

} // namespace

// One step of a peer's reply: bytes to send, then a pause; a negative pause closes the connection.
struct PeerStep {
    QByteArray bytes;
    int pauseMs;
};
Q_DECLARE_METATYPE(PeerStep)
Q_DECLARE_METATYPE(QList<PeerStep>)

class NetIOTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void basics();
    void resolveUrl_data();
    void resolveUrl();
    void dnssdGoesThroughTheResolver_data();
    void dnssdGoesThroughTheResolver();
    void sameUriIsResolvedOnce();
    void failedResolutionForgetsTheEarlierPrinter();
    void newUriKeepsAnOpenConnection();
    void openUsesTheCallersPort();
    void openFailures_data();
    void openFailures();
    void openTwiceIsRefused();
    void closeSemantics();
    void exchange();
    void read_data();
    void read();
    void readKeepsTheSurplusForTheNextRead();
    void largeWriteArrivesWhole();
    void writeTimesOutWhenThePeerTakesNothing();
    void nothingMovesWhenNotOpen();
    void laterUseOnAnotherThread();
};

void NetIOTest::basics()
{
    NetIO io;
    QCOMPARE(io.type(), 2);
    QCOMPARE(io.ifdelay, 0);
    QVERIFY(!io.device_is_open);
    QVERIFY(io.tcpSocket == nullptr);
    QCOMPARE(io.getDeviceAddress(), "");
    QCOMPARE(io.waits().connectMs, 5000);
    QCOMPARE(io.waits().writeMs, 15000);
    QCOMPARE(io.waits().readMs, 30000);
}

void NetIOTest::resolveUrl_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("resolvedUrl");
    QTest::addColumn<QString>("address");

    QTest::newRow("socket with port") << QByteArray("socket://127.0.0.1:9100") << 0
                                      << QStringLiteral("socket://127.0.0.1") << QStringLiteral("127.0.0.1");
    QTest::newRow("socket without port") << QByteArray("socket://10.20.30.40") << 0
                                         << QStringLiteral("socket://10.20.30.40") << QStringLiteral("10.20.30.40");
    QTest::newRow("ipp with path") << QByteArray("ipp://192.168.1.20:631/printers/office") << 0
                                   << QStringLiteral("socket://192.168.1.20") << QStringLiteral("192.168.1.20");
    QTest::newRow("lpd") << QByteArray("lpd://172.16.0.9/queue") << 0 << QStringLiteral("socket://172.16.0.9")
                         << QStringLiteral("172.16.0.9");
    QTest::newRow("IPv6 in brackets") << QByteArray("socket://[::1]:9100") << 0 << QStringLiteral("socket://[::1]")
                                      << QStringLiteral("::1");
    QTest::newRow("IPv6 long form") << QByteArray("socket://[fd00:0:0:0:0:0:0:20]") << 0
                                    << QStringLiteral("socket://[fd00::20]") << QStringLiteral("fd00::20");
    QTest::newRow("bare path") << QByteArray("/dev/usb/lp0") << -1 << QString() << QString();
    QTest::newRow("scheme only") << QByteArray("socket://") << -1 << QString() << QString();
    QTest::newRow("plain word") << QByteArray("printer") << -1 << QString() << QString();
    QTest::newRow("empty") << QByteArray("") << -1 << QString() << QString();
    QTest::newRow("file URI") << QByteArray("file:///dev/null") << -1 << QString() << QString();
    QTest::newRow("256 characters") << (QByteArray("socket://127.0.0.1/") + QByteArray(237, 'x')) << -1 << QString()
                                    << QString();
}

void NetIOTest::resolveUrl()
{
    QFETCH(QByteArray, url);
    QFETCH(int, result);
    QFETCH(QString, resolvedUrl);
    QFETCH(QString, address);

    NetIO io;
    QCOMPARE(io.resolveUrl(url.constData()), result);
    QCOMPARE(QString::fromStdString(io.resolved_url), resolvedUrl);
    QCOMPARE(QString::fromUtf8(io.getDeviceAddress()), address);
    QCOMPARE(QByteArray(io.device_uri), result == 0 ? url : QByteArray());
    QVERIFY(!io.device_is_open);
}

void NetIOTest::dnssdGoesThroughTheResolver_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<int>("resolverResult");
    QTest::addColumn<QByteArray>("resolverOutput");
    QTest::addColumn<int>("expectedCalls");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("resolvedUrl");

    const QByteArray service("dnssd://Office%20Printer._pdl-datastream._tcp.local/?uuid=1234");
    QTest::newRow("resolved") << service << 0 << QByteArray("socket://127.0.0.9:9100") << 1 << 0
                              << QStringLiteral("socket://127.0.0.9");
    QTest::newRow("resolved to IPv6") << service << 0 << QByteArray("socket://[::1]:9100") << 1 << 0
                                      << QStringLiteral("socket://[::1]");
    // The URI itself is parsed then; here its host is an address.
    QTest::newRow("resolver fails") << QByteArray("dnssd://127.0.0.8/?uuid=1") << -1 << QByteArray("socket://10.0.0.1")
                                    << 1 << 0 << QStringLiteral("socket://127.0.0.8");
    QTest::newRow("result without host") << QByteArray("dnssd://127.0.0.8/?uuid=1") << 0 << QByteArray("/nowhere") << 1
                                         << 0 << QStringLiteral("socket://127.0.0.8");
    QTest::newRow("result fills the buffer unterminated")
        << QByteArray("dnssd://127.0.0.8/?uuid=1") << 0 << QByteArray(300, 'a') << 1 << 0
        << QStringLiteral("socket://127.0.0.8");
    QTest::newRow("no host anywhere") << QByteArray("dnssd:///x") << -1 << QByteArray() << 1 << -1 << QString();
    QTest::newRow("other schemes skip it") << QByteArray("socket://127.0.0.7") << 0 << QByteArray("socket://10.0.0.1")
                                           << 0 << 0 << QStringLiteral("socket://127.0.0.7");
    QTest::newRow("scheme is case-sensitive")
        << QByteArray("DNSSD://127.0.0.6/") << 0 << QByteArray("socket://10.0.0.1") << 0 << 0
        << QStringLiteral("socket://127.0.0.6");
}

void NetIOTest::dnssdGoesThroughTheResolver()
{
    QFETCH(QByteArray, url);
    QFETCH(int, resolverResult);
    QFETCH(QByteArray, resolverOutput);
    QFETCH(int, expectedCalls);
    QFETCH(int, result);
    QFETCH(QString, resolvedUrl);

    NetIO io;
    int calls = 0;
    QByteArray askedFor;
    io.setUriResolver([&](const char* uri, char* buffer, int bufsize) {
        ++calls;
        askedFor = uri;
        // Writes as much as it has, up to the very last byte of the buffer, unterminated when full.
        const int n = std::min<int>(resolverOutput.size(), bufsize);
        memcpy(buffer, resolverOutput.constData(), n);
        if (n < bufsize)
            buffer[n] = '\0';
        return resolverResult;
    });
    QCOMPARE(io.resolveUrl(url.constData()), result);
    QCOMPARE(calls, expectedCalls);
    if (calls)
        QCOMPARE(askedFor, url);
    QCOMPARE(QString::fromStdString(io.resolved_url), resolvedUrl);
}

void NetIOTest::sameUriIsResolvedOnce()
{
    NetIO io;
    int calls = 0;
    io.setUriResolver([&](const char*, char* buffer, int bufsize) {
        ++calls;
        qstrncpy(buffer, calls == 1 ? "socket://127.0.0.5" : "socket://127.0.0.6", bufsize);
        return 0;
    });
    const char* url = "dnssd://Printer._pdl-datastream._tcp.local/";
    QCOMPARE(io.resolveUrl(url), 0);
    QCOMPARE(io.resolveUrl(url), 0);
    QCOMPARE(calls, 1);
    QCOMPARE(io.resolved_url, std::string("socket://127.0.0.5"));

    // Another URI and then the first again: looked up anew each time.
    QCOMPARE(io.resolveUrl("socket://127.0.0.1"), 0);
    QCOMPARE(io.resolveUrl(url), 0);
    QCOMPARE(calls, 2);
    QCOMPARE(io.resolved_url, std::string("socket://127.0.0.6"));
}

// A URI without a host must not reach the printer resolved before it, not even when it is asked
// for a second time.
void NetIOTest::failedResolutionForgetsTheEarlierPrinter()
{
    TcpPeer earlier;
    QVERIFY(earlier.isListening());
    earlier.start([](PeerConnection& c) { c.waitForClientClose(2000); });

    NetIO io;
    QCOMPARE(io.resolveUrl("socket://127.0.0.1:9100"), 0);
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(io.resolveUrl("/not/a/printer"), -1);
        QCOMPARE(io.getDeviceAddress(), "");
        QCOMPARE(io.resolved_url, std::string());
        StderrCapture err;
        QCOMPARE(io.open(earlier.port()), -1);
    }
    QCOMPARE(io.resolveUrl(nullptr), -1);
    QCOMPARE(earlier.connections(), 0);

    Printer_struct printer {};
    qstrncpy(printer.deviceUri, "/not/a/printer", sizeof(printer.deviceUri));
    QCOMPARE(io.open(&printer, earlier.port()), -1);
    QCOMPARE(io.getDeviceId(&printer, nullptr, 0), -1);
    QVERIFY(!io.isConnected(&printer));
    QCOMPARE(io.getDeviceAddress(&printer), "");
    QCOMPARE(earlier.connections(), 0);
}

void NetIOTest::newUriKeepsAnOpenConnection()
{
    TcpPeer peer;
    peer.start([](PeerConnection& c) {
        const QByteArray request = c.receive(4);
        c.send(request + "OK");
        c.waitForClientClose(5000);
    });
    auto io = openTo(peer.port());
    QVERIFY(io);
    QCOMPARE(io->resolveUrl("socket://127.0.0.3:9100"), 0);
    QCOMPARE(io->getDeviceAddress(), "127.0.0.3");
    QVERIFY(io->device_is_open);
    char out[] = "PING";
    QCOMPARE(io->write(out, 4), 4);
    char in[6];
    QCOMPARE(io->read(in, 6), 6);
    QCOMPARE(QByteArray(in, 6), QByteArray("PINGOK"));
    QCOMPARE(io->close(), 0);
}

void NetIOTest::openUsesTheCallersPort()
{
    TcpPeer peer;
    peer.start([](PeerConnection& c) { c.waitForClientClose(5000); });
    NetIO io;
    // Port 9 of the URI is not where the connection goes.
    Printer_struct printer {};
    qstrncpy(printer.deviceUri, "socket://127.0.0.1:9", sizeof(printer.deviceUri));
    QCOMPARE(io.open(&printer, peer.port()), 0);
    QVERIFY(io.device_is_open);
    QVERIFY(peer.waitForConnections(1));
    QCOMPARE(io.resolved_url, std::string("socket://127.0.0.1"));
    QCOMPARE(io.getDeviceAddress(&printer), "127.0.0.1");
    QCOMPARE(io.close(), 0);
}

void NetIOTest::openFailures_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("errorLine");

    // A port nobody listens on: the listener below is closed again before the test connects.
    QTest::newRow("refused") << QByteArray("socket://127.0.0.1") << -1 << QStringLiteral("tcpsocket error code:0");
    QTest::newRow("nothing resolved") << QByteArray() << 10001 << QStringLiteral("tcpsocket error code:2");
    QTest::newRow("port out of range") << QByteArray("socket://127.0.0.1") << 70000
                                       << QStringLiteral("tcpsocket error code:2");
}

void NetIOTest::openFailures()
{
    QFETCH(QByteArray, url);
    QFETCH(int, port);
    QFETCH(QString, errorLine);

    if (port < 0) {
        TcpPeer closed;
        port = closed.port();
    }
    NetIO io;
    if (!url.isEmpty())
        QCOMPARE(io.resolveUrl(url.constData()), 0);
    {
        StderrCapture err;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(io.open(port), -1);
        const QStringList lines = err.lines();
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), errorLine);
        QVERIFY(lines.at(1).startsWith(QLatin1String("tcpsocket error:")));
    }
    QVERIFY(!io.device_is_open);

    // The same object opens fine afterwards.
    TcpPeer peer;
    peer.start([](PeerConnection& c) { c.waitForClientClose(5000); });
    QCOMPARE(io.resolveUrl("socket://127.0.0.1"), 0);
    QCOMPARE(io.open(peer.port()), 0);
    QVERIFY(peer.waitForConnections(1));
    QCOMPARE(io.close(), 0);
}

void NetIOTest::openTwiceIsRefused()
{
    TcpPeer peer;
    peer.start([](PeerConnection& c) {
        c.send(c.receive(3));
        c.waitForClientClose(5000);
    });
    auto io = openTo(peer.port());
    QVERIFY(io);
    {
        StderrCapture err;
        QCOMPARE(io->open(peer.port()), -1);
        QCOMPARE(err.lines(), QStringList { QStringLiteral("device is opened") });
    }
    // The first connection is untouched and the second attempt made none.
    QVERIFY(io->device_is_open);
    char bytes[] = "abc";
    QCOMPARE(io->write(bytes, 3), 3);
    char echo[3];
    QCOMPARE(io->read(echo, 3), 3);
    QCOMPARE(QByteArray(echo, 3), QByteArray("abc"));
    QCOMPARE(peer.connections(), 1);
}

void NetIOTest::closeSemantics()
{
    std::atomic<int> clientCloses { 0 };
    TcpPeer peer;
    peer.start([&](PeerConnection& c) {
        if (c.waitForClientClose(5000))
            ++clientCloses;
    });

    NetIO io;
    QCOMPARE(io.close(), -1); // no socket yet
    QCOMPARE(io.resolveUrl("socket://127.0.0.1"), 0);
    QCOMPARE(io.open(peer.port()), 0);
    QCOMPARE(io.close(), 0);
    QCOMPARE(io.close(), 0);
    QVERIFY(!io.device_is_open);
    QTRY_COMPARE(clientCloses.load(), 1);

    // Open again on the same socket object.
    QTcpSocket* socket = io.tcpSocket;
    QCOMPARE(io.open(peer.port()), 0);
    QCOMPARE(io.tcpSocket, socket);
    QVERIFY(peer.waitForConnections(2));
    QCOMPARE(io.close(), 0);
    QTRY_COMPARE(clientCloses.load(), 2);

    // A failed open leaves a socket behind, closed: 0.
    NetIO refused;
    QCOMPARE(refused.resolveUrl("socket://127.0.0.1"), 0);
    {
        TcpPeer gone;
        const quint16 port = gone.port();
        gone.stopListening();
        StderrCapture err;
        QCOMPARE(refused.open(port), -1);
    }
    QCOMPARE(refused.close(), 0);
}

void NetIOTest::exchange()
{
    QByteArray seen;
    std::atomic<bool> done { false };
    TcpPeer peer;
    peer.start([&](PeerConnection& c) {
        seen = c.receive(8);
        c.send(QByteArray("STA\0A\0\0\1", 8));
        seen += c.receive(4);
        c.send("bulk");
        done = true;
        c.waitForClientClose(5000);
    });
    auto io = openTo(peer.port());
    QVERIFY(io);
    char frame[] = "STUS\0\0\0\0";
    QCOMPARE(io->write(frame, 8), 8);
    char reply[8];
    QCOMPARE(io->read(reply, 8), 8);
    QCOMPARE(QByteArray(reply, 8), QByteArray("STA\0A\0\0\1", 8));
    char piece[] = "more";
    QCOMPARE(io->write_bulk(piece, 4, 7), 4);
    char bulk[4];
    QCOMPARE(io->read_bulk(bulk, 4, 3), 4);
    QCOMPARE(QByteArray(bulk, 4), QByteArray("bulk"));
    QCOMPARE(io->close(), 0);
    QTRY_VERIFY(done.load());
    QCOMPARE(seen, QByteArray("STUS\0\0\0\0more", 12));
}

void NetIOTest::read_data()
{
    QTest::addColumn<QList<PeerStep>>("steps");
    QTest::addColumn<int>("bufsize");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("landed"); // bytes of the peer's stream that must be in the buffer

    const QByteArray s = pattern(100000);
    QTest::newRow("exact, one piece") << QList<PeerStep> { { s.left(8), 0 } } << 8 << 8 << 8;
    QTest::newRow("exact, three pieces") << QList<PeerStep> { { s.left(3), 50 }, { s.mid(3, 2), 50 },
        { s.mid(5, 3), 0 } } << 8 << 8 << 8;
    QTest::newRow("large, many pieces") << QList<PeerStep> { { s.left(30000), 20 }, { s.mid(30000, 70000), 0 } }
                                        << 100000 << 100000 << 100000;
    QTest::newRow("one byte") << QList<PeerStep> { { s.left(1), 0 } } << 1 << 1 << 1;
    QTest::newRow("nothing asked") << QList<PeerStep> {} << 0 << 0 << 0;
    QTest::newRow("negative size") << QList<PeerStep> { { s.left(8), 0 } } << -8 << -1 << 0;
    QTest::newRow("5 of 8, then closed") << QList<PeerStep> { { s.left(5), -1 } } << 8 << -1 << 5;
    QTest::newRow("closed at once") << QList<PeerStep> { { QByteArray(), -1 } } << 8 << -1 << 0;
    QTest::newRow("5 of 8, then quiet") << QList<PeerStep> { { s.left(5), 3000 } } << 8 << -1 << 5;
    QTest::newRow("quiet") << QList<PeerStep> { { QByteArray(), 3000 } } << 8 << -1 << 0;
    QTest::newRow("gap shorter than the wait")
        << QList<PeerStep> { { s.left(4), 250 }, { s.mid(4, 4), 0 } } << 8 << 8 << 8;
}

void NetIOTest::read()
{
    QFETCH(QList<PeerStep>, steps);
    QFETCH(int, bufsize);
    QFETCH(int, result);
    QFETCH(int, landed);

    TcpPeer peer;
    peer.start([&](PeerConnection& c) {
        for (const PeerStep& step : steps) {
            c.send(step.bytes);
            if (step.pauseMs < 0) {
                c.close();
                return;
            }
            c.pauseMs(step.pauseMs);
        }
        c.waitForClientClose(5000);
    });
    auto io = openTo(peer.port(), shortWaits());
    QVERIFY(io);
    GuardedBuffer buffer(std::max(bufsize, 0));
    {
        StderrCapture err;
        QCOMPARE(io->read(buffer.data(), bufsize), result);
        if (result < 0 && bufsize > 0)
            QCOMPARE(err.lines(), QStringList { QStringLiteral("reading error:") });
    }
    QVERIFY(buffer.guardsIntact());
    const QByteArray expected = pattern(100000).left(landed);
    QCOMPARE(buffer.contents().left(landed), expected);
    QCOMPARE(buffer.contents().mid(landed), QByteArray(buffer.size() - landed, GuardedBuffer::kFill));
    QCOMPARE(io->close(), 0);
}

void NetIOTest::readKeepsTheSurplusForTheNextRead()
{
    const QByteArray stream = pattern(20);
    TcpPeer peer;
    peer.start([&](PeerConnection& c) {
        c.send(stream);
        c.waitForClientClose(5000);
    });
    auto io = openTo(peer.port(), shortWaits());
    QVERIFY(io);
    QVERIFY(QTest::qWaitFor([&] { return peer.connections() == 1; }));
    QTest::qWait(50); // all 20 bytes are on their way before the first read
    GuardedBuffer first(8);
    QCOMPARE(io->read(first.data(), 8), 8);
    QVERIFY(first.guardsIntact());
    GuardedBuffer second(12);
    QCOMPARE(io->read(second.data(), 12), 12);
    QVERIFY(second.guardsIntact());
    QCOMPARE(first.contents() + second.contents(), stream);
    // A new connection starts clean: nothing of the old one is left over.
    QCOMPARE(io->close(), 0);
}

// A write returns after every byte left the socket, so that closing right afterwards (as the
// transfer routines do) cannot drop the tail of an import stream.
void NetIOTest::largeWriteArrivesWhole()
{
    const QByteArray stream = pattern(8 * 1024 * 1024);
    QByteArray arrived;
    std::atomic<bool> done { false };
    TcpPeer peer;
    peer.start([&](PeerConnection& c) {
        c.pauseMs(200); // let the client's buffers fill up first
        arrived = c.receiveUntilClosed(20000);
        done = true;
    });
    auto io = openTo(peer.port());
    QVERIFY(io);
    QCOMPARE(io->write(const_cast<char*>(stream.constData()), stream.size()), stream.size());
    QCOMPARE(io->tcpSocket->bytesToWrite(), qint64(0));
    QCOMPARE(io->close(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
    QCOMPARE(arrived.size(), stream.size());
    QVERIFY(arrived == stream);
}

void NetIOTest::writeTimesOutWhenThePeerTakesNothing()
{
    TcpPeer peer;
    peer.start([](PeerConnection& c) { c.pauseMs(10000); });
    auto io = openTo(peer.port(), shortWaits());
    QVERIFY(io);
    // Far more than the loopback socket buffers hold.
    QByteArray stream(64 * 1024 * 1024, 'x');
    StderrCapture err;
    QCOMPARE(io->write(stream.data(), stream.size()), -1);
    QCOMPARE(err.lines(), QStringList { QStringLiteral("tcp_socket write timeout") });
    QCOMPARE(io->close(), 0);
    QCOMPARE(io->tcpSocket->bytesToWrite(), qint64(0));
}

void NetIOTest::nothingMovesWhenNotOpen()
{
    TcpPeer peer;
    peer.start([](PeerConnection& c) {
        c.send("unasked");
        c.waitForClientClose(5000);
    });
    NetIO io;
    char buffer[8] = {};
    QCOMPARE(io.write(buffer, 8), -1);
    QCOMPARE(io.read(buffer, 8), -1);
    QCOMPARE(io.write_bulk(buffer, 8, 0), -1);
    QCOMPARE(io.read_bulk(buffer, 8, 0), -1);
    QCOMPARE(io.resolveUrl("socket://127.0.0.1"), 0);
    QCOMPARE(io.open(peer.port()), 0);
    QCOMPARE(io.close(), 0);
    QCOMPARE(io.write(buffer, 8), -1);
    QCOMPARE(io.read(buffer, 7), -1);
    QCOMPARE(QByteArray(buffer, 8), QByteArray(8, '\0'));
    QCOMPARE(io.write(nullptr, 8), -1);
}

// The print side may reach the same transport from another thread than the one that used it
// first: the socket of a finished thread is not reused.
void NetIOTest::laterUseOnAnotherThread()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    TcpPeer peer;
    peer.start([](PeerConnection& c) {
        c.send(c.receive(4));
        c.waitForClientClose(5000);
    });
    NetIO io;
    QCOMPARE(io.resolveUrl("socket://127.0.0.1"), 0);
    auto exchange = [&] {
        if (io.open(peer.port()) != 0)
            return false;
        char out[] = "ping";
        char in[4];
        const bool echoed = io.write(out, 4) == 4 && io.read(in, 4) == 4 && memcmp(in, "ping", 4) == 0;
        return io.close() == 0 && echoed;
    };
    bool onWorker = false;
    std::thread worker([&] { onWorker = exchange(); });
    worker.join();
    QVERIFY(onWorker);
    QVERIFY(exchange());
    QVERIFY(io.tcpSocket->thread() == QThread::currentThread());
    QCOMPARE(peer.connections(), 2);
}

QTEST_GUILESS_MAIN(NetIOTest)
#include "tst_netio.moc"
