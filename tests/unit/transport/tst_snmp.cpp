// The SNMP device-ID query against an in-test UDP responder on 127.0.0.1: the datagram on the
// wire, the pick of the device ID out of answers of every size, and the poll when no answer comes.

#include "FakeClock.h"
#include "NetPeers.h"
#include "transport/SnmpDeviceId.h"

#include <QtTest>

namespace
{

constexpr int kGuard = 32;
constexpr char kFill = '\xAA';

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 13 + 1) % 253);
    return bytes;
}

// The request as the printer's documentation lays it out, byte by byte.
const QByteArray kExpectedRequest = QByteArray::fromHex("302d"
                                                        "020100"
                                                        "04066d627a6c7174"
                                                        "a020"
                                                        "020104"
                                                        "020100"
                                                        "020100"
                                                        "3015"
                                                        "3013"
                                                        "060f2b06010401950b0102010201010301"
                                                        "0500");

// Reads one BER length at bytes[*pos] (short or long form) and moves past it.
int berLength(const QByteArray& bytes, int* pos)
{
    const int first = static_cast<unsigned char>(bytes.at((*pos)++));
    if (first < 0x80)
        return first;
    int length = 0;
    for (int i = 0; i < (first & 0x7F); ++i)
        length = (length << 8) | static_cast<unsigned char>(bytes.at((*pos)++));
    return length;
}

// Reads a length at bytes[*pos]; true when it counts exactly the bytes after it.
bool enclosesTheRest(const QByteArray& bytes, int* pos)
{
    const int length = berLength(bytes, pos);
    return length == bytes.size() - *pos;
}

} // namespace

class SnmpTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestIsWellFormedBer();
    void copyRule_data();
    void copyRule();
    void query_data();
    void query();
    void noAnswerPollsAboutFiveSeconds_data();
    void noAnswerPollsAboutFiveSeconds();
    void nothingToAsk();
};

// Every length in the request matches what it encloses, and the OID is the one of the device ID.
void SnmpTest::requestIsWellFormedBer()
{
    const QByteArray request = snmpDeviceIdRequest();
    QCOMPARE(request.size(), 47);
    QCOMPARE(request, kExpectedRequest);

    int pos = 0;
    QCOMPARE(request.at(pos++), '\x30');
    QVERIFY(enclosesTheRest(request, &pos));
    QCOMPARE(request.mid(pos, 3), QByteArray::fromHex("020100")); // version-1 is 0
    pos += 3;
    QCOMPARE(request.at(pos++), '\x04');
    const int communityLength = berLength(request, &pos);
    QCOMPARE(request.mid(pos, communityLength), QByteArray("mbzlqt"));
    pos += communityLength;
    QCOMPARE(request.at(pos++), '\xA0');
    QVERIFY(enclosesTheRest(request, &pos));
    pos += 9; // request-id, error-status, error-index
    QCOMPARE(request.at(pos++), '\x30');
    QVERIFY(enclosesTheRest(request, &pos));
    QCOMPARE(request.at(pos++), '\x30');
    QVERIFY(enclosesTheRest(request, &pos));
    QCOMPARE(request.at(pos++), '\x06');
    const int oidLength = berLength(request, &pos);
    // 1.3.6.1.4.1.2699.1.2.1.2.1.1.3.1: 2699 takes two base-128 digits (0x95 0x0B).
    QList<int> arcs { 1, 3 };
    int arc = 0;
    for (int i = 1; i < oidLength; ++i) {
        const int b = static_cast<unsigned char>(request.at(pos + i));
        arc = (arc << 7) | (b & 0x7F);
        if (!(b & 0x80)) {
            arcs.append(arc);
            arc = 0;
        }
    }
    QCOMPARE(request.at(pos), '\x2B');
    QCOMPARE(arcs, (QList<int> { 1, 3, 6, 1, 4, 1, 2699, 1, 2, 1, 2, 1, 1, 3, 1 }));
    pos += oidLength;
    QCOMPARE(request.mid(pos), QByteArray::fromHex("0500"));
}

void SnmpTest::copyRule_data()
{
    QTest::addColumn<int>("replySize");
    QTest::addColumn<int>("bufsize");
    QTest::addColumn<int>("copied");

    QTest::newRow("no answer") << 0 << 1024 << 0;
    QTest::newRow("1 byte") << 1 << 1024 << 0;
    QTest::newRow("47 bytes") << 47 << 1024 << 0;
    QTest::newRow("60 bytes") << 60 << 1024 << 0;
    QTest::newRow("61 bytes") << 61 << 1024 << 1;
    QTest::newRow("61 bytes, 1-byte buffer") << 61 << 1 << 1;
    QTest::newRow("200 bytes, exact buffer") << 200 << 140 << 140;
    QTest::newRow("200 bytes, buffer one short") << 200 << 139 << 0;
    QTest::newRow("200 bytes, no buffer") << 200 << 0 << 0;
    QTest::newRow("200 bytes, negative size") << 200 << -4 << 0;
    QTest::newRow("1084 bytes into 1024") << 1084 << 1024 << 1024;
    QTest::newRow("65507 bytes into 1024") << 65507 << 1024 << 0;
}

