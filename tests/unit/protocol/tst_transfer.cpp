// The command exchanges of FingCmd against a scripted printer: results, the exact schedule of
// sleeps and attempts under the fake clock, and what reaches the caller's buffers.

#include "FakeClock.h"
#include "ScriptedDeviceIO.h"
#include "StderrCapture.h"
#include "protocol/FingCmd.h"

#include <QtTest>

namespace
{

enum Routine { ViaUsb, ViaNet, Transfer, TransferForPrint };

// Queues a script of replies: tokens separated by blanks, each optionally repeated with *n.
//   A[:status[:length]]  accepted        N  not ready       B  busy     X  refused ('X')
//   P  progress packet   F  failed read  E  empty read (0 bytes)
//   M  nothing but the empty-buffer marker                  G  8 bytes that are no status record
//   S  "STA" followed by 0x01 (no status record)
void queueScript(ScriptedDeviceIO& io, const QString& script)
{
    const QStringList tokens = script.split(' ', Qt::SkipEmptyParts);
    for (const QString& token : tokens) {
        const QStringList rep = token.split('*');
        const int times = rep.size() > 1 ? rep[1].toInt() : 1;
        const QStringList parts = rep[0].split(':');
        const QChar kind = parts[0].at(0);
        for (int i = 0; i < times; ++i) {
            switch (kind.toLatin1()) {
            case 'A':
                io.queueStatus(
                    'A', parts.size() > 2 ? parts[2].toUShort() : 0, parts.size() > 1 ? parts[1].toUShort() : 0);
                break;
            case 'N':
            case 'B':
            case 'X':
                io.queueStatus(kind.toLatin1());
                break;
            case 'P':
                io.queueProgress();
                break;
            case 'F':
                io.queueReadFailure();
                break;
            case 'E':
                io.queueRead(QByteArray());
                break;
            case 'M':
                io.queueRead(QByteArray(1, char(0xFE)));
                break;
            case 'G':
                io.queueRead(QByteArray("GARBAGE!", 8));
                break;
            case 'S':
                io.queueRead(QByteArray("STA\x01"
                                        "A\0\0\0",
                    8));
                break;
            default:
                qFatal("bad script token");
            }
        }
    }
}

QList<int> repeated(int value, int times) { return QList<int>(times, value); }

int runRoutine(
    FingCmd& cmd, Routine routine, BYTE* frame, DWORD size, BYTE* out, WORD* len, BYTE* status, WORD cbOutput)
{
    switch (routine) {
    case ViaUsb:
        return cmd.WriteDataViaUSB(frame, size, out, len, status, cbOutput);
    case ViaNet:
        return cmd.WriteDataViaNet(frame, size, out, len, status, cbOutput);
    case Transfer:
        return cmd.DataTransfer(frame, size, out, len, status, cbOutput);
    case TransferForPrint:
        return cmd.DataTransferForPrint(frame, size, out, len, status, cbOutput);
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(Routine)

class TransferTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcomes_data();
    void outcomes();
    void acceptedReplyFillsCallerFields();
    void refusalOverNetworkStoresStatus();
    void shortPayload_data();
    void shortPayload();
    void dataTransferAsksNetworkForStatusRecordOnly();
    void notReadyBeforePayloadOverNetwork();
    void cancelChecks_data();
    void cancelChecks();
    void cancelDuringUsbReadEndsAfterOnePause();
    void cancelDuringPrintTransfer();
    void longReplyPhase_data();
    void longReplyPhase();
    void bulkRoutines();
    void cancelPrintWithTrans();
    void diagnosticLines();
};

void TransferTest::outcomes_data()
{
    QTest::addColumn<Routine>("routine");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("failOpens");
    QTest::addColumn<int>("failWrites");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QList<int>>("sleepsMs");
    QTest::addColumn<int>("framesWritten");

    // DataTransfer: no retries; every wait is 100 ms.
    QTest::newRow("transfer accepted") << Transfer << "A" << 0 << 0 << 0 << QList<int>() << 1;
    QTest::newRow("transfer not ready 22 times") << Transfer << "N*22" << 0 << 0 << 18 << repeated(100, 21) << 1;
    QTest::newRow("transfer not ready 21 times then accepted")
        << Transfer << "N*21 A" << 0 << 0 << 0 << repeated(100, 21) << 1;
    QTest::newRow("transfer progress then accepted") << Transfer << "P A" << 0 << 0 << 0 << QList<int> { 100 } << 1;
    QTest::newRow("transfer progress and not ready share the waits")
        << Transfer << "P*11 N*11" << 0 << 0 << 18 << repeated(100, 21) << 1;
    QTest::newRow("transfer no status record") << Transfer << "G" << 0 << 0 << 19 << QList<int>() << 1;
    QTest::newRow("transfer STA with nonzero fourth byte") << Transfer << "S" << 0 << 0 << 19 << QList<int>() << 1;
    QTest::newRow("transfer busy") << Transfer << "B" << 0 << 0 << 4 << QList<int>() << 1;
    QTest::newRow("transfer refused") << Transfer << "X" << 0 << 0 << 5 << QList<int>() << 1;
    QTest::newRow("transfer empty read") << Transfer << "E" << 0 << 0 << 16 << QList<int>() << 1;
    QTest::newRow("transfer marker only") << Transfer << "M" << 0 << 0 << 16 << QList<int>() << 1;
    QTest::newRow("transfer silent printer") << Transfer << "F" << 0 << 0 << 16 << QList<int>() << 1;
    QTest::newRow("transfer not ready then silent") << Transfer << "N F" << 0 << 0 << 10 << QList<int> { 100 } << 1;
    QTest::newRow("transfer write fails") << Transfer << "A" << 0 << 1 << 17 << QList<int>() << 0;

    // WriteDataViaUSB: up to five attempts 200 ms apart; 'N' waits 200 ms.
    QTest::newRow("usb accepted") << ViaUsb << "A" << 0 << 0 << 0 << QList<int>() << 1;
    QTest::newRow("usb busy forever") << ViaUsb << "B*5" << 0 << 0 << 4 << repeated(200, 4) << 5;
    QTest::newRow("usb busy once then accepted") << ViaUsb << "B A" << 0 << 0 << 0 << QList<int> { 200 } << 2;
    QTest::newRow("usb no status record five times") << ViaUsb << "G*5" << 0 << 0 << 19 << repeated(200, 4) << 5;
    QTest::newRow("usb not ready then accepted") << ViaUsb << "N N A" << 0 << 0 << 0 << repeated(200, 2) << 1;
    QTest::newRow("usb progress waits 100 ms") << ViaUsb << "P A" << 0 << 0 << 0 << QList<int> { 100 } << 1;
    QTest::newRow("usb not ready 22 times then accepted")
        << ViaUsb << "N*22 A" << 0 << 0 << 0 << repeated(200, 21) + QList<int> { 200 } << 2;
    QTest::newRow("usb open fails five times") << ViaUsb << "" << 5 << 0 << 15 << repeated(200, 4) << 0;
    QTest::newRow("usb open fails twice") << ViaUsb << "A" << 2 << 0 << 0 << repeated(200, 2) << 1;
    QTest::newRow("usb write fails five times") << ViaUsb << "" << 0 << 5 << 17 << repeated(200, 4) << 0;
    QTest::newRow("usb silent printer") << ViaUsb << "" << 0 << 0 << 16 << repeated(200, 4) << 5;
    QTest::newRow("usb not ready then silent")
        << ViaUsb << "N F*5" << 0 << 0 << 16 << QList<int> { 200 } + repeated(200, 4) << 5;
    QTest::newRow("usb silent once then accepted") << ViaUsb << "F A" << 0 << 0 << 0 << QList<int> { 200 } << 2;

    // WriteDataViaNet: port 10001, up to five attempts.
    QTest::newRow("net accepted") << ViaNet << "A" << 0 << 0 << 0 << QList<int>() << 1;
    QTest::newRow("net busy is final") << ViaNet << "B" << 0 << 0 << 4 << QList<int>() << 1;
    QTest::newRow("net refused is final") << ViaNet << "X" << 0 << 0 << 5 << QList<int>() << 1;
    QTest::newRow("net not ready then accepted") << ViaNet << "N A" << 0 << 0 << 0 << QList<int> { 100 } << 1;
    QTest::newRow("net malformed then accepted") << ViaNet << "G E A" << 0 << 0 << 0 << QList<int>() << 1;
    QTest::newRow("net garbage forever is bounded") << ViaNet << "G*110" << 0 << 0 << 22 << QList<int>() << 5;
    QTest::newRow("net connect fails") << ViaNet << "" << 5 << 0 << 15 << repeated(200, 5) << 0;
    QTest::newRow("net write fails") << ViaNet << "" << 0 << 5 << 17 << repeated(200, 5) << 0;
    QTest::newRow("net silent printer") << ViaNet << "" << 0 << 0 << 16 << QList<int>() << 5;
    QTest::newRow("net not ready 22 times")
        << ViaNet << "N*22 N*22 N*22 N*22 N*22" << 0 << 0 << 18 << repeated(100, 21 * 5) << 5;
}

void TransferTest::outcomes()
{
    QFETCH(Routine, routine);
    QFETCH(QString, script);
    QFETCH(int, failOpens);
    QFETCH(int, failWrites);
    QFETCH(int, expected);
    QFETCH(QList<int>, sleepsMs);
    QFETCH(int, framesWritten);

    FakeClock clock;
    ScriptedDeviceIO io(routine == ViaNet ? 2 : 1);
    queueScript(io, script);
    io.failOpens(failOpens);
    io.failWrites(failWrites);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);

    FG_STATUS_T header = makeHeader<FG_STATUS_T>("STUS");
    WORD len = 0xAAAA;
    BYTE status = 0xAA;
    const bool opensItself = routine == ViaUsb || routine == ViaNet;
    if (!opensItself)
        QCOMPARE(io.open(0), 0); // DataTransfer works on a device the operation opened

    StderrCapture capture;
    const int result
        = runRoutine(cmd, routine, reinterpret_cast<BYTE*>(&header), sizeof(header), nullptr, &len, &status, 0);

    QCOMPARE(result, expected);
    QCOMPARE(clock.sleepsMs(), sleepsMs);
    QCOMPARE(io.writes.size(), framesWritten);
    for (const QByteArray& frame : io.writes)
        QCOMPARE(frame, QByteArray("STUS\0\0\0\0", 8));
    if (opensItself) {
        QCOMPARE(io.closes, io.opens); // every attempt that opened the device closed it again
        for (int port : io.openPorts)
            QCOMPARE(port, routine == ViaNet ? 10001 : 0);
    }
}

void TransferTest::acceptedReplyFillsCallerFields()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    // length 0x0102 straddles the odd offsets 5 and 6.
    io.queueStatus('A', 0x0102, 7);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    FG_STATUS_T header = makeHeader<FG_STATUS_T>("STUS");
    WORD len = 0;
    BYTE status = 0;
    QCOMPARE(cmd.WriteDataViaUSB(reinterpret_cast<BYTE*>(&header), 8, nullptr, &len, &status, 0), 0);
    QCOMPARE(len, WORD(0x0102));
    QCOMPARE(status, BYTE(7));
}

