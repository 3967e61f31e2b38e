// End to end: FingCmd's network exchanges (WriteDataViaNet, and DataTransfer with the import
// stream written after it) over the real NetIO against simulated network printers (fpsim net) in
// the test's own network namespace, with the printer's faults injected through its control socket.
// The library's own pauses run on a fake clock (recorded, not waited); the network waits are real.

#include "FakeClock.h"
#include "SimulatedPrinters.h"
#include "protocol/FingCmd.h"
#include "transport/NetIO.h"
#include "transport/SnmpDeviceId.h"

#include <QFile>
#include <QtTest>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr char kAddressA[] = "127.0.0.2";
constexpr char kAddressB[] = "127.0.0.3";
// The network waits of the exchanges that wait out a silent printer, shortened through NetIO's
// test seam (the full 30 s read wait has a slow test of its own).
constexpr int kShortReadWaitMs = 800;

// Injects `unplug` as a state rather than a fault of the next frame.
const QString kUnplugged = QStringLiteral("(unplugged)");

// The simulated printer applies "plug" and "unplug" a moment after confirming them: waits until
// its TCP port is in the wanted state.
bool waitForListening(const char* address, bool listening)
{
    for (int tries = 0; tries < 200; ++tries) {
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(10001);
        inet_pton(AF_INET, address, &addr.sin_addr);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
        ::close(fd);
        if (accepted == listening)
            return true;
        QTest::qWait(10);
    }
    return false;
}

QString namespaceOf(const char* path) { return QFile::symLinkTarget(QString::fromLatin1(path)); }

FG_FUNC_T fingRead()
{
    FG_FUNC_T frame = makeHeader<FG_FUNC_T>("FING");
    frame.mode = 'R';
    return frame;
}

QList<int> repeated(int count, int value) { return QList<int>(count, value); }

FG_DATAF_T record(const QByteArray& name, quint16 id)
{
    FG_DATAF_T r;
    memset(&r, 0, sizeof(r));
    memcpy(r.UserName, name.constData(), std::min<qsizetype>(name.size(), kNameSize));
    r.ID.set(id);
    for (int i = 0; i < kTemplateSize; ++i)
        r.feature[i] = static_cast<BYTE>((id * 31 + i) & 0xFF);
    return r;
}

} // namespace

class NetFpsimTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void writeDataViaNet_data();
    void writeDataViaNet();
    void resultRecordOfAVerification_data();
    void resultRecordOfAVerification();
    void importStream_data();
    void importStream();
    void importFaults_data();
    void importFaults();
    void twoPrintersSideBySide();
    void deviceIdAndConnectionTest();

private:
    // Binds cmd to printer A; with shortWaits, through a NetIO of its own with a short read wait.
    void bind(FingCmd& cmd, bool shortWaits, const char* address = kAddressA);
    bool inject(const QString& fault);

    fpsim::SimulatedNetPrinter m_a;
    fpsim::SimulatedNetPrinter m_b;
    std::unique_ptr<NetIO> m_shortWaitIO;
};

void NetFpsimTest::initTestCase()
{
    if (namespaceOf("/proc/self/ns/net") == namespaceOf("/proc/1/ns/net"))
        QSKIP("needs a private network namespace (tests/fixtures/in-namespace.sh)");
    QVERIFY2(m_a.start(QString::fromLatin1(kAddressA)), qPrintable(m_a.errorString()));
    QVERIFY2(m_b.start(QString::fromLatin1(kAddressB)), qPrintable(m_b.errorString()));
    QVERIFY(m_a.control().addUser("alice") != 0);
    QVERIFY(m_a.control().addUser("bob") != 0);
    QVERIFY(m_a.control().setState(1));
    QVERIFY(m_b.control().setState(0));
}

void NetFpsimTest::init()
{
    for (fpsim::SimulatedNetPrinter* p : { &m_a, &m_b }) {
        QVERIFY(p->control().clearFaults());
        QVERIFY(p->control().clearFrameLog());
        QVERIFY(p->control().pressNothing());
        QVERIFY(p->control().plug());
    }
    QVERIFY(waitForListening(kAddressA, true));
}

void NetFpsimTest::cleanup()
{
    m_shortWaitIO.reset();
    if (QTest::currentTestFailed()) {
        qWarning("printer A log:\n%s", qPrintable(m_a.control().frameLog().join(QLatin1Char('\n'))));
        qWarning("printer A output:\n%s", qPrintable(m_a.output()));
    }
}

