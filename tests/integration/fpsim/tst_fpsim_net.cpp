// Two simulated network printers side by side, talked to with plain sockets.

#include "Frames.h"
#include "SimulatedPrinters.h"

#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

using fpsim::SimulatedNetPrinter;

namespace
{

// Everything the printer sends within `quietMs` of silence after writing `frame`, or until the
// connection closes. `closed` tells whether the printer closed it.
QByteArray exchange(QTcpSocket& s, const QByteArray& frame, int want, int quietMs = 1500, bool* closed = nullptr)
{
    if (!frame.isEmpty()) {
        s.write(frame);
        s.waitForBytesWritten(2000);
    }
    QByteArray got;
    while (got.size() < want) {
        if (!s.waitForReadyRead(quietMs))
            break;
        got += s.readAll();
    }
    got += s.readAll();
    if (closed)
        *closed = s.state() != QAbstractSocket::ConnectedState;
    return got;
}

QByteArray oneExchange(const QString& address, const QByteArray& frame, int want = 8)
{
    QTcpSocket s;
    s.connectToHost(address, 10001);
    if (!s.waitForConnected(3000))
        return QByteArray("no connection");
    return exchange(s, frame, want);
}

const QByteArray kSnmpRequest = QByteArray::fromHex(
    "302d02010004066d627a6c7174a02002010402010002010030153013060f2b06010401950b01020102010103010500");

QByteArray snmpQuery(const QString& address)
{
    QUdpSocket u;
    u.connectToHost(QHostAddress(address), 161);
    if (!u.waitForConnected(2000) || u.write(kSnmpRequest) != kSnmpRequest.size())
        return QByteArray();
    if (!u.waitForReadyRead(3000))
        return QByteArray();
    return u.receiveDatagram().data();
}

} // namespace

class TestFpsimNet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void commandsSideBySide_data();
    void commandsSideBySide();
    void snmpDeviceId();
    void verificationWithScriptedFinger();
    void importOnOneConnectionThenExport();
    void faultsOverTcp_data();
    void faultsOverTcp();
    void cutFrameIsRefused();
    void unplugAndPlug();
    void automaticFinger();

private:
    SimulatedNetPrinter m_a;
    SimulatedNetPrinter m_b;
};

void TestFpsimNet::initTestCase()
{
    QVERIFY2(m_a.start(QStringLiteral("127.0.0.2")), qPrintable(m_a.errorString()));
    QVERIFY2(m_b.start(QStringLiteral("127.0.0.3"), { QStringLiteral("--model"), QStringLiteral("ZPH6100RMX Other") }),
        qPrintable(m_b.errorString()));
}

void TestFpsimNet::cleanupTestCase()
{
    m_a.stop();
    m_b.stop();
}

void TestFpsimNet::init()
{
    for (SimulatedNetPrinter* p : { &m_a, &m_b }) {
        QVERIFY(p->control().clearStore());
        QVERIFY(p->control().clearFaults());
        QVERIFY(p->control().pressNothing());
        QVERIFY(p->control().setState(0));
        QVERIFY(p->control().setAutoFinger(false));
        QVERIFY(p->control().plug());
        QVERIFY(p->control().clearFrameLog());
    }
    QVERIFY(m_a.control().addUser("alice"));
    QVERIFY(m_b.control().addUser("bob"));
}

void TestFpsimNet::commandsSideBySide_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("answerA");
    QTest::addColumn<QByteArray>("answerB");

    QTest::newRow("FING read") << Frames::header("FING", 'R') << Frames::statusRecord('A', 0, 0)
                               << Frames::statusRecord('A', 0, 0);
    QTest::newRow("CHCK alice") << Frames::header("CHCK", 5) + "alice" << Frames::statusRecord('A', 0, 1)
                                << Frames::statusRecord('A', 0, 0);
    QTest::newRow("DELE bob") << Frames::header("DELE", 3) + "bob" << Frames::statusRecord('E', 0, 0)
                              << Frames::statusRecord('A', 0, 0);
    QTest::newRow("unknown code") << Frames::header("HELO") << Frames::statusRecord('E', 0, 0)
                                  << Frames::statusRecord('E', 0, 0);
}