void TransferTest::refusalOverNetworkStoresStatus()
{
    FakeClock clock;
    ScriptedDeviceIO io(2);
    io.queueStatus('Z', 0, 9);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    FG_STATUS_T header = makeHeader<FG_STATUS_T>("STUS");
    WORD len = 0x55;
    BYTE status = 0;
    QCOMPARE(cmd.WriteDataViaNet(reinterpret_cast<BYTE*>(&header), 8, nullptr, &len, &status, 0), 5);
    QCOMPARE(status, BYTE(9));
    QCOMPARE(len, WORD(0x55)); // only 'A' reports a length
}

void TransferTest::shortPayload_data()
{
    QTest::addColumn<Routine>("routine");
    QTest::addColumn<int>("replySize");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("copied");

    QTest::newRow("usb GETR with result in one read") << ViaUsb << 42 << 0 << true;
    QTest::newRow("usb status record alone leaves the payload") << ViaUsb << 8 << 0 << false;
    QTest::newRow("usb record cut short is no result") << ViaUsb << 13 << 16 << false;
    QTest::newRow("usb record one byte short is no result") << ViaUsb << 41 << 16 << false;
    QTest::newRow("net GETR of exactly 42 bytes") << ViaNet << 42 << 0 << true;
    QTest::newRow("net GETR cut short") << ViaNet << 30 << 22 << false;
    QTest::newRow("net record announcing a payload that never comes") << ViaNet << 8 << 22 << false;
    QTest::newRow("net record without result asks nothing more") << ViaNet << -1 << 0 << false;
}

