// The exported functions of the built library against simulated USB printers (umockdev), with a
// private cupsd for discovery: what fpmanager and the print side do, end to end.

#include "CupsSandbox.h"
#include "FingerLibrary.h"
#include "SimulatedPrinters.h"

#include <QtTest>

namespace
{
QByteArray uriOf(const char* serial) { return QByteArray("usb://Simulated/ZPH6100RMX?serial=") + serial; }

QList<QByteArray> namesOf(const QList<fpsim::ControlClient::User>& users)
{
    QList<QByteArray> names;
    for (const auto& u : users)
        names.append(u.name);
    return names;
}

QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
} // namespace

class ExportsUsbTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void discoveryFindsTheFirstPresentPrinter();
    void stateAndDeletion();
    void enrolInTwoPresses();
    void enrolmentFailures_data();
    void enrolmentFailures();
    void verificationOverUsb();
    void exportFromEmptyPrinterKeepsFile();
    void exportImportThousandRecords();
    void importFileSizes_data();
    void importFileSizes();

private:
    CupsSandbox m_cups;
    FingerLibrary m_lib;
    fpsim::ControlClient m_sim1;
    fpsim::ControlClient m_sim2;
    QByteArray m_uri1 = uriOf("SIM0001");
    QByteArray m_uri2 = uriOf("SIM0002");
};

void ExportsUsbTest::initTestCase()
{
    QVERIFY(m_sim1.connectTo(fpsim::usbControlSocket("SIM0001")));
    QVERIFY(m_sim2.connectTo(fpsim::usbControlSocket("SIM0002")));
    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    QVERIFY(m_cups.addQueue("ZPH_ONE", m_uri1, "Simulated ZPH6100RMX Series"));
    QVERIFY(m_cups.addQueue("ZPH_TWO", m_uri2, "Simulated ZPH6100RMX Series"));
    QVERIFY(m_cups.addQueue("ZPH_NET", "socket://127.0.0.2:9100", "Simulated ZPH6100RMX Series"));
    QVERIFY2(m_lib.load(), qPrintable(m_lib.error()));
}

void ExportsUsbTest::init()
{
    for (fpsim::ControlClient* sim : { &m_sim1, &m_sim2 }) {
        QVERIFY(sim->plug());
        QVERIFY(sim->clearFaults());
        QVERIFY(sim->clearStore());
        QVERIFY(sim->pressNothing());
        QVERIFY(sim->setState(1));
    }
}

void ExportsUsbTest::discoveryFindsTheFirstPresentPrinter()
{
    QVERIFY(m_sim1.unplug()); // the first printer is switched off
    QTRY_COMPARE_WITH_TIMEOUT(m_lib.IsDeviceConnectForPrint(m_uri1.data()), 0, 5000);
    char uri[256] = {};
    QVERIFY(m_lib.IsDeviceConnect(uri));
    QCOMPARE(QByteArray(uri), m_uri2);

    QList<QByteArray> names(32, QByteArray(256, '\0'));
    QList<QByteArray> uris(32, QByteArray(256, '\0'));
    QList<char*> namePointers;
    QList<char*> uriPointers;
    for (int i = 0; i < 32; ++i) {
        namePointers.append(names[i].data());
        uriPointers.append(uris[i].data());
    }
    QCOMPARE(m_lib.GetDeviceConnect(namePointers.data(), uriPointers.data()), 2); // both listed
    QCOMPARE(QByteArray(names[0].constData()), QByteArray("ZPH_ONE"));
    QCOMPARE(QByteArray(uris[1].constData()), m_uri2);

    QCOMPARE(m_lib.IsDeviceConnectForPrint(m_uri1.data()), 0);
    QCOMPARE(m_lib.IsDeviceConnectForPrint(m_uri2.data()), 1);
    QVERIFY(m_sim1.plug());
    // Plugging in takes effect on the simulated bus a moment after the command.
    QTRY_VERIFY_WITH_TIMEOUT(m_lib.IsDeviceConnect(uri) && QByteArray(uri) == m_uri1, 5000);
}

void ExportsUsbTest::stateAndDeletion()
{
    QVERIFY(m_sim1.setState(0));
    QCOMPARE(m_lib.IsDeviceFingerOpen(m_uri1.data()), 0);
    QVERIFY(m_lib.OpenFinger(m_uri1.data()));
    QCOMPARE(m_sim1.state(), 1);
    QVERIFY(m_lib.CloseFinger(m_uri1.data()));
    QCOMPARE(m_sim1.state(), 0);

    QVERIFY(m_sim1.addUser("lea"));
    QVERIFY(m_sim1.addUser("max"));
    char lea[] = "lea";
    char nobody[] = "nobody";
    QCOMPARE(m_lib.DeleteFinger(m_uri1.data(), nobody), 14);
    QCOMPARE(m_lib.DeleteFinger(m_uri1.data(), lea), 0);
    QCOMPARE(m_lib.CheckFinger(m_uri1.data(), lea), 14);
    QCOMPARE(namesOf(m_sim1.users()), QList<QByteArray> { "max" });
    QCOMPARE(m_lib.DeleteFingers(m_uri1.data()), 0);
    QVERIFY(m_sim1.users().isEmpty());

    // An unplugged printer: every exchange fails after its five attempts.
    QVERIFY(m_sim1.unplug());
    QTRY_COMPARE_WITH_TIMEOUT(m_lib.IsDeviceConnectForPrint(m_uri1.data()), 0, 5000);
    QCOMPARE(m_lib.IsDeviceFingerOpen(m_uri1.data()), -1);
    QCOMPARE(m_lib.DeleteFingers(m_uri1.data()), 15);
    QVERIFY(!QFileInfo::exists("/tmp/.vrkt_info_lock") || QFile("/tmp/.vrkt_info_lock").size() == 12);
}

