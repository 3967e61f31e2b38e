// The fpsim command line.

#include "Options.h"

#include <QtTest>

using namespace fpsim;

class TestFpsimOptions : public QObject
{
    Q_OBJECT

private slots:
    void rejected_data();
    void rejected();
    void netOptions();
    void usbOptions();
};

void TestFpsimOptions::rejected_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no mode") << QStringList { "fpsim" };
    QTest::newRow("bad mode") << QStringList { "fpsim", "bluetooth" };
    QTest::newRow("net without address") << QStringList { "fpsim", "net" };
    QTest::newRow("net bad address") << QStringList { "fpsim", "net", "--address", "printer" };
    QTest::newRow("net with serial") << QStringList { "fpsim", "net", "--address", "127.0.0.2", "--serial", "S" };
    QTest::newRow("net with program") << QStringList { "fpsim", "net", "--address", "127.0.0.2", "--", "true" };
    QTest::newRow("usb without serial") << QStringList { "fpsim", "usb", "--", "true" };
    QTest::newRow("usb without program") << QStringList { "fpsim", "usb", "--serial", "S1" };
    QTest::newRow("usb same serial twice")
        << QStringList { "fpsim", "usb", "--serial", "S1", "--serial", "S1", "--", "true" };
    QTest::newRow("usb serial with =") << QStringList { "fpsim", "usb", "--serial", "A=B", "--", "true" };
    QTest::newRow("usb with address") << QStringList { "fpsim", "usb", "--serial", "S1", "--address", "127.0.0.2", "--",
        "true" };
    QTest::newRow("more controls than devices")
        << QStringList { "fpsim", "usb", "--serial", "S1", "--control", "a", "--control", "b", "--", "true" };
    QTest::newRow("port 70000") << QStringList { "fpsim", "net", "--address", "127.0.0.2", "--port", "70000" };
    QTest::newRow("auto delay reversed") << QStringList { "fpsim", "net", "--address", "127.0.0.2",
        "--auto-finger-delay", "900-100" };
    QTest::newRow("bad fault") << QStringList { "fpsim", "net", "--address", "127.0.0.2", "--fault", "explode" };
    QTest::newRow("time scale 0") << QStringList { "fpsim", "net", "--address", "127.0.0.2", "--time-scale", "0" };
    QTest::newRow("usb with print port") << QStringList { "fpsim", "usb", "--serial", "S1", "--print-port", "9100",
        "--", "true" };
    QTest::newRow("negative verify time-out")
        << QStringList { "fpsim", "net", "--address", "127.0.0.2", "--verify-timeout", "-1" };
    QTest::newRow("stray word") << QStringList { "fpsim", "net", "--address", "127.0.0.2", "extra" };
}

void TestFpsimOptions::rejected()
{
    QFETCH(QStringList, args);
    Options o;
    QString error;
    QVERIFY(!parseOptions(args, &o, &error));
    QVERIFY(!error.isEmpty());
}

void TestFpsimOptions::netOptions()
{
    Options o;
    QString error;
    QVERIFY2(parseOptions({ "fpsim", "net", "--address", "127.0.0.5", "--port", "0", "--snmp-port", "1161",
                              "--auto-finger", "--auto-finger-delay", "200-400", "--export-delay", "50", "--time-scale",
                              "0.5", "--fault", "busy code=DISC count=2", "--state", "3", "--control", "/tmp/x.sock",
                              "--print-port", "19100", "--verify-timeout", "3000" },
                 &o, &error),
        qPrintable(error));
    QVERIFY(o.mode == Options::Mode::Net);
    QCOMPARE(o.address.toString(), QString("127.0.0.5"));
    QCOMPARE(int(o.tcpPort), 0);
    QCOMPARE(int(o.snmpPort), 1161);
    QCOMPARE(int(o.printPort), 19100);
    QCOMPARE(o.printer.verifyTimeoutMs, 1500); // scaled by 0.5
    QVERIFY(o.printer.autoFinger);
    QCOMPARE(o.printer.autoFingerMinMs, 100); // scaled by 0.5
    QCOMPARE(o.printer.autoFingerMaxMs, 200);
    QCOMPARE(o.printer.exportDelayMs, 25);
    QCOMPARE(o.state, 3);
    QCOMPARE(o.faults.size(), 1);
    QCOMPARE(o.faults[0].toString(), QString("busy code=DISC count=2"));
    QCOMPARE(o.controlPaths, QStringList { "/tmp/x.sock" });
}

void TestFpsimOptions::usbOptions()
{
    Options o;
    QString error;
    QVERIFY2(parseOptions({ "fpsim", "usb", "--serial", "SIM1", "--serial", "SIM2", "--control", "/tmp/a", "--model",
                              "ZPH6100RMX Series", "--device-id-length", "exclusive", "--", "prog", "--serial", "x" },
                 &o, &error),
        qPrintable(error));
    QVERIFY(o.mode == Options::Mode::Usb);
    QCOMPARE(o.serials, (QStringList { "SIM1", "SIM2" }));
    QCOMPARE(o.controlPaths, QStringList { "/tmp/a" });
    QCOMPARE(o.program, (QStringList { "prog", "--serial", "x" })); // the program's own options stay its own
    QVERIFY(!o.deviceIdLengthInclusive);
    QCOMPARE(o.printer.model, QByteArray("ZPH6100RMX Series"));
}

QTEST_GUILESS_MAIN(TestFpsimOptions)
#include "tst_fpsim_options.moc"