void TransferTest::shortPayload()
{
    QFETCH(Routine, routine);
    QFETCH(int, replySize);
    QFETCH(int, expected);
    QFETCH(bool, copied);

    FakeClock clock;
    ScriptedDeviceIO io(routine == ViaNet ? 2 : 1);
    QByteArray payload(34, '\0');
    payload.replace(0, 5, "alice");
    payload[32] = 0x34;
    payload[33] = 0x12;
    if (replySize < 0)
        io.queueStatus('A', 0, 1); // "GETR" before any result: the bare record
    else
        io.queueRead(ScriptedDeviceIO::statusRecord('A', 34, 1, payload).left(replySize));

    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    FG_GETRESULT_T header = makeHeader<FG_GETRESULT_T>("GETR");
    FG_DATA_T data;
    memset(&data, 0, sizeof(data));
    WORD len = 0;
    BYTE status = 0;
    const int result = runRoutine(
        cmd, routine, reinterpret_cast<BYTE*>(&header), 8, reinterpret_cast<BYTE*>(&data), &len, &status, sizeof(data));
    QCOMPARE(result, expected);
    if (routine == ViaNet && replySize >= 0)
        QCOMPARE(io.readSizes.mid(0, 2), (QList<int> { 8, 34 })); // record, then the payload it announced
    if (replySize < 0)
        QCOMPARE(io.readSizes, QList<int> { 8 });
    if (copied) {
        QCOMPARE(QByteArray(data.UserName), QByteArray("alice"));
        // Bytes the printer did not send stay as the caller left them, never the 0xFE marker.
        QCOMPARE(data.ID.get(), replySize >= 42 ? uint16_t(0x1234) : uint16_t(0));
    } else {
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&data), sizeof(data)), QByteArray(34, '\0'));
    }
}