void TestFpsimNet::commandsSideBySide()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, answerA);
    QFETCH(QByteArray, answerB);
    QCOMPARE(oneExchange(m_a.address(), frame), answerA);
    QCOMPARE(oneExchange(m_b.address(), frame), answerB);
    QCOMPARE(m_a.control().receivedCodes(), QStringList { QString::fromLatin1(frame.left(4)) });
    // Switching one printer on leaves the other off.
    QCOMPARE(oneExchange(m_a.address(), Frames::header("FING", 'W', 0, 0, 1)), Frames::statusRecord('A', 0, 1));
    QCOMPARE(m_a.control().state(), 1);
    QCOMPARE(m_b.control().state(), 0);
}

void TestFpsimNet::snmpDeviceId()
{
    const QByteArray a = snmpQuery(m_a.address());
    const QByteArray b = snmpQuery(m_b.address());
    QVERIFY(a.size() > 60 && b.size() > 60);
    QCOMPARE(quint8(a[0]), quint8(0x30));
    // The host reads (length - 60) bytes at offset 59.
    const QByteArray idA = a.mid(59, a.size() - 60);
    const QByteArray idB = b.mid(59, b.size() - 60);
    QVERIFY2(idA.contains("MDL:ZPH6100RMX;"), idA.constData());
    QVERIFY2(idB.contains("MDL:ZPH6100RMX Other;"), idB.constData());
    QVERIFY(idA.startsWith("MFG:"));
    // A datagram that is not a GetRequest gets no answer.
    QUdpSocket u;
    u.connectToHost(QHostAddress(m_a.address()), 161);
    QVERIFY(u.waitForConnected(2000));
    u.write("garbage");
    QVERIFY(!u.waitForReadyRead(300));
}

void TestFpsimNet::verificationWithScriptedFinger()
{
    QCOMPARE(oneExchange(m_a.address(), Frames::header("DISC")), Frames::statusRecord('A', 0, 0));
    QCOMPARE(oneExchange(m_a.address(), Frames::header("STUS")), Frames::statusRecord('A', 0, 0));
    QVERIFY(m_a.control().pressFinger("alice"));
    QCOMPARE(oneExchange(m_a.address(), Frames::header("STUS")), Frames::statusRecord('A', 0, 1));
    const QByteArray getr = oneExchange(m_a.address(), Frames::header("GETR"), 42);
    QCOMPARE(getr.size(), 42);
    QCOMPARE(getr.left(8), Frames::statusRecord('A', 34, 1));
    QCOMPARE(getr.mid(8, 6), QByteArray("alice\0", 6));
    // Pressing an unknown finger at the next wait fails the next verification.
    QVERIFY(m_a.control().pressUnknownFingerAtNextWait(0));
    QCOMPARE(oneExchange(m_a.address(), Frames::header("DISC")), Frames::statusRecord('A', 0, 0));
    QTRY_COMPARE(oneExchange(m_a.address(), Frames::header("STUS")), Frames::statusRecord('A', 0, 2));
}

void TestFpsimNet::importOnOneConnectionThenExport()
{
    QByteArray stream = Frames::header("IMPT", 0, 0, 2, 0);
    for (const char* name : { "carol", "alice" }) {
        QByteArray rec(546, '\0');
        memcpy(rec.data(), name, strlen(name));
        rec[32] = 7;
        rec.replace(34, 512, QByteArray(512, name[0]));
        stream += rec;
    }
    {
        QTcpSocket s;
        s.connectToHost(m_a.address(), 10001);
        QVERIFY(s.waitForConnected(3000));
        QCOMPARE(exchange(s, Frames::header("IMPT", 0, 0, 2, 0), 8), Frames::statusRecord('A', 0, 0));
        for (int off = 0; off < stream.size(); off += 700)
            s.write(stream.mid(off, 700));
        QVERIFY(s.waitForBytesWritten(2000));
    }
    QTRY_COMPARE(oneExchange(m_a.address(), Frames::header("STUS")), Frames::statusRecord('A', 0, 1));
    const auto users = m_a.control().users();
    QCOMPARE(users.size(), 2);
    QCOMPARE(users[0].name, QByteArray("alice"));
    QCOMPARE(users[1].name, QByteArray("carol"));
    QCOMPARE(users[1].id, quint16(7));

    QTcpSocket s;
    s.connectToHost(m_a.address(), 10001);
    QVERIFY(s.waitForConnected(3000));
    const QByteArray all = exchange(s, Frames::header("EXPT"), 8 + 8 + 2 * 546, 3000);
    QCOMPARE(all.left(8), Frames::statusRecord('A', 2, 0));
    QCOMPARE(all.mid(8, 8), QByteArray("EXPTA\x02\0\0", 8));
    QCOMPARE(all.size(), 16 + 2 * 546);
    QCOMPARE(all.mid(16 + 546 + 34, 512), QByteArray(512, 'c'));
}