void ExportsUsbTest::enrolInTwoPresses()
{
    QVERIFY(m_sim1.setAutoFinger(true));
    char name[] = "\xd5\xc5\xc8\xfd"; // 张三 in GB18030
    QCOMPARE(m_lib.AddFinger(m_uri1.data(), 0, name, nullptr), 0);
    int index = -1;
    QCOMPARE(m_lib.AddFinger(m_uri1.data(), 1, name, &index), 0);
    QVERIFY(index > 0);
    QCOMPARE(namesOf(m_sim1.users()), QList<QByteArray> { name });
    QCOMPARE(m_lib.CheckFinger(m_uri1.data(), name), 0);
    QVERIFY(m_sim1.setAutoFinger(false));
}

void ExportsUsbTest::enrolmentFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");

    QTest::newRow("first press fails on the printer") << "fail code=ADDF" << 7 << -1;
    QTest::newRow("printer busy") << "busy code=ADDF count=5" << 4 << -1;
    QTest::newRow("second press fails") << "fail code=ADDS" << 0 << 9;
}

void ExportsUsbTest::enrolmentFailures()
{
    QFETCH(QString, fault);
    QFETCH(int, first);
    QFETCH(int, second);

    QVERIFY(m_sim1.setAutoFinger(true));
    QVERIFY2(m_sim1.injectFault(fault), qPrintable(m_sim1.lastError()));
    char name[] = "ida";
    QCOMPARE(m_lib.AddFinger(m_uri1.data(), 0, name, nullptr), first);
    if (second >= 0) {
        int index = -1;
        QCOMPARE(m_lib.AddFinger(m_uri1.data(), 1, name, &index), second);
        QCOMPARE(index, -1);
    }
    QVERIFY(m_sim1.users().isEmpty());
    QVERIFY(m_sim1.setAutoFinger(false));
}

void ExportsUsbTest::verificationOverUsb()
{
    QVERIFY(m_sim2.addUser("jon"));
    QCOMPARE(m_lib.IsDeviceFingerOpenForPrint(m_uri2.data()), 1);
    QVERIFY(m_sim2.pressFingerAtNextWait("jon", 100));
    char user[40] = {};
    short index = 0;
    QVERIFY(!m_lib.IsFingerPrint(m_uri2.data(), user, &index));
    QCOMPARE(QByteArray(user), QByteArray("jon"));
}

void ExportsUsbTest::exportFromEmptyPrinterKeepsFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("backup.fdl");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("previous backup");
    file.close();
    QByteArray name = QFile::encodeName(path);
    int count = -1;
    QCOMPARE(m_lib.ExportFinger(m_uri1.data(), name.data(), &count), 0);
    QCOMPARE(count, 0);
    QCOMPARE(fileContent(path), QByteArray("previous backup"));
}

void ExportsUsbTest::exportImportThousandRecords()
{
    for (int i = 0; i < 1000; ++i)
        QVERIFY(m_sim1.addUser("u" + QByteArray::number(i)));
    QTemporaryDir dir;
    const QString exported = dir.filePath("all.fdl");
    const QString stored = dir.filePath("store.fdl");
    QByteArray name = QFile::encodeName(exported);
    int count = 0;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(m_lib.ExportFinger(m_uri1.data(), name.data(), &count), 0);
    const qint64 exportMs = timer.elapsed();
    QCOMPARE(count, 1000);
    QVERIFY(m_sim1.saveStore(stored));
    QCOMPARE(fileContent(exported), fileContent(stored)); // byte for byte what the printer holds

    timer.restart();
    QCOMPARE(m_lib.ImportFinger(m_uri2.data(), name.data()), 0);
    const qint64 importMs = timer.elapsed();
    const QString second = dir.filePath("second.fdl");
    QVERIFY(m_sim2.saveStore(second));
    QCOMPARE(fileContent(second), fileContent(exported));
    qInfo("1000 records over USB: export %lld ms, import %lld ms", exportMs, importMs);
}

void ExportsUsbTest::importFileSizes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("records");
    QTest::newRow("1092 bytes") << 1092 << 0 << 2;
    QTest::newRow("1000 bytes") << 1000 << 0 << 1;
    QTest::newRow("545 bytes") << 545 << 0 << 0;
    QTest::newRow("empty") << 0 << 9 << 0;
    QTest::newRow("missing") << -1 << 2 << 0;
}

void ExportsUsbTest::importFileSizes()
{
    QFETCH(int, size);
    QFETCH(int, expected);
    QFETCH(int, records);

    QTemporaryDir dir;
    QVERIFY(m_sim2.addUser("k1"));
    QVERIFY(m_sim2.addUser("k2"));
    const QString source = dir.filePath("source.fdl");
    QVERIFY(m_sim2.saveStore(source));
    QVERIFY(m_sim2.clearStore());
    const QString path = dir.filePath("in.fdl");
    if (size >= 0) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fileContent(source).left(size));
        file.close();
    }
    QByteArray name = QFile::encodeName(path);
    QCOMPARE(m_lib.ImportFinger(m_uri2.data(), name.data()), expected);
    QCOMPARE(m_sim2.users().size(), records);
}

FPSIM_USB_TEST_MAIN(ExportsUsbTest, "SIM0001", "SIM0002")
#include "tst_exports_usb.moc"