void TransferTest::dataTransferAsksNetworkForStatusRecordOnly()
{
    FakeClock clock;
    ScriptedDeviceIO net(2);
    net.queueStatus('A');
    FingCmd cmd;
    cmd.attachDeviceIO(&net);
    FG_IMPORT_T header = makeHeader<FG_IMPORT_T>("IMPT");
    QCOMPARE(cmd.DataTransfer(reinterpret_cast<BYTE*>(&header), 8, nullptr, nullptr, nullptr, 0), 0);
    QCOMPARE(net.readSizes, QList<int> { 8 });

    ScriptedDeviceIO usb(1);
    usb.queueStatus('A');
    cmd.attachDeviceIO(&usb);
    QCOMPARE(cmd.DataTransfer(reinterpret_cast<BYTE*>(&header), 8, nullptr, nullptr, nullptr, 0), 0);
    QCOMPARE(usb.readSizes, QList<int> { 1024 });
}

// Over TCP the 'N' records and the answer arrive as one byte stream: the 'N' records must not
// swallow the start of the payload.
void TransferTest::notReadyBeforePayloadOverNetwork()
{
    FakeClock clock;
    ScriptedDeviceIO io(2);
    QByteArray payload(34, '\0');
    payload.replace(0, 3, "ann");
    io.queueRead(ScriptedDeviceIO::statusRecord('N') + ScriptedDeviceIO::statusRecord('N')
        + ScriptedDeviceIO::statusRecord('A', 34, 1, payload));
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    FG_GETRESULT_T header = makeHeader<FG_GETRESULT_T>("GETR");
    FG_DATA_T data;
    memset(&data, 0, sizeof(data));
    WORD len = 0;
    BYTE status = 0;
    QCOMPARE(cmd.WriteDataViaNet(
                 reinterpret_cast<BYTE*>(&header), 8, reinterpret_cast<BYTE*>(&data), &len, &status, sizeof(data)),
        0);
    QCOMPARE(QByteArray(data.UserName), QByteArray("ann"));
    QCOMPARE(io.readSizes, (QList<int> { 8, 8, 8, 34 }));
    QCOMPARE(clock.sleepsMs(), (QList<int> { 100, 100 }));
    QCOMPARE(io.writes.size(), 1);
}

void TransferTest::cancelChecks_data()
{
    QTest::addColumn<Routine>("routine");
    QTest::addColumn<bool>("fingerPrint");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("opens");

    QTest::newRow("usb both flags") << ViaUsb << true << true << 12 << 0;
    QTest::newRow("usb cancel flag only") << ViaUsb << false << true << 0 << 1;
    QTest::newRow("usb print flag only") << ViaUsb << true << false << 0 << 1;
    QTest::newRow("net both flags") << ViaNet << true << true << 12 << 0;
    QTest::newRow("net cancel flag only") << ViaNet << false << true << 0 << 1;
}

