// FingerCommon against scripted printers: the fingerprint data files of import and export, the
// name comparison of enrolment, the print side's state mapping and the cross-thread cancel.

#include "FakeClock.h"
#include "ScriptedDeviceIO.h"
#include "service/FingerCommon.h"
#include "vrkt7xcommon.h"

#include <QtTest>
#include <thread>

namespace
{

QByteArray record(const QByteArray& name, quint16 id, char fill)
{
    QByteArray r(34, '\0');
    r.replace(0, name.size(), name);
    r[32] = char(id & 0xFF);
    r[33] = char(id >> 8);
    return r + QByteArray(512, fill);
}

QByteArray records(int count)
{
    QByteArray all;
    for (int i = 0; i < count; ++i)
        all += record("user" + QByteArray::number(i), quint16(i), char(i));
    return all;
}

// A FingerCommon whose command object talks to two scripted transports.
struct Harness {
    FingerCommon common;
    ScriptedDeviceIO* usb = new ScriptedDeviceIO(1);
    ScriptedDeviceIO* net = new ScriptedDeviceIO(2);
    char usbUri[64] = "usb://Maker/ZPH6100RMX?serial=S1";
    char netUri[64] = "socket://127.0.0.2";

    Harness() { common.cmd.devicemanager.setTransports(usb, net); }

    // Answers every frame by its code, with a standing answer per code.
    void answer(ScriptedDeviceIO* io, QMap<QByteArray, QByteArray> answers)
    {
        io->onWrite = [io, answers](const QByteArray& frame) {
            const QByteArray code = frame.left(4);
            if (answers.contains(code))
                io->queueRead(answers.value(code));
        };
    }
};

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class FingerCommonTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void importFile_data();
    void importFile();
    void importOutcome_data();
    void importOutcome();
    void exportWritesWholeRecords();
    void exportLeavesFileAloneWithoutRecords_data();
    void exportLeavesFileAloneWithoutRecords();
    void exportToUnwritablePlace();
    void exportReplacesAPlantedLink();
    void exportThenImportRoundTrips();
    void enrolmentComparesNames_data();
    void enrolmentComparesNames();
    void longNamesAreRefused_data();
    void longNamesAreRefused();
    void printSideState_data();
    void printSideState();
    void cancelFromAnotherThread();
    void cancelBeforeVerificationHasNoEffect();
};

void FingerCommonTest::importFile_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("recordsSent");
    QTest::addColumn<QString>("source"); // a file of the system instead of one written here

    QTest::newRow("two records") << 1092 << 0 << 2 << QString();
    QTest::newRow("one record and a part") << 1000 << 0 << 1 << QString();
    QTest::newRow("less than a record") << 545 << 0 << 0 << QString();
    QTest::newRow("empty file") << 0 << 9 << -1 << QString();
    QTest::newRow("missing file") << -1 << 2 << -1 << QString();
    // A sysfs attribute gives its size as 4096 bytes and delivers a few: a read that ends early.
    QTest::newRow("reading ends before the size") << -1 << 2 << -1 << QStringLiteral("/sys/devices/system/cpu/online");
}

void FingerCommonTest::importFile()
{
    QFETCH(int, size);
    QFETCH(int, expected);
    QFETCH(int, recordsSent);
    QFETCH(QString, source);

    FakeClock clock;
    QTemporaryDir dir;
    const QString path = source.isEmpty() ? dir.filePath("in.fdl") : source;
    if (!source.isEmpty() && QFileInfo(source).size() <= 546)
        QSKIP("no file here that delivers less than its size");
    const QByteArray content = records(3).left(qMax(size, 0));
    if (size >= 0 && source.isEmpty())
        QVERIFY(writeFile(path, content));

    Harness h;
    h.answer(h.usb,
        { { "IMPT", ScriptedDeviceIO::statusRecord('A') }, { "STUS", ScriptedDeviceIO::statusRecord('A', 0, 1) } });
    QByteArray name = QFile::encodeName(path);
    QCOMPARE(h.common.ImportFinger(h.usbUri, name.data()), expected);
    if (recordsSent < 0) {
        QVERIFY(h.usb->writes.isEmpty());
        return;
    }
    QByteArray header("IMPT\0\0\0\0", 8);
    header[6] = char(recordsSent);
    QCOMPARE(h.usb->writes.first(), header);
    QCOMPARE(h.usb->bulkWrites.join(), header + content.left(recordsSent * 546));
    QCOMPARE(h.usb->writes.last().left(4), QByteArray("STUS"));
}

