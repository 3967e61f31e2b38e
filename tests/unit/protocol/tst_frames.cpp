// Wire images of the command headers and the parsing of status records.

#include "protocol/FingFrames.h"

#include <QtTest>

namespace
{
template <typename T> QByteArray bytesOf(const T& record)
{
    return QByteArray(reinterpret_cast<const char*>(&record), sizeof(record));
}
} // namespace

class FramesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headers_data();
    void headers();
    void statusRecords_data();
    void statusRecords();
    void fingerprintRecord();
};

void FramesTest::headers_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("wire");

    FG_FUNC_T read = makeHeader<FG_FUNC_T>("FING");
    read.mode = 'R';
    QTest::newRow("FING read") << bytesOf(read) << QByteArray("FINGR\0\0\0", 8);

    FG_FUNC_T on = makeHeader<FG_FUNC_T>("FING");
    on.mode = 'W';
    on.func = 1;
    QTest::newRow("FING write on") << bytesOf(on) << QByteArray("FINGW\0\0\x01", 8);

    FG_CHECK_T check = makeHeader<FG_CHECK_T>("CHCK");
    check.length.set(0x0120);
    QTest::newRow("CHCK 288-byte length") << bytesOf(check) << QByteArray("CHCK\x20\x01\0\0", 8);

    FG_CHECK_T empty = makeHeader<FG_CHECK_T>("CHCK");
    empty.length.set(0);
    QTest::newRow("CHCK empty name") << bytesOf(empty) << QByteArray("CHCK\0\0\0\0", 8);

    FG_DELETE_T one = makeHeader<FG_DELETE_T>("DELE");
    one.length.set(5);
    QTest::newRow("DELE one user") << bytesOf(one) << QByteArray("DELE\x05\0\0\0", 8);

    FG_DELETE_T all = makeHeader<FG_DELETE_T>("DELE");
    all.mode = 1;
    QTest::newRow("DELE all") << bytesOf(all) << QByteArray("DELE\0\0\0\x01", 8);

    FG_ADD_T add = makeHeader<FG_ADD_T>("ADDF");
    add.length.set(32);
    QTest::newRow("ADDF") << bytesOf(add) << QByteArray("ADDF\x20\0\0\0", 8);

    FG_IMPORT_T import = makeHeader<FG_IMPORT_T>("IMPT");
    import.num.set(1000);
    QTest::newRow("IMPT 1000 records") << bytesOf(import) << QByteArray("IMPT\0\0\xE8\x03", 8);

    for (const char* code : { "CANL", "DISC", "STUS", "GETR", "EXPT" })
        QTest::newRow(code) << bytesOf(makeHeader<FG_STATUS_T>(code)) << QByteArray(code, 4) + QByteArray(4, '\0');
}

void FramesTest::headers()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, wire);
    QCOMPARE(frame.toHex(' '), wire.toHex(' '));
}

void FramesTest::statusRecords_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("isStatus");
    QTest::addColumn<char>("ack");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("status");

    QTest::newRow("accepted") << QByteArray("STA\0A\0\0\x01", 8) << true << 'A' << 0 << 1;
    QTest::newRow("length across odd offsets") << QByteArray("STA\0A\x22\x01\0", 8) << true << 'A' << 0x0122 << 0;
    QTest::newRow("high length byte only") << QByteArray("STA\0N\0\xFF\0", 8) << true << 'N' << 0xFF00 << 0;
    QTest::newRow("STA then a nonzero byte") << QByteArray("STA\x01"
                                                           "A\0\0\0",
        8) << false << 'A' << 0 << 0;
    QTest::newRow("export record") << QByteArray("EXPTA\xE8\x03\0", 8) << false << 'A' << 1000 << 0;
}

void FramesTest::statusRecords()
{
    QFETCH(QByteArray, wire);
    QFETCH(bool, isStatus);
    QFETCH(char, ack);
    QFETCH(int, length);
    QFETCH(int, status);

    const StatusReply reply = parseStatus(reinterpret_cast<const BYTE*>(wire.constData()));
    QCOMPARE(hasCode(reply.code, kStatusCode), isStatus);
    QCOMPARE(char(reply.ack), ack);
    QCOMPARE(int(reply.length), length);
    QCOMPARE(int(reply.status), status);

    // The record laid over the same bytes reads the same.
    FG_STA_T record;
    memcpy(&record, wire.constData(), sizeof(record));
    QCOMPARE(int(record.length.get()), length);
}

void FramesTest::fingerprintRecord()
{
    FG_DATAF_T record;
    memset(&record, 0, sizeof(record));
    memset(record.UserName, 'n', kNameSize); // 32 bytes, no terminator
    record.ID.set(0xBEEF);
    record.feature[0] = 0x11;
    record.feature[kTemplateSize - 1] = 0x22;
    const QByteArray wire = bytesOf(record);
    QCOMPARE(wire.size(), 546);
    QCOMPARE(wire.left(32), QByteArray(32, 'n'));
    QCOMPARE(wire.mid(32, 2), QByteArray("\xEF\xBE", 2));
    QCOMPARE(wire.at(34), '\x11');
    QCOMPARE(wire.at(545), '\x22');
}

QTEST_GUILESS_MAIN(FramesTest)
#include "tst_frames.moc"
