// The exported functions of the built library against simulated network printers (TCP 10001 and
// SNMP on 127.0.0.x inside a private network namespace).

#include "FingerLibrary.h"
#include "Frames.h"
#include "SimulatedPrinters.h"

#include <QtTest>
#include <atomic>
#include <thread>

namespace
{
QByteArray recordsFile(const QList<QByteArray>& names)
{
    QByteArray all;
    quint16 id = 100;
    for (const QByteArray& name : names) {
        all += Frames::fdlRecord(name, id, char(id));
        ++id;
    }
    return all;
}

QList<QByteArray> namesOf(const QList<fpsim::ControlClient::User>& users)
{
    QList<QByteArray> names;
    for (const auto& u : users)
        names.append(u.name);
    return names;
}
} // namespace

class ExportsNetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void authenticationState();
    void checkAndDelete();
    void importOverTcp();
    void exportNeedsUsb();
    void verification();
    void cancelFromAnotherThread();
    void faults_data();
    void faults();
    void reachability();
    void reachabilityOfLongUris_data();
    void reachabilityOfLongUris();

private:
    FingerLibrary m_lib;
    fpsim::SimulatedNetPrinter m_first;
    fpsim::SimulatedNetPrinter m_second;
    QByteArray m_uri;
};

void ExportsNetTest::initTestCase()
{
    QVERIFY2(m_lib.load(), qPrintable(m_lib.error()));
    QVERIFY2(m_first.start("127.0.0.2"), qPrintable(m_first.errorString()));
    QVERIFY2(m_second.start("127.0.0.3"), qPrintable(m_second.errorString()));
    m_uri = m_first.deviceUri().toLatin1();
}

void ExportsNetTest::init()
{
    QVERIFY(m_first.control().clearFaults());
    QVERIFY(m_first.control().clearStore());
    QVERIFY(m_first.control().setState(0));
    QVERIFY(m_first.control().pressNothing());
}

void ExportsNetTest::authenticationState()
{
    QCOMPARE(m_lib.IsDeviceFingerOpen(m_uri.data()), 0);
    QVERIFY(m_lib.OpenFinger(m_uri.data()));
    QCOMPARE(m_first.control().state(), 1);
    QCOMPARE(m_lib.IsDeviceFingerOpenForPrint(m_uri.data()), 1);
    QVERIFY(m_first.control().setState(3));
    QCOMPARE(m_lib.IsDeviceFingerOpen(m_uri.data()), 3);
    QCOMPARE(m_lib.IsDeviceFingerOpenForPrint(m_uri.data()), 1);
    QVERIFY(m_lib.CloseFinger(m_uri.data()));
    QCOMPARE(m_first.control().state(), 0);

    // The other printer keeps its own state.
    QVERIFY(m_second.control().setState(4));
    QByteArray second = m_second.deviceUri().toLatin1();
    QCOMPARE(m_lib.IsDeviceFingerOpenForPrint(second.data()), 4);
    QCOMPARE(m_lib.IsDeviceFingerOpen(m_uri.data()), 0);
}

void ExportsNetTest::checkAndDelete()
{
    QVERIFY(m_first.control().addUser("alice"));
    QVERIFY(m_first.control().addUser("bob"));
    char alice[] = "alice";
    char carol[] = "carol";
    QCOMPARE(m_lib.CheckFinger(m_uri.data(), alice), 0);
    QCOMPARE(m_lib.CheckFinger(m_uri.data(), carol), 14);
    QCOMPARE(m_lib.DeleteFinger(m_uri.data(), carol), 14);
    QCOMPARE(m_lib.DeleteFinger(m_uri.data(), alice), 0);
    QCOMPARE(namesOf(m_first.control().users()), QList<QByteArray> { "bob" });
    QCOMPARE(m_lib.DeleteFingers(m_uri.data()), 0);
    QVERIFY(m_first.control().users().isEmpty());
}