void FingerCommonTest::importOutcome_data()
{
    QTest::addColumn<QByteArray>("impt");
    QTest::addColumn<QByteArray>("stus");
    QTest::addColumn<int>("failBulk");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("polled");

    const QByteArray ok = ScriptedDeviceIO::statusRecord('A');
    QTest::newRow("printer reports failure") << ok << ScriptedDeviceIO::statusRecord('A', 0, 2) << 0 << 5 << true;
    QTest::newRow("printer busy") << ScriptedDeviceIO::statusRecord('B') << ok << 0 << 4 << false;
    QTest::newRow("records never reach the printer") << ok << ok << 3 << 17 << false;
}

void FingerCommonTest::importOutcome()
{
    QFETCH(QByteArray, impt);
    QFETCH(QByteArray, stus);
    QFETCH(int, failBulk);
    QFETCH(int, expected);
    QFETCH(bool, polled);

    FakeClock clock;
    QTemporaryDir dir;
    const QString path = dir.filePath("in.fdl");
    QVERIFY(writeFile(path, records(2)));
    Harness h;
    h.answer(h.net, { { "IMPT", impt }, { "STUS", stus } });
    h.net->failBulkWrites(failBulk);
    QByteArray name = QFile::encodeName(path);
    QCOMPARE(h.common.ImportFinger(h.netUri, name.data()), expected);
    QCOMPARE(h.net->writes.last().left(4) == "STUS", polled);
}

void FingerCommonTest::exportWritesWholeRecords()
{
    FakeClock clock;
    QTemporaryDir dir;
    const QString path = dir.filePath("out.fdl");
    QVERIFY(writeFile(path, "old backup"));
    Harness h;
    h.usb->queueStatus('A', 3);
    h.usb->queueBulkRead(QByteArray("EXPTA\x03\0\0", 8));
    h.usb->queueBulkRead(records(3));
    QByteArray name = QFile::encodeName(path);
    int count = -1;
    QCOMPARE(h.common.ExportFinger(h.usbUri, name.data(), &count), 0);
    QCOMPARE(count, 3);
    QCOMPARE(readFile(path), records(3));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { "out.fdl" }); // no temporary left behind
    // Fingerprint templates: for the owner only, whatever the umask.
    QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

void FingerCommonTest::exportLeavesFileAloneWithoutRecords_data()
{
    QTest::addColumn<QList<QByteArray>>("bulk");
    QTest::addColumn<quint16>("announced");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("count");

    QTest::newRow("empty printer") << QList<QByteArray>() << quint16(0) << 0 << 0;
    QTest::newRow("download cut short") << QList<QByteArray> { QByteArray("EXPTA\x03\0\0", 8), records(3).left(1000) }
                                        << quint16(3) << 7 << -1;
}

void FingerCommonTest::exportLeavesFileAloneWithoutRecords()
{
    QFETCH(QList<QByteArray>, bulk);
    QFETCH(quint16, announced);
    QFETCH(int, expected);
    QFETCH(int, count);

    FakeClock clock;
    QTemporaryDir dir;
    const QString path = dir.filePath("out.fdl");
    QVERIFY(writeFile(path, "old backup"));
    Harness h;
    h.usb->queueStatus('A', announced);
    for (const QByteArray& b : bulk)
        h.usb->queueBulkRead(b);
    h.usb->queueBulkReadFailure(-7, 3);
    QByteArray name = QFile::encodeName(path);
    int got = -1;
    QCOMPARE(h.common.ExportFinger(h.usbUri, name.data(), &got), expected);
    QCOMPARE(got, count);
    QCOMPARE(readFile(path), QByteArray("old backup"));
}

void FingerCommonTest::exportToUnwritablePlace()
{
    FakeClock clock;
    Harness h;
    h.usb->queueStatus('A', 1);
    h.usb->queueBulkRead(QByteArray("EXPTA\x01\0\0", 8));
    h.usb->queueBulkRead(records(1));
    QByteArray name = "/nonexistent-directory/out.fdl";
    int count = 0;
    QCOMPARE(h.common.ExportFinger(h.usbUri, name.data(), &count), 2);
}