void NetFpsimTest::bind(FingCmd& cmd, bool shortWaits, const char* address)
{
    QByteArray uri = QByteArray("socket://") + address;
    cmd.SetFingCmdPrinter(uri.data());
    if (!shortWaits)
        return;
    m_shortWaitIO = std::make_unique<NetIO>();
    NetIO::Waits waits;
    waits.readMs = kShortReadWaitMs;
    m_shortWaitIO->setWaits(waits);
    cmd.attachDeviceIO(m_shortWaitIO.get());
}

bool NetFpsimTest::inject(const QString& fault)
{
    if (fault.isEmpty())
        return true;
    if (fault == kUnplugged)
        return m_a.control().unplug() && waitForListening(kAddressA, false);
    return m_a.control().injectFault(fault);
}

void NetFpsimTest::writeDataViaNet_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("shortWaits");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("frames"); // "FING" frames the printer received
    QTest::addColumn<QList<int>>("pauses"); // the library's pauses, ms

    QTest::newRow("accepted") << QString() << false << 0 << 1 << QList<int> {};
    QTest::newRow("busy") << "busy code=FING count=0" << false << 4 << 1 << QList<int> {};
    QTest::newRow("refused") << "refuse code=FING count=0" << false << 5 << 1 << QList<int> {};
    QTest::newRow("not ready 3 times") << "notready=3 code=FING" << false << 0 << 1 << repeated(3, 100);
    // 22 'N' in a row: 21 pauses, then the attempt ends with 18 and the next one goes through.
    QTest::newRow("not-ready storm once") << "notready=22 code=FING" << false << 0 << 2 << repeated(21, 100);
    QTest::newRow("not-ready storm always")
        << "notready=30 code=FING count=0" << false << 18 << 5 << repeated(5 * 21, 100);
    QTest::newRow("malformed once") << "malformed code=FING" << true << 0 << 2 << QList<int> {};
    QTest::newRow("malformed always") << "malformed code=FING count=0" << true << 22 << 5 << QList<int> {};
    QTest::newRow("cut short once") << "short=5 code=FING" << true << 0 << 2 << QList<int> {};
    QTest::newRow("junk after the answer") << "oversize=32 code=FING count=0" << false << 0 << 1 << QList<int> {};
    QTest::newRow("dropped once") << "drop code=FING" << false << 0 << 2 << QList<int> {};
    QTest::newRow("dropped always") << "drop code=FING count=0" << false << 16 << 5 << QList<int> {};
    QTest::newRow("never answers") << "delay=600000 code=FING count=0" << true << 16 << 5 << QList<int> {};
    QTest::newRow("answers late, within the wait") << "delay=300 code=FING" << true << 0 << 1 << QList<int> {};
    QTest::newRow("nothing listens") << kUnplugged << false << 15 << 0 << repeated(5, 200);
}

void NetFpsimTest::writeDataViaNet()
{
    QFETCH(QString, fault);
    QFETCH(bool, shortWaits);
    QFETCH(int, result);
    QFETCH(int, frames);
    QFETCH(QList<int>, pauses);

    QVERIFY2(inject(fault), qPrintable(m_a.control().lastError()));
    FakeClock clock;
    FingCmd cmd;
    bind(cmd, shortWaits);
    FG_FUNC_T frame = fingRead();
    BYTE status = 0xEE;
    WORD length = 0xEEEE;
    QCOMPARE(cmd.WriteDataViaNet(reinterpret_cast<BYTE*>(&frame), sizeof(frame), nullptr, &length, &status, 0), result);
    QCOMPARE(clock.sleepsMs(), pauses);
    QCOMPARE(m_a.control().receivedCodes(), QStringList(frames, QStringLiteral("FING")));
    if (result == FM_OK) {
        QCOMPARE(int(status), 1); // printer A's authentication state
        QCOMPARE(int(length), 0);
    }
    QVERIFY(!cmd.m_pDeviceIO->device_is_open);
}

void NetFpsimTest::resultRecordOfAVerification_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("shortWaits");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("frames"); // "GETR" frames

    QTest::newRow("whole record") << QString() << false << 0 << 1;
    QTest::newRow("junk after it") << "oversize=16 code=GETR" << false << 0 << 1;
    QTest::newRow("cut short once") << "short=20 code=GETR" << true << 0 << 2;
    QTest::newRow("cut short always") << "short=20 code=GETR count=0" << true << 22 << 5;
    QTest::newRow("dropped once") << "drop code=GETR" << false << 0 << 2;
    QTest::newRow("not ready twice") << "notready=2 code=GETR" << true << 0 << 1;
}

