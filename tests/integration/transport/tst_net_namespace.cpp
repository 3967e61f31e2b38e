// The network transport inside a private network and mount namespace (in-namespace.sh): printers
// on their real ports (TCP 10001, UDP 161) at loopback addresses 127.0.0.x and ::1, and host names
// from an /etc/hosts of the test's own, bind-mounted over the real one for this namespace only.

#include "FakeClock.h"
#include "NetPeers.h"
#include "transport/DeviceManager.h"
#include "transport/NetIO.h"
#include "transport/SnmpDeviceId.h"

#include <QFile>
#include <QtTest>
#include <memory>
#include <sys/mount.h>
#include <unistd.h>

namespace
{

constexpr quint16 kPrinterPort = 10001;

// A host name with both kinds of address lists the IPv6 one first, so that the preference for
// IPv4 is what picks 127.0.0.4.
const char kHosts[] = "127.0.0.1 localhost\n"
                      "::1 dualhost.test\n"
                      "127.0.0.4 dualhost.test\n"
                      "::1 v6only.test\n"
                      "127.0.0.5 v4only.test\n";

QString namespaceOf(const char* path) { return QFile::symLinkTarget(QString::fromLatin1(path)); }

Printer_struct printerAt(const char* uri)
{
    Printer_struct printer {};
    qstrncpy(printer.deviceUri, uri, sizeof(printer.deviceUri));
    return printer;
}

QByteArray answerOfSize(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('A' + i % 26);
    return bytes;
}

} // namespace

class NetNamespaceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void resolvesAndOpensTheCallersPort_data();
    void resolvesAndOpensTheCallersPort();
    void ipAddressOfNames_data();
    void ipAddressOfNames();
    void unknownNameFailsAtOpen();
    void twoPrintersSideBySide();
    void deviceIdOverSnmp_data();
    void deviceIdOverSnmp();
    void silentPrinterIsNotConnected();
    void fingerprintPortCountsAsAnswer_data();
    void fingerprintPortCountsAsAnswer();

private:
    bool m_hostsMounted = false;
};

void NetNamespaceTest::initTestCase()
{
    // Never touch the machine's own /etc/hosts: only inside a namespace of our own.
    if (namespaceOf("/proc/self/ns/mnt") == namespaceOf("/proc/1/ns/mnt")
        || namespaceOf("/proc/self/ns/net") == namespaceOf("/proc/1/ns/net"))
        QSKIP("needs a private mount and network namespace (tests/fixtures/in-namespace.sh)");

    QFile hosts(QStringLiteral("/tmp/net-test-hosts"));
    QVERIFY(hosts.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(hosts.write(kHosts), qint64(sizeof(kHosts) - 1));
    hosts.close();
    QVERIFY2(::mount("/tmp/net-test-hosts", "/etc/hosts", nullptr, MS_BIND, nullptr) == 0, strerror(errno));
    m_hostsMounted = true;
}

void NetNamespaceTest::cleanupTestCase()
{
    if (m_hostsMounted)
        ::umount("/etc/hosts");
}

void NetNamespaceTest::resolvesAndOpensTheCallersPort_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QString>("resolvedUrl");
    QTest::addColumn<QString>("printerAddress");

    QTest::newRow("IPv4 with the raw port") << QByteArray("socket://127.0.0.2:9100") << "socket://127.0.0.2"
                                            << "127.0.0.2";
    QTest::newRow("IPv6 loopback") << QByteArray("socket://[::1]:9100") << "socket://[::1]"
                                   << "::1";
    QTest::newRow("name with both kinds") << QByteArray("socket://dualhost.test:9100") << "socket://127.0.0.4"
                                          << "127.0.0.4";
    QTest::newRow("name in capitals, ipp") << QByteArray("ipp://DualHost.test:631/ipp/print") << "socket://127.0.0.4"
                                           << "127.0.0.4";
    QTest::newRow("IPv6-only name") << QByteArray("socket://v6only.test") << "socket://[::1]"
                                    << "::1";
    QTest::newRow("IPv4-only name") << QByteArray("lpd://v4only.test/queue") << "socket://127.0.0.5"
                                    << "127.0.0.5";
}