void TestFpsimNet::faultsOverTcp_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("closed");

    QTest::newRow("busy") << "busy" << Frames::statusRecord('B', 0, 0) << false;
    QTest::newRow("not ready twice") << "notready=2"
                                     << Frames::statusRecord('N', 0, 0) + Frames::statusRecord('N', 0, 0)
            + Frames::statusRecord('A', 0, 0)
                                     << false;
    QTest::newRow("progress first") << "progress" << QByteArray("\x1c-") + Frames::statusRecord('A', 0, 0) << false;
    QTest::newRow("malformed") << "malformed" << QByteArray("STAXA\0\0\0", 8) << false;
    QTest::newRow("short") << "short=3" << QByteArray("STA") << false;
    QTest::newRow("oversize") << "oversize=2" << Frames::statusRecord('A', 0, 0) + "ZZ" << false;
    QTest::newRow("delay") << "delay=300" << Frames::statusRecord('A', 0, 0) << false;
    QTest::newRow("drop") << "drop" << QByteArray() << true;
}

void TestFpsimNet::faultsOverTcp()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, expected);
    QFETCH(bool, closed);
    QVERIFY(m_b.control().injectFault(fault + QStringLiteral(" code=STUS")));
    QTcpSocket s;
    s.connectToHost(m_b.address(), 10001);
    QVERIFY(s.waitForConnected(3000));
    QElapsedTimer t;
    t.start();
    bool wasClosed = false;
    QCOMPARE(exchange(s, Frames::header("STUS"), expected.size() + 1, 800, &wasClosed), expected);
    QCOMPARE(wasClosed, closed);
    if (fault.startsWith(QLatin1String("delay")))
        QVERIFY(t.elapsed() >= 300);
    // The other printer never saw any of it.
    QCOMPARE(m_a.control().receivedCodes(), QStringList {});
}

void TestFpsimNet::cutFrameIsRefused()
{
    QTcpSocket s;
    s.connectToHost(m_a.address(), 10001);
    QVERIFY(s.waitForConnected(3000));
    // Says 5 name bytes, sends 2, then waits: the printer refuses what it got.
    QCOMPARE(exchange(s, Frames::header("DELE", 5) + "al", 8, 2000), Frames::statusRecord('E', 0, 0));
    QCOMPARE(m_a.control().users().size(), 1);
    QVERIFY(m_a.control().frameLog().last().contains(QLatin1String("cut short")));
}

void TestFpsimNet::unplugAndPlug()
{
    QVERIFY(m_a.control().unplug());
    QTcpSocket s;
    s.connectToHost(m_a.address(), 10001);
    QVERIFY(!s.waitForConnected(1000) || !s.waitForReadyRead(500));
    QVERIFY(snmpQuery(m_a.address()).isEmpty());
    QCOMPARE(oneExchange(m_b.address(), Frames::header("FING", 'R')), Frames::statusRecord('A', 0, 0));
    QVERIFY(m_a.control().plug());
    QTRY_COMPARE(oneExchange(m_a.address(), Frames::header("FING", 'R')), Frames::statusRecord('A', 0, 0));
}

void TestFpsimNet::automaticFinger()
{
    SimulatedNetPrinter c;
    QVERIFY2(c.start(QStringLiteral("127.0.0.4"), { "--auto-finger", "--auto-finger-delay", "100-200" }),
        qPrintable(c.errorString()));
    QVERIFY(c.control().addUser("dora"));
    QCOMPARE(oneExchange(c.address(), Frames::header("DISC")), Frames::statusRecord('A', 0, 0));
    QTRY_COMPARE_WITH_TIMEOUT(oneExchange(c.address(), Frames::header("STUS")), Frames::statusRecord('A', 0, 1), 3000);
    QCOMPARE(oneExchange(c.address(), Frames::header("GETR"), 42).mid(8, 5), QByteArray("dora\0", 5));
}

QTEST_GUILESS_MAIN(TestFpsimNet)
#include "tst_fpsim_net.moc"