void TransferTest::cancelChecks()
{
    QFETCH(Routine, routine);
    QFETCH(bool, fingerPrint);
    QFETCH(bool, cancel);
    QFETCH(int, expected);
    QFETCH(int, opens);

    FakeClock clock;
    ScriptedDeviceIO io(routine == ViaNet ? 2 : 1);
    io.queueStatus('A');
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    cmd.m_bFingerPrint = fingerPrint;
    cmd.m_bIsFingerPrintCancel = cancel;
    FG_STATUS_T header = makeHeader<FG_STATUS_T>("STUS");
    QCOMPARE(runRoutine(cmd, routine, reinterpret_cast<BYTE*>(&header), 8, nullptr, nullptr, nullptr, 0), expected);
    QCOMPARE(io.opens, opens);
}

void TransferTest::cancelDuringUsbReadEndsAfterOnePause()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    io.queueStatus('N');
    io.queueStatus('A');
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    cmd.m_bFingerPrint = true;
    io.onRead = [&](int) { cmd.m_bIsFingerPrintCancel = true; }; // another thread cancels
    FG_STATUS_T header = makeHeader<FG_STATUS_T>("STUS");
    StderrCapture capture;
    QCOMPARE(cmd.WriteDataViaUSB(reinterpret_cast<BYTE*>(&header), 8, nullptr, nullptr, nullptr, 0), 12);
    QCOMPARE(clock.sleepsMs(), QList<int> { 200 });
    QCOMPARE(io.opens, 1);
    QCOMPARE(io.closes, 1);
    QVERIFY(capture.lines().contains("####FM:WriteDataViaUSB: cancel 2"));
    QVERIFY(capture.lines().contains("####FM:WriteDataViaUSB: cancel"));
}

void TransferTest::cancelDuringPrintTransfer()
{
    FakeClock clock;
    ScriptedDeviceIO io(2);
    io.queueStatus('N');
    io.queueStatus('A');
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    // The print variant looks at the cancel flag alone.
    io.onRead = [&](int) { cmd.m_bIsFingerPrintCancel = true; };
    FG_STATUS_T header = makeHeader<FG_STATUS_T>("STUS");
    QCOMPARE(cmd.DataTransferForPrint(reinterpret_cast<BYTE*>(&header), 8, nullptr, nullptr, nullptr, 0), 12);
    QCOMPARE(io.readSizes, QList<int> { 8 });

    ScriptedDeviceIO silent(1);
    cmd.attachDeviceIO(&silent);
    cmd.m_bIsFingerPrintCancel = false;
    QCOMPARE(cmd.DataTransferForPrint(reinterpret_cast<BYTE*>(&header), 8, nullptr, nullptr, nullptr, 0), 16);
}

void TransferTest::longReplyPhase_data()
{
    QTest::addColumn<Routine>("routine");
    // data packet sizes; 0 = failed read, -2 = progress, -3 = 'N', -4 = 'A', -5 = 'B'
    QTest::addColumn<QList<int>>("packets");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("bytesFilled");

    QTest::newRow("transfer two packets") << Transfer << QList<int> { 546, 546 } << 0 << 1092;
    QTest::newRow("usb two packets") << ViaUsb << QList<int> { 546, 546 } << 0 << 1092;
    QTest::newRow("progress and not ready between packets") << Transfer << QList<int> { 546, -2, -3, 546 } << 0 << 1092;
    QTest::newRow("a packet too small to be data") << Transfer << QList<int> { 546, 100 } << 16 << 546;
    QTest::newRow("reply ends early") << Transfer << QList<int> { 546, 0 } << 16 << 546;
    QTest::newRow("accepted records instead of data are bounded")
        << Transfer << QList<int> { 546 } + QList<int>(22, -4) << 18 << 546;
    QTest::newRow("busy records instead of data are bounded") << ViaUsb << QList<int>(22, -5) << 18 << 0;
    QTest::newRow("oversize packet is bounded by the caller's buffer")
        << Transfer << QList<int> { 1024, 1024 } << 0 << 1092;
}