void SnmpTest::copyRule()
{
    QFETCH(int, replySize);
    QFETCH(int, bufsize);
    QFETCH(int, copied);

    const QByteArray reply = pattern(replySize);
    // An exactly sized heap buffer between guards: any write past it shows.
    const int size = std::max(bufsize, 0);
    QByteArray memory(size + 2 * kGuard, kFill);
    char* buffer = memory.data() + kGuard;

    QCOMPARE(copySnmpDeviceId(reply, buffer, bufsize), copied);
    QCOMPARE(memory.left(kGuard), QByteArray(kGuard, kFill));
    QCOMPARE(memory.right(kGuard), QByteArray(kGuard, kFill));
    const QByteArray inBuffer = memory.mid(kGuard, size);
    QCOMPARE(inBuffer.left(copied), reply.mid(59, copied));
    if (copied > 0 && copied < size) {
        QCOMPARE(inBuffer.at(copied), '\0');
        QCOMPARE(inBuffer.mid(copied + 1), QByteArray(size - copied - 1, kFill));
    } else if (copied == 0) {
        QCOMPARE(inBuffer, QByteArray(size, kFill));
    }
}

void SnmpTest::query_data()
{
    QTest::addColumn<QList<QByteArray>>("answer");
    QTest::addColumn<int>("bufsize");
    QTest::addColumn<QByteArray>("expected"); // what must be in the buffer's first bytes

    const QByteArray big = pattern(300);
    QTest::newRow("60-byte answer") << QList<QByteArray> { pattern(60) } << 512 << QByteArray();
    QTest::newRow("empty datagram") << QList<QByteArray> { QByteArray() } << 512 << QByteArray();
    QTest::newRow("device ID") << QList<QByteArray> { big } << 512 << big.mid(59, 240);
    QTest::newRow("answer too big for the buffer") << QList<QByteArray> { big } << 239 << QByteArray();
    QTest::newRow("two datagrams joined")
        << QList<QByteArray> { pattern(40), pattern(45) } << 512 << (pattern(40) + pattern(45)).mid(59, 25);
    QTest::newRow("largest datagram") << QList<QByteArray> { pattern(65507) } << 1024 << QByteArray();
    // At most 64 datagrams are joined: 64 x 100 bytes give 6340 bytes of ID.
    QTest::newRow("flood") << QList<QByteArray>(100, pattern(100)) << 8192
                           << QByteArray(pattern(100).repeated(64)).mid(59, 6340);
}

void SnmpTest::query()
{
    QFETCH(QList<QByteArray>, answer);
    QFETCH(int, bufsize);
    QFETCH(QByteArray, expected);

    // The printer answers a little later with all its datagrams at once; the query's first pause
    // lasts until they are all queued, so that the query sees exactly them.
    UdpPeer printer;
    QVERIFY(printer.isBound());
    printer.start([&](const QByteArray&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return answer;
    });
    FakeClock clock;
    clock.onSleep = [&](int) { printer.waitForAnswers(1); };

    QByteArray memory(bufsize + 2 * kGuard, kFill);
    char* buffer = memory.data() + kGuard;
    bool answered = false;
    QCOMPARE(snmpQueryDeviceId(QHostAddress::LocalHost, printer.port(), buffer, bufsize, &answered), 0);
    QVERIFY(answered);
    QCOMPARE(clock.sleeps().size(), 1);

    QCOMPARE(printer.received(), QList<QByteArray> { kExpectedRequest });
    QCOMPARE(memory.left(kGuard), QByteArray(kGuard, kFill));
    QCOMPARE(memory.right(kGuard), QByteArray(kGuard, kFill));
    const QByteArray inBuffer = memory.mid(kGuard, bufsize);
    if (expected.isEmpty()) {
        QCOMPARE(inBuffer, QByteArray(bufsize, kFill));
    } else {
        QCOMPARE(inBuffer.left(expected.size()), expected);
        QCOMPARE(inBuffer.at(expected.size()), '\0');
    }
}

// No answer still gives 0 after the whole poll; the buffer stays as it was. The fake clock makes
// the 500 pauses of 10 ms instant (the real wait has a slow test of its own).
void SnmpTest::noAnswerPollsAboutFiveSeconds_data()
{
    QTest::addColumn<bool>("listening");
    QTest::newRow("silent printer") << true;
    QTest::newRow("port closed") << false; // the ICMP refusal is not an answer either
}

void SnmpTest::noAnswerPollsAboutFiveSeconds()
{
    QFETCH(bool, listening);

    quint16 port;
    std::unique_ptr<UdpPeer> printer(new UdpPeer);
    port = printer->port();
    if (listening)
        printer->start(nullptr);
    else
        printer.reset();

    FakeClock clock;
    char buffer[64];
    memset(buffer, kFill, sizeof(buffer));
    bool answered = true;
    QCOMPARE(snmpQueryDeviceId(QHostAddress::LocalHost, port, buffer, sizeof(buffer), &answered), 0);
    QVERIFY(!answered);
    QCOMPARE(QByteArray(buffer, sizeof(buffer)), QByteArray(sizeof(buffer), kFill));
    QCOMPARE(clock.sleeps(), QList<int64_t>(500, 10000));
    if (listening) {
        QVERIFY(printer->waitForRequests(1));
        QCOMPARE(printer->received(), QList<QByteArray> { kExpectedRequest });
    }
}

void SnmpTest::nothingToAsk()
{
    FakeClock clock;
    char buffer[8] = {};
    bool answered = true;
    QCOMPARE(snmpQueryDeviceId(QHostAddress(), 161, buffer, sizeof(buffer), &answered), -1);
    QVERIFY(!answered);
    QCOMPARE(_platform_net_get_device_id("socket://", buffer, sizeof(buffer)), -1);
    QCOMPARE(_platform_net_get_device_id("/bare/path", buffer, sizeof(buffer)), -1);
    QCOMPARE(_platform_net_get_device_id(nullptr, buffer, sizeof(buffer)), -1);
    QVERIFY(clock.sleeps().isEmpty());
    QCOMPARE(QByteArray(buffer, 8), QByteArray(8, '\0'));
}

QTEST_GUILESS_MAIN(SnmpTest)
#include "tst_snmp.moc"