// "DISC", a finger, "STUS" until it reports the match, then "GETR" with its 34-byte payload: the
// read of exactly 8 + 34 bytes.
void NetFpsimTest::resultRecordOfAVerification()
{
    QFETCH(QString, fault);
    QFETCH(bool, shortWaits);
    QFETCH(int, result);
    QFETCH(int, frames);

    FingCmd cmd;
    bind(cmd, false);
    BYTE status = 0;
    WORD length = 0;
    FG_DISC_T disc = makeHeader<FG_DISC_T>("DISC");
    QCOMPARE(cmd.WriteDataViaNet(reinterpret_cast<BYTE*>(&disc), sizeof(disc), nullptr, &length, &status, 0), 0);
    QVERIFY(m_a.control().pressFinger("bob"));
    bool finished = false;
    for (int poll = 0; poll < 50 && !finished; ++poll) {
        FG_STATUS_T stus = makeHeader<FG_STATUS_T>("STUS");
        status = 0;
        QCOMPARE(cmd.WriteDataViaNet(reinterpret_cast<BYTE*>(&stus), sizeof(stus), nullptr, &length, &status, 0), 0);
        finished = status != 0;
        if (!finished)
            QTest::qWait(100);
    }
    QVERIFY(finished);
    QCOMPARE(int(status), 1);

    QVERIFY2(inject(fault), qPrintable(m_a.control().lastError()));
    QVERIFY(m_a.control().clearFrameLog());
    bind(cmd, shortWaits);
    FakeClock clock;
    FG_GETRESULT_T getr = makeHeader<FG_GETRESULT_T>("GETR");
    FG_DATA_T data;
    memset(&data, 0xEE, sizeof(data));
    length = 0;
    const int got = cmd.WriteDataViaNet(
        reinterpret_cast<BYTE*>(&getr), sizeof(getr), reinterpret_cast<BYTE*>(&data), &length, &status, sizeof(data));
    // 'N' records before the answer must not swallow the start of the payload ("not ready twice").
    QCOMPARE(m_a.control().receivedCodes(), QStringList(frames, QStringLiteral("GETR")));
    QCOMPARE(got, result);
    if (result == FM_OK) {
        QCOMPARE(QByteArray(data.UserName), QByteArray("bob"));
        quint16 bobId = 0;
        for (const fpsim::ControlClient::User& u : m_a.control().users())
            if (u.name == "bob")
                bobId = u.id;
        QCOMPARE(data.ID.get(), bobId);
        QCOMPARE(int(length), int(sizeof(FG_DATA_T)));
    }
}

void NetFpsimTest::importStream_data()
{
    QTest::addColumn<int>("records");
    QTest::newRow("none") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("eight, two bulk pieces") << 8;
    QTest::newRow("a thousand, 546 kB") << 1000;
}

// "IMPT" through DataTransfer on a device Import opened itself, then the stream in pieces of 4096
// bytes on the same connection, then the outcome through "STUS".
void NetFpsimTest::importStream()
{
    QFETCH(int, records);

    QVERIFY(m_a.control().clearStore());
    QVERIFY(m_a.control().setCapacity(1000));
    QList<FG_DATAF_T> data;
    for (int i = 0; i < records; ++i)
        data.append(record(QByteArray("user") + QByteArray::number(i), static_cast<quint16>(i + 1)));

    FingCmd cmd;
    bind(cmd, false);
    QCOMPARE(cmd.Import(data.data(), records), 0);
    QVERIFY(!cmd.m_pDeviceIO->device_is_open);
    QCOMPARE(cmd.GetImportStatus(), 0);

    const QList<fpsim::ControlClient::User> users = m_a.control().users();
    QCOMPARE(users.size(), records);
    for (int i = 0; i < records; ++i)
        QVERIFY2(std::any_of(users.begin(), users.end(),
                     [&](const fpsim::ControlClient::User& u) { return u.name == data[i].UserName; }),
            data[i].UserName);
    // The store really holds the templates: save it and compare byte for byte.
    const QString saved = QDir::temp().filePath(QStringLiteral("net-import-check.fdl"));
    QVERIFY(m_a.control().saveStore(saved));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    QCOMPARE(stored.size(), records * kRecordSize);
    for (int i = 0; i < records; ++i) {
        const QByteArray expected(reinterpret_cast<const char*>(data[i].feature), kTemplateSize);
        bool found = false;
        for (int r = 0; r < records && !found; ++r)
            found = QByteArray(stored.constData() + r * kRecordSize, kNameSize).startsWith(data[i].UserName)
                && stored.mid(r * kRecordSize + 34, kTemplateSize) == expected;
        QVERIFY2(found, data[i].UserName);
    }
    QVERIFY(m_a.control().clearStore());
    QVERIFY(m_a.control().addUser("alice") != 0);
    QVERIFY(m_a.control().addUser("bob") != 0);
}