void TransferTest::longReplyPhase()
{
    QFETCH(Routine, routine);
    QFETCH(QList<int>, packets);
    QFETCH(int, expected);
    QFETCH(int, bytesFilled);

    FakeClock clock;
    ScriptedDeviceIO io(1);
    io.queueStatus('A', 1092);
    char fill = 'a';
    for (int size : packets) {
        if (size == 0)
            io.queueReadFailure();
        else if (size == -2)
            io.queueProgress();
        else if (size <= -3)
            io.queueStatus(size == -3 ? 'N' : size == -4 ? 'A' : 'B');
        else
            io.queueRead(QByteArray(size, fill++));
    }
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    if (routine == Transfer)
        io.open(0);
    QByteArray out(1092 + 16, '\0'); // 16 guard bytes behind the 1092 asked for
    FG_EXPORT_T header = makeHeader<FG_EXPORT_T>("EXPT");
    QCOMPARE(runRoutine(cmd, routine, reinterpret_cast<BYTE*>(&header), 8, reinterpret_cast<BYTE*>(out.data()), nullptr,
                 nullptr, 1092),
        expected);
    QCOMPARE(out.count('\0'), out.size() - bytesFilled);
    QCOMPARE(out.right(16), QByteArray(16, '\0'));
}

void TransferTest::bulkRoutines()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    QByteArray data(4096, 'x');

    QCOMPARE(cmd.WriteBulkDataViaUSB(reinterpret_cast<BYTE*>(data.data()), data.size()), 4096);
    QCOMPARE(io.bulkWrites.size(), 1);

    io.failBulkWrites(5);
    QCOMPARE(cmd.WriteBulkDataViaUSB(reinterpret_cast<BYTE*>(data.data()), data.size()), 0);
    QCOMPARE(clock.sleepsMs(), repeated(200, 4));
    QCOMPARE(io.opens, io.closes);

    clock.clear();
    io.queueBulkReadFailure(-7, 2);
    io.queueBulkRead(QByteArray(8, 'r'));
    QCOMPARE(cmd.ReadBulkDataViaUSB(reinterpret_cast<BYTE*>(data.data()), 8), 8);
    QCOMPARE(clock.sleepsMs(), repeated(200, 2));

    cmd.m_bFingerPrint = true;
    cmd.m_bIsFingerPrintCancel = true;
    const int opensBefore = io.opens;
    QCOMPARE(cmd.ReadBulkDataViaUSB(reinterpret_cast<BYTE*>(data.data()), 8), 0);
    QCOMPARE(cmd.WriteBulkDataViaUSB(reinterpret_cast<BYTE*>(data.data()), 8), 0);
    QCOMPARE(io.opens, opensBefore);
}

void TransferTest::cancelPrintWithTrans()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    io.queueStatus('A');
    io.queueStatus('B');
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    QVERIFY(cmd.CancelPrintWithTrans());
    QVERIFY(!cmd.CancelPrintWithTrans());
    QCOMPARE(io.writes, (QList<QByteArray> { QByteArray("CANL\0\0\0\0", 8), QByteArray("CANL\0\0\0\0", 8) }));
    QCOMPARE(io.opens, 0); // the caller owns opening for DataTransfer
}

void TransferTest::diagnosticLines()
{
    FakeClock clock;
    ScriptedDeviceIO io(1);
    io.queueProgress();
    io.queueStatus('N');
    io.queueStatus('B');
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    FG_STATUS_T header = makeHeader<FG_STATUS_T>("STUS");
    StderrCapture capture;
    QCOMPARE(cmd.DataTransfer(reinterpret_cast<BYTE*>(&header), 8, nullptr, nullptr, nullptr, 0), 4);
    const QStringList expected {
        "####FM:DataTransfer",
        "####FM:get sync info",
        "####FM:Get return command",
        "####FM:Printer is not ready, wait for 20*100 ms",
        "####FM:Get return command",
        "####FM:Recevie return command, and ack is B",
        "####FM:DataTransfer(): get data success.",
    };
    QCOMPARE(capture.lines(), expected);

    ScriptedDeviceIO usb(1);
    usb.queueStatus('A', 3, 1);
    cmd.attachDeviceIO(&usb);
    StderrCapture usbCapture;
    QCOMPARE(cmd.WriteDataViaUSB(reinterpret_cast<BYTE*>(&header), 8, nullptr, nullptr, nullptr, 0), 0);
    const QStringList usbExpected {
        "####FM:WriteDataViaUSB",
        "####FM:Get return command",
        "####FM:return command is 0x415453, 0x415453, length is 3, ack is A",
        "####FM:printer is ready, and result is 1",
        "####FM:WriteDataViaUSB(): get data success.",
    };
    QCOMPARE(usbCapture.lines(), usbExpected);
}

QTEST_GUILESS_MAIN(TransferTest)
#include "tst_transfer.moc"