void FingerCommonTest::exportReplacesAPlantedLink()
{
    FakeClock clock;
    QTemporaryDir dir;
    const QString victim = dir.filePath("victim");
    QVERIFY(writeFile(victim, "the victim's own data"));
    const QString path = dir.filePath("vrkt_export.fdl");
    QVERIFY(QFile::link(victim, path));
    Harness h;
    h.usb->queueStatus('A', 1);
    h.usb->queueBulkRead(QByteArray("EXPTA\x01\0\0", 8));
    h.usb->queueBulkRead(records(1));
    QByteArray name = QFile::encodeName(path);
    int count = 0;
    QCOMPARE(h.common.ExportFinger(h.usbUri, name.data(), &count), 0);
    QCOMPARE(readFile(victim), QByteArray("the victim's own data"));
    QVERIFY(!QFileInfo(path).isSymLink());
    QCOMPARE(readFile(path), records(1));
}

void FingerCommonTest::exportThenImportRoundTrips()
{
    FakeClock clock;
    QTemporaryDir dir;
    const QString path = dir.filePath("all.fdl");
    const QByteArray stored = records(1000);
    Harness h;
    h.usb->queueStatus('A', 1000);
    h.usb->queueBulkRead(QByteArray("EXPTA\xE8\x03\0", 8));
    for (int offset = 0; offset < stored.size(); offset += 4096)
        h.usb->queueBulkRead(stored.mid(offset, 4096));
    QByteArray name = QFile::encodeName(path);
    int count = 0;
    QCOMPARE(h.common.ExportFinger(h.usbUri, name.data(), &count), 0);
    QCOMPARE(count, 1000);
    QCOMPARE(readFile(path).size(), 1000 * 546);

    h.answer(h.usb,
        { { "IMPT", ScriptedDeviceIO::statusRecord('A') }, { "STUS", ScriptedDeviceIO::statusRecord('A', 0, 1) } });
    QCOMPARE(h.common.ImportFinger(h.usbUri, name.data()), 0);
    QCOMPARE(h.usb->bulkWrites.join(), QByteArray("IMPT\0\0\xE8\x03", 8) + stored);
}

void FingerCommonTest::enrolmentComparesNames_data()
{
    QTest::addColumn<QByteArray>("requested");
    QTest::addColumn<QByteArray>("getr"); // the printer's answer to "GETR"
    QTest::addColumn<int>("expected");

    auto result = [](const QByteArray& name) {
        return ScriptedDeviceIO::statusRecord('A', 34, 0, record(name, 77, 0).left(34));
    };
    QTest::newRow("same name") << QByteArray("dave") << result("dave") << 0;
    QTest::newRow("printer enrolled another name") << QByteArray("dave") << result("eve") << 9;
    QTest::newRow("32-byte name") << QByteArray(32, 'g') << result(QByteArray(32, 'g')) << 0;
    QTest::newRow("requested name longer than the field")
        << QByteArray(33, 'g') << result(QByteArray(32, 'g')) << VRKT_NAME_TOO_LONG;
    QTest::newRow("result names nobody, nobody requested") << QByteArray() << ScriptedDeviceIO::statusRecord('A') << 9;
    QTest::newRow("result cut short") << QByteArray("ali") << result("alice").left(11) << 9;
}

void FingerCommonTest::enrolmentComparesNames()
{
    QFETCH(QByteArray, requested);
    QFETCH(QByteArray, getr);
    QFETCH(int, expected);

    FakeClock clock;
    Harness h;
    h.answer(h.usb,
        { { "ADDS", ScriptedDeviceIO::statusRecord('A') }, { "STUS", ScriptedDeviceIO::statusRecord('A', 0, 1) },
            { "GETR", getr } });
    int index = -1;
    QCOMPARE(h.common.AddFinger(h.usbUri, 1, requested.data(), &index), expected);
    QCOMPARE(index, expected == 0 ? 77 : -1);
}

void FingerCommonTest::longNamesAreRefused_data()
{
    QTest::addColumn<int>("operation"); // 0 check, 1 delete, 2 first enrolment step, 3 second step
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");

    QTest::newRow("check, 33 bytes") << 0 << 33 << VRKT_NAME_TOO_LONG;
    QTest::newRow("delete, 40 bytes") << 1 << 40 << VRKT_NAME_TOO_LONG;
    QTest::newRow("first step, 33 bytes") << 2 << 33 << VRKT_NAME_TOO_LONG;
    QTest::newRow("second step, 33 bytes") << 3 << 33 << VRKT_NAME_TOO_LONG;
    QTest::newRow("check, 32 bytes is sent") << 0 << 32 << 0;
    QTest::newRow("delete, 32 bytes is sent") << 1 << 32 << 0;
}