void NetNamespaceTest::resolvesAndOpensTheCallersPort()
{
    QFETCH(QByteArray, url);
    QFETCH(QString, resolvedUrl);
    QFETCH(QString, printerAddress);

    TcpPeer printer(printerAddress, kPrinterPort);
    TcpPeer rawPort(printerAddress, 9100);
    QVERIFY(printer.isListening());
    QVERIFY(rawPort.isListening());
    QByteArray seen;
    std::atomic<bool> done { false };
    printer.start([&](PeerConnection& c) {
        seen = c.receive(8);
        c.send(QByteArray("STA\0A\0\0\0", 8));
        done = true;
        c.waitForClientClose(5000);
    });
    rawPort.start(nullptr);

    NetIO io;
    Printer_struct p = printerAt(url.constData());
    QCOMPARE(io.open(&p, kPrinterPort), 0);
    QCOMPARE(QString::fromStdString(io.resolved_url), resolvedUrl);
    QCOMPARE(QString::fromLatin1(io.getDeviceAddress()), printerAddress);
    char frame[] = "STUS\0\0\0\0";
    QCOMPARE(io.write(frame, 8), 8);
    char reply[8];
    QCOMPARE(io.read(reply, 8), 8);
    QCOMPARE(QByteArray(reply, 4), QByteArray("STA\0", 4));
    QCOMPARE(io.close(), 0);
    QTRY_VERIFY(done.load());
    QCOMPARE(seen, QByteArray("STUS\0\0\0\0", 8));
    QCOMPARE(printer.connections(), 1);
    QCOMPARE(rawPort.connections(), 0);
}

void NetNamespaceTest::ipAddressOfNames_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("address");

    QTest::newRow("both kinds") << "dualhost.test"
                                << "127.0.0.4";
    QTest::newRow("IPv6 only") << "v6only.test"
                               << "::1";
    QTest::newRow("IPv4 only") << "v4only.test"
                               << "127.0.0.5";
    QTest::newRow("localhost") << "localhost"
                               << "127.0.0.1";
    QTest::newRow("IPv4 literal") << "127.0.0.9"
                                  << "127.0.0.9";
    QTest::newRow("IPv6 literal") << "::1"
                                  << "::1";
    QTest::newRow("unknown") << "nosuch.test" << QString();
    QTest::newRow("empty") << QString() << QString();
}

void NetNamespaceTest::ipAddressOfNames()
{
    QFETCH(QString, host);
    QFETCH(QString, address);
    const QHostAddress found = get_ip_address(host);
    QCOMPARE(found.toString(), address);
    QCOMPARE(found.isNull(), address.isEmpty());
}

// A name that nothing resolves is no error until open, which then has no address to go to.
void NetNamespaceTest::unknownNameFailsAtOpen()
{
    TcpPeer anyPrinter(QStringLiteral("127.0.0.1"), kPrinterPort);
    anyPrinter.start(nullptr);
    NetIO io;
    QCOMPARE(io.resolveUrl("socket://nosuch.test:9100"), 0);
    QCOMPARE(io.resolved_url, std::string("socket://"));
    QCOMPARE(io.getDeviceAddress(), "");
    QCOMPARE(io.open(kPrinterPort), -1);
    QVERIFY(!io.device_is_open);
    QCOMPARE(anyPrinter.connections(), 0);
}

// One DeviceManager and one FingCmd-style sequence of open, exchange and close, alternating between
// two printers: every exchange reaches the printer of its URI.
void NetNamespaceTest::twoPrintersSideBySide()
{
    QList<QByteArray> seenBy[2];
    std::mutex mutex;
    auto makeScript = [&](int index, char status) {
        return [&, index, status](PeerConnection& c) {
            const QByteArray frame = c.receive(8);
            {
                std::lock_guard<std::mutex> lock(mutex);
                seenBy[index].append(frame);
            }
            c.send(QByteArray("STA\0A\0\0", 7) + status);
            c.waitForClientClose(5000);
        };
    };
    TcpPeer first(QStringLiteral("127.0.0.2"), kPrinterPort);
    TcpPeer second(QStringLiteral("127.0.0.3"), kPrinterPort);
    first.start(makeScript(0, '\x01'));
    second.start(makeScript(1, '\x02'));

    DeviceManager manager;
    Printer_struct printers[2] = { printerAt("socket://127.0.0.2:9100"), printerAt("socket://127.0.0.3") };
    for (int round = 0; round < 4; ++round) {
        const int which = round % 2;
        DeviceIO* io = manager.getDevice(&printers[which]);
        QCOMPARE(io->type(), 2);
        QCOMPARE(io->open(&printers[which], kPrinterPort), 0);
        char frame[8] = { 'S', 'T', 'U', 'S', 0, 0, 0, static_cast<char>(round) };
        QCOMPARE(io->write(frame, 8), 8);
        char reply[8];
        QCOMPARE(io->read(reply, 8), 8);
        QCOMPARE(int(reply[7]), which + 1);
        QCOMPARE(io->close(), 0);
    }
    QTRY_COMPARE(first.connections() + second.connections(), 4);
    std::lock_guard<std::mutex> lock(mutex);
    QCOMPARE(seenBy[0].size(), 2);
    QCOMPARE(seenBy[1].size(), 2);
    QCOMPARE(int(seenBy[0].at(1).at(7)), 2);
    QCOMPARE(int(seenBy[1].at(1).at(7)), 3);
}