void ExportsNetTest::importOverTcp()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("three.fdl");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(recordsFile({ "dora", "emil", "fritz" }));
    file.close();
    QByteArray name = QFile::encodeName(path);
    QCOMPARE(m_lib.ImportFinger(m_uri.data(), name.data()), 0);
    QCOMPARE(namesOf(m_first.control().users()), (QList<QByteArray> { "dora", "emil", "fritz" }));

    QVERIFY(m_first.control().injectFault("importfail"));
    QCOMPARE(m_lib.ImportFinger(m_uri.data(), name.data()), 5);
}

void ExportsNetTest::exportNeedsUsb()
{
    QTemporaryDir dir;
    QByteArray name = QFile::encodeName(dir.filePath("out.fdl"));
    int count = 0;
    QCOMPARE(m_lib.ExportFinger(m_uri.data(), name.data(), &count), -1);
    QVERIFY(!QFile::exists(dir.filePath("out.fdl")));
}

void ExportsNetTest::verification()
{
    QVERIFY(m_first.control().addUser("gina"));
    QVERIFY(m_first.control().pressFingerAtNextWait("gina", 100));
    char user[40] = {};
    short index = -1;
    QVERIFY(!m_lib.IsFingerPrint(m_uri.data(), user, &index)); // false: identified
    QCOMPARE(QByteArray(user), QByteArray("gina"));
    QVERIFY(index > 0);
}

void ExportsNetTest::cancelFromAnotherThread()
{
    char user[40] = {};
    short index = 0;
    std::atomic<bool> done { false };
    QElapsedTimer timer;
    timer.start();
    std::thread verifier([&] {
        QVERIFY(m_lib.IsFingerPrint(m_uri.data(), user, &index));
        done = true;
    });
    QTest::qWait(300);
    QVERIFY(!done);
    QVERIFY(m_lib.CancelFingerPrint(nullptr));
    verifier.join();
    QVERIFY(done);
    // One 5 s wait at most, not the 50 s of a whole verification.
    QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(m_first.control().receivedCodes().contains("DISC"));
}

void ExportsNetTest::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("check");
    QTest::newRow("busy") << "busy count=5" << 4;
    QTest::newRow("refused") << "refuse" << 5;
    QTest::newRow("a few not ready") << "notready=3" << 0;
    QTest::newRow("not ready storm, then answered on the next attempt") << "notready=22" << 0;
    QTest::newRow("dropped connection once") << "drop" << 0;
}

void ExportsNetTest::faults()
{
    QFETCH(QString, fault);
    QFETCH(int, check);
    QVERIFY(m_first.control().addUser("hans"));
    QVERIFY2(m_first.control().injectFault(fault + " code=CHCK"), qPrintable(m_first.control().lastError()));
    char hans[] = "hans";
    QCOMPARE(m_lib.CheckFinger(m_uri.data(), hans), check);
}

void ExportsNetTest::reachability()
{
    QCOMPARE(m_lib.IsDeviceConnectForPrint(m_uri.data()), 1);
    char nobody[] = "socket://127.0.0.9";
    QCOMPARE(m_lib.IsDeviceConnectForPrint(nobody), 0);
    // A network printer is never offered by discovery.
    char uri[256] = "unchanged";
    QVERIFY(!m_lib.IsDeviceConnect(uri));
}

void ExportsNetTest::reachabilityOfLongUris_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");
    QTest::newRow("255 bytes") << 255 << 1;
    QTest::newRow("256 bytes") << 256 << 0;
    QTest::newRow("300 bytes") << 300 << 0;
}

// The answering printer's URI padded with a path: cut to 255 bytes it would still name that
// printer, so only a URI that fits the field may count.
void ExportsNetTest::reachabilityOfLongUris()
{
    QFETCH(int, length);
    QFETCH(int, expected);
    QByteArray uri = m_uri + '/';
    uri += QByteArray(length - uri.size(), 'p');
    QCOMPARE(m_lib.IsDeviceConnectForPrint(uri.data()), expected);
}

QTEST_GUILESS_MAIN(ExportsNetTest)
#include "tst_exports_net.moc"