void FingerCommonTest::longNamesAreRefused()
{
    QFETCH(int, operation);
    QFETCH(int, length);
    QFETCH(int, expected);

    FakeClock clock;
    Harness h;
    h.answer(h.usb,
        { { "CHCK", ScriptedDeviceIO::statusRecord('A', 0, 1) }, { "DELE", ScriptedDeviceIO::statusRecord('A') } });
    // The first 32 bytes are the name of a user the printer knows.
    QByteArray name(length, 'n');
    int index = -1;
    int result = -1;
    switch (operation) {
    case 0:
        result = h.common.CheckFinger(h.usbUri, name.data());
        break;
    case 1:
        result = h.common.DeleteFinger(h.usbUri, name.data());
        break;
    default:
        result = h.common.AddFinger(h.usbUri, operation - 2, name.data(), &index);
        break;
    }
    QCOMPARE(result, expected);
    QCOMPARE(h.usb->writes.isEmpty(), expected == VRKT_NAME_TOO_LONG);
    QCOMPARE(index, -1);
}

void FingerCommonTest::printSideState_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("open");
    QTest::addColumn<int>("forPrint");

    QTest::newRow("on") << ScriptedDeviceIO::statusRecord('A', 0, 1) << 1 << 1;
    QTest::newRow("on, raw 3") << ScriptedDeviceIO::statusRecord('A', 0, 3) << 3 << 1;
    QTest::newRow("raw 2 passes") << ScriptedDeviceIO::statusRecord('A', 0, 2) << 2 << 2;
    QTest::newRow("busy") << ScriptedDeviceIO::statusRecord('A', 0, 4) << 4 << 4;
    QTest::newRow("off") << ScriptedDeviceIO::statusRecord('A', 0, 0) << 0 << 0;
    QTest::newRow("no answer") << QByteArray() << -1 << -1;
}

void FingerCommonTest::printSideState()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, open);
    QFETCH(int, forPrint);

    FakeClock clock;
    Harness h;
    if (!reply.isEmpty())
        h.answer(h.net, { { "FING", reply } });
    QCOMPARE(h.common.IsDeviceFingerOpen(h.netUri), open);
    QCOMPARE(h.common.IsDeviceFingerOpenForPrint(h.netUri), forPrint);
}

void FingerCommonTest::cancelFromAnotherThread()
{
    FakeClock clock;
    Harness h;
    h.answer(h.usb,
        { { "DISC", ScriptedDeviceIO::statusRecord('A') }, { "STUS", ScriptedDeviceIO::statusRecord('A', 0, 0) } });
    // During the second wait the print side gives up, from a thread of its own.
    clock.onSleep = [&](int count) {
        if (count == 2) {
            std::thread canceller([&] { QVERIFY(h.common.CancelFingerPrint(nullptr)); });
            canceller.join();
        }
    };
    char name[33] = {};
    short index = 0;
    QVERIFY(h.common.IsFingerPrint(h.usbUri, name, &index)); // true: nobody identified
    QVERIFY(!h.common.cmd.m_bIsFingerPrintCancel);
    QVERIFY(!h.common.cmd.m_bFingerPrint);
    QCOMPARE(clock.sleepsMs(), (QList<int> { 5000, 5000 }));
    // The cancelled verification does not tell the printer; dropping its held job afterwards does.
    auto codes = [&] {
        QList<QByteArray> list;
        for (const QByteArray& frame : h.usb->writes)
            list << frame.left(4);
        return list;
    };
    QVERIFY(!codes().contains("CANL"));
    h.answer(h.usb, { { "CANL", ScriptedDeviceIO::statusRecord('A') } });
    QVERIFY(h.common.DropFingerPrintJob(h.usbUri));
    QCOMPARE(codes().last(), QByteArray("CANL"));
}

void FingerCommonTest::cancelBeforeVerificationHasNoEffect()
{
    FakeClock clock;
    Harness h;
    h.answer(h.usb,
        { { "DISC", ScriptedDeviceIO::statusRecord('A') }, { "STUS", ScriptedDeviceIO::statusRecord('A', 0, 1) },
            { "GETR", ScriptedDeviceIO::statusRecord('A', 34, 0, record("frank", 5, 0).left(34)) } });
    QVERIFY(h.common.CancelFingerPrint(nullptr));
    char name[33] = {};
    short index = 0;
    QVERIFY(!h.common.IsFingerPrint(h.usbUri, name, &index));
    QCOMPARE(QByteArray(name), QByteArray("frank"));
    QCOMPARE(index, short(5));
}

QTEST_GUILESS_MAIN(FingerCommonTest)
#include "tst_fingercommon.moc"
