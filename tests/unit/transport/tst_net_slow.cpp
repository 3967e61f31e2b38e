// The two real waits of the network transport, each waited out once with its full length: a read
// that gets 5 of 8 bytes and then nothing, and a device-ID query that is never answered.

#include "NetPeers.h"
#include "StderrCapture.h"
#include "transport/NetIO.h"
#include "transport/SnmpDeviceId.h"

#include <QElapsedTimer>
#include <QtTest>

class NetSlowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readOfEightGetsFiveThenSilence();
    void unansweredQueryStillSucceeds();
};

void NetSlowTest::readOfEightGetsFiveThenSilence()
{
    TcpPeer peer;
    peer.start([](PeerConnection& c) {
        c.send("12345");
        c.waitForClientClose(60000);
    });
    NetIO io;
    QCOMPARE(io.resolveUrl("socket://127.0.0.1:9100"), 0);
    QCOMPARE(io.open(peer.port()), 0);

    char buffer[8];
    memset(buffer, '-', sizeof(buffer));
    QElapsedTimer timer;
    timer.start();
    StderrCapture err;
    QCOMPARE(io.read(buffer, 8), -1);
    const qint64 waited = timer.elapsed();
    QCOMPARE(err.lines(), QStringList { QStringLiteral("reading error:") });
    QCOMPARE(QByteArray(buffer, 8), QByteArray("12345---"));
    QVERIFY2(waited >= NetIO::kReadWaitMs - 100, qPrintable(QString::number(waited)));
    qInfo("read gave up after %lld ms", waited);
    QCOMPARE(io.close(), 0);
}

void NetSlowTest::unansweredQueryStillSucceeds()
{
    UdpPeer printer;
    printer.start(nullptr);
    char buffer[32];
    memset(buffer, '-', sizeof(buffer));
    QElapsedTimer timer;
    timer.start();
    bool answered = true;
    QCOMPARE(snmpQueryDeviceId(QHostAddress::LocalHost, printer.port(), buffer, sizeof(buffer), &answered), 0);
    const qint64 waited = timer.elapsed();
    QVERIFY(!answered);
    QCOMPARE(QByteArray(buffer, sizeof(buffer)), QByteArray(sizeof(buffer), '-'));
    QCOMPARE(printer.received().size(), 1);
    // 500 pauses of 10 ms, plus whatever each check costs.
    QVERIFY2(waited >= 5000, qPrintable(QString::number(waited)));
    qInfo("unanswered query took %lld ms", waited);
}

QTEST_GUILESS_MAIN(NetSlowTest)
#include "tst_net_slow.moc"