void NetFpsimTest::importFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("shortWaits");
    QTest::addColumn<int>("result");
    QTest::addColumn<QList<int>>("pauses");

    QTest::newRow("busy") << "busy code=IMPT" << false << 4 << QList<int> {};
    QTest::newRow("refused") << "refuse code=IMPT" << false << 5 << QList<int> {};
    QTest::newRow("not ready 3 times") << "notready=3 code=IMPT" << false << 0 << repeated(3, 100);
    QTest::newRow("not-ready storm") << "notready=22 code=IMPT" << false << 18 << repeated(21, 100);
    QTest::newRow("malformed") << "malformed code=IMPT" << false << 19 << QList<int> {};
    QTest::newRow("dropped") << "drop code=IMPT" << false << 16 << QList<int> {};
    QTest::newRow("never answers") << "delay=600000 code=IMPT" << true << 16 << QList<int> {};
    QTest::newRow("nothing listens") << kUnplugged << false << 15 << QList<int> {};
}

void NetFpsimTest::importFaults()
{
    QFETCH(QString, fault);
    QFETCH(bool, shortWaits);
    QFETCH(int, result);
    QFETCH(QList<int>, pauses);

    const int before = m_a.control().users().size();
    QVERIFY2(inject(fault), qPrintable(m_a.control().lastError()));
    FG_DATAF_T data[2] = { record("carol", 40), record("dave", 41) };
    FingCmd cmd;
    bind(cmd, shortWaits);
    {
        FakeClock clock;
        QCOMPARE(cmd.Import(data, 2), result);
        QCOMPARE(clock.sleepsMs(), pauses);
    }
    QVERIFY(!cmd.m_pDeviceIO->device_is_open);
    if (result == FM_OK) {
        QCOMPARE(cmd.GetImportStatus(), 0);
        QCOMPARE(m_a.control().users().size(), before + 2);
        QVERIFY(m_a.control().removeUser("carol"));
        QVERIFY(m_a.control().removeUser("dave"));
    } else {
        QCOMPARE(m_a.control().users().size(), before);
    }
}

// One FingCmd moved between two printers: each exchange reaches the printer of its URI.
void NetFpsimTest::twoPrintersSideBySide()
{
    FingCmd cmd;
    for (int round = 0; round < 4; ++round) {
        const bool toA = round % 2 == 0;
        bind(cmd, false, toA ? kAddressA : kAddressB);
        FG_FUNC_T frame = fingRead();
        BYTE status = 0xEE;
        WORD length = 0;
        QCOMPARE(cmd.WriteDataViaNet(reinterpret_cast<BYTE*>(&frame), sizeof(frame), nullptr, &length, &status, 0), 0);
        QCOMPARE(int(status), toA ? 1 : 0);
    }
    QCOMPARE(m_a.control().receivedCodes().size(), 2);
    QCOMPARE(m_b.control().receivedCodes().size(), 2);
}

// The SNMP agent of the simulated printer: the device-ID text lands whole in the caller's buffer,
// and a printer that is unplugged no longer counts as connected.
void NetFpsimTest::deviceIdAndConnectionTest()
{
    QStringList info;
    QVERIFY(m_a.control().command(QStringLiteral("info"), &info));
    QByteArray deviceId;
    for (const QString& line : info)
        if (line.startsWith(QLatin1String("deviceid=")))
            deviceId = line.mid(9).toUtf8();
    QVERIFY(deviceId.contains("MDL:"));

    NetIO io;
    Printer_struct printer {};
    qstrncpy(printer.deviceUri, "socket://127.0.0.2:9100", sizeof(printer.deviceUri));
    char buffer[1024];
    memset(buffer, 0, sizeof(buffer));
    QCOMPARE(io.getDeviceId(&printer, buffer, sizeof(buffer)), 0);
    QCOMPARE(QByteArray(buffer), deviceId);
    QVERIFY(io.isConnected(&printer));
    QCOMPARE(io.getDeviceAddress(&printer), "127.0.0.2");

    // A buffer one byte too small for the text is left alone.
    QByteArray small(deviceId.size() - 1, '-');
    QCOMPARE(io.getDeviceId(small.data(), small.size()), 0);
    QCOMPARE(small, QByteArray(deviceId.size() - 1, '-'));

    QVERIFY(m_a.control().unplug());
    QVERIFY(waitForListening(kAddressA, false));
    FakeClock clock; // the unanswered poll is not waited out
    QVERIFY(!io.isConnected(&printer));
    QCOMPARE(clock.sleeps().size(), kSnmpPolls);
}

QTEST_GUILESS_MAIN(NetFpsimTest)
#include "tst_net_fpsim.moc"