void NetNamespaceTest::deviceIdOverSnmp_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QString>("agentAddress");
    QTest::newRow("IPv4") << QByteArray("socket://127.0.0.6:9100") << "127.0.0.6";
    QTest::newRow("IPv6") << QByteArray("socket://[::1]") << "::1";
    QTest::newRow("by name") << QByteArray("socket://v4only.test") << "127.0.0.5";
}

void NetNamespaceTest::deviceIdOverSnmp()
{
    QFETCH(QByteArray, url);
    QFETCH(QString, agentAddress);

    const QByteArray answer = answerOfSize(160);
    UdpPeer agent(agentAddress, kSnmpPort);
    QVERIFY(agent.isBound());
    agent.start([&](const QByteArray&) { return QList<QByteArray> { answer }; });

    NetIO io;
    Printer_struct printer = printerAt(url.constData());
    char id[256];
    memset(id, 0, sizeof(id));
    QCOMPARE(io.getDeviceId(&printer, id, sizeof(id)), 0);
    QCOMPARE(QByteArray(id), answer.mid(59, 100));
    memset(id, 0, sizeof(id));
    QCOMPARE(io.getDeviceId_without_open(id, sizeof(id)), 0);
    QCOMPARE(QByteArray(id), answer.mid(59, 100));
    QVERIFY(io.isConnected(&printer));
    QVERIFY(!io.device_is_open);
    QVERIFY(io.tcpSocket == nullptr); // no TCP connection was needed

    const QList<QByteArray> requests = agent.received();
    QCOMPARE(requests.size(), 3);
    for (const QByteArray& request : requests)
        QCOMPARE(request, snmpDeviceIdRequest());
}

// The query itself succeeds without an answer (0, buffer untouched), but a printer that never
// answers is not reported as connected.
void NetNamespaceTest::silentPrinterIsNotConnected()
{
    UdpPeer silent(QStringLiteral("127.0.0.7"), kSnmpPort);
    silent.start(nullptr);
    FakeClock clock;
    NetIO io;
    Printer_struct quiet = printerAt("socket://127.0.0.7");
    Printer_struct absent = printerAt("socket://127.0.0.8");
    for (Printer_struct* printer : { &quiet, &absent }) {
        char id[16];
        memset(id, '-', sizeof(id));
        QCOMPARE(io.getDeviceId(printer, id, sizeof(id)), 0);
        QCOMPARE(QByteArray(id, sizeof(id)), QByteArray(sizeof(id), '-'));
        QVERIFY(!io.isConnected(printer));
    }
    QCOMPARE(clock.sleeps().size(), 4 * 500);
    QVERIFY(silent.waitForRequests(2));

    // Nothing to ask when the name resolves to nothing.
    Printer_struct unknown = printerAt("socket://nosuch.test");
    clock.clear();
    QVERIFY(!io.isConnected(&unknown));
    char id[16] = {};
    QCOMPARE(io.getDeviceId(&unknown, id, sizeof(id)), -1);
    QVERIFY(clock.sleeps().isEmpty());
}

void NetNamespaceTest::fingerprintPortCountsAsAnswer_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("snmp");
    QTest::addColumn<bool>("fingerprintPort");
    QTest::addColumn<bool>("connected");

    QTest::newRow("SNMP filtered, fingerprint port open") << "127.0.0.10" << false << true << true;
    QTest::newRow("SNMP filtered, IPv6 fingerprint port open") << "::1" << false << true << true;
    QTest::newRow("both") << "127.0.0.11" << true << true << true;
    QTest::newRow("neither") << "127.0.0.12" << false << false << false;
}

// A printer whose SNMP is off or filtered is still reachable when its fingerprint port (10001)
// accepts a connection within the query's wait.
void NetNamespaceTest::fingerprintPortCountsAsAnswer()
{
    QFETCH(QString, address);
    QFETCH(bool, snmp);
    QFETCH(bool, fingerprintPort);
    QFETCH(bool, connected);

    UdpPeer agent(address, kSnmpPort);
    QVERIFY(agent.isBound());
    agent.start(
        [snmp](const QByteArray&) { return snmp ? QList<QByteArray> { answerOfSize(100) } : QList<QByteArray>(); });
    std::unique_ptr<TcpPeer> port;
    if (fingerprintPort) {
        port = std::make_unique<TcpPeer>(address, 10001);
        QVERIFY(port->isListening());
        port->start([](PeerConnection& c) { c.waitForClientClose(5000); });
    }
    FakeClock clock;
    NetIO io;
    const QByteArray uri = "socket://" + (address.contains(':') ? '[' + address.toLatin1() + ']' : address.toLatin1());
    Printer_struct printer = printerAt(uri.constData());
    QCOMPARE(io.isConnected(&printer), connected);
    QVERIFY(!io.device_is_open);
}

QTEST_GUILESS_MAIN(NetNamespaceTest)
#include "tst_net_namespace.moc"
