// The printer-system, log and socket-channel exports of the built libvrkt7xcommon.so, loaded with
// dlopen, on their fixed paths (/tmp/loglog.log, /usr/share/vrkt7x/sm.conf): this test runs in a
// private mount namespace where both are fresh tmpfs mounts.

#include "CupsSandbox.h"
#include "system/PrinterTypes.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QVariant>
#include <QtTest>
#include <cxxabi.h>
#include <dlfcn.h>

namespace
{

const char* const kLibrary = VRKT_BINARY_DIR "/lib/libvrkt7xcommon.so";

struct Symbol {
    const char* mangled;
    const char* declaration; // what it must demangle to; empty for variables (not mangled)
};

// Everything this part of the library exports, under its C++ name.
const Symbol kSymbols[] = {
    { "_Z17cups_get_printersPFiPvP14Printer_structES_", "cups_get_printers(int (*)(void*, Printer_struct*), void*)" },
    { "_Z12cups_get_jobPFvPvP10Job_structES_PKcS5_S5_",
        "cups_get_job(void (*)(void*, Job_struct*), void*, char const*, char const*, char const*)" },
    { "_Z24cups_get_default_printerv", "cups_get_default_printer()" },
    { "_Z19cups_get_device_uriPKcPc", "cups_get_device_uri(char const*, char*)" },
    { "_Z16get_device_modelPKcPc", "get_device_model(char const*, char*)" },
    { "_Z16cups_resolve_uriPKcPci", "cups_resolve_uri(char const*, char*, int)" },
    { "_Z20cups_usb_getDeviceIDPci", "cups_usb_getDeviceID(char*, int)" },
    { "_Z25get_string_from_shell_cmdRK7QStringi", "get_string_from_shell_cmd(QString const&, int)" },
    { "_Z19printer_is_printingRK7QString", "printer_is_printing(QString const&)" },
    { "_Z14is_app_runningPKc", "is_app_running(char const*)" },
    { "_Z11appSettingsRK7QStringR8QVariantRKS2_b", "appSettings(QString const&, QVariant&, QVariant const&, bool)" },
    { "_Z8log_initv", "log_init()" },
    { "_Z5hxlogPKcz", "hxlog(char const*, ...)" },
    { "_Z15setSockNonBlocki", "setSockNonBlock(int)" },
    { "_ZN12Trans_ServerC1Ev", "Trans_Server::Trans_Server()" },
    { "_ZN12Trans_ServerD1Ev", "Trans_Server::~Trans_Server()" },
    { "_ZN12Trans_Server12createServerEPKc", "Trans_Server::createServer(char const*)" },
    { "_ZN12Trans_Server20any_client_connectedEv", "Trans_Server::any_client_connected()" },
    { "_ZN12Trans_Server13readThenWriteEiPFiPvPciES0_",
        "Trans_Server::readThenWrite(int, int (*)(void*, char*, int), void*)" },
    { "_ZN12Trans_Server15get_server_pathEv", "Trans_Server::get_server_path()" },
    { "_ZN12Trans_ClientC1EPKc", "Trans_Client::Trans_Client(char const*)" },
    { "_ZN12Trans_Client18tryConnectToServerEv", "Trans_Client::tryConnectToServer()" },
    { "_ZN12Trans_Client13writeThenReadEPci", "Trans_Client::writeThenRead(char*, int)" },
    { "_ZN12ServerThreadC1EPKcP7QObject", "ServerThread::ServerThread(char const*, QObject*)" },
    { "_ZN12ServerThreadD1Ev", "ServerThread::~ServerThread()" },
    { "_ZN12ServerThread16get_trans_serverEv", "ServerThread::get_trans_server()" },
    { "_ZN12ServerThread14client_connectEi", "ServerThread::client_connect(int)" },
    { "_ZN12ServerThread10client_cmdE7QStringPv", "ServerThread::client_cmd(QString, void*)" },
    { "_ZN12ServerThread16staticMetaObjectE", "ServerThread::staticMetaObject" },
    { "_ZTV12ServerThread", "vtable for ServerThread" },
    { "filepath", "" },
    { "lockfile", "" },
    { "statusKey", "" },
    { "printersKey", "" },
    { "isDeviceSupported", "" },
    { "log_file", "" },
    { "log_app_name", "" },
    { "app_version", "" },
};

using GetPrintersFn = int (*)(int (*)(void*, Printer_struct*), void*);
using PrinterIsPrintingFn = bool (*)(const QString&);
using AppSettingsFn = bool (*)(const QString&, QVariant&, const QVariant&, bool);
using LogInitFn = void (*)();
using HxlogFn = int (*)(const char*, ...);
using IsDeviceSupportedFn = bool (*)(Printer_struct*);
using IsAppRunningFn = bool (*)(const char*);

int countPrinter(void* para, Printer_struct* printer)
{
    static_cast<QStringList*>(para)->append(QString::fromUtf8(printer->name));
    return 1;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestSystemExports : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyNameIsExported_data();
    void everyNameIsExported();
    void plainCNamesBesideTheFormerOnes_data();
    void plainCNamesBesideTheFormerOnes();
    void constantTexts_data();
    void constantTexts();
    void deviceHookStartsWithTheModelTest();
    void logFileOnItsFixedPath();
    void settingsOnTheirFixedPath();
    void cupsThroughTheLibrary();
    void serverThreadClassName();

private:
    template <typename T> T fn(const char* name) { return reinterpret_cast<T>(dlsym(m_lib, name)); }
    void* m_lib = nullptr;
};

// The helpers with plain C signatures are exported under their plain names too, and both names
// reach the same code.
void TestSystemExports::plainCNamesBesideTheFormerOnes_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("former");
    for (const Symbol& symbol : kSymbols) {
        const QByteArray declaration(symbol.declaration);
        if (!declaration.contains('(') || declaration.contains("::") || declaration.contains("QString"))
            continue;
        const QByteArray plain = declaration.left(declaration.indexOf('('));
        QTest::newRow(plain.constData()) << plain << QByteArray(symbol.mangled);
    }
}

void TestSystemExports::plainCNamesBesideTheFormerOnes()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, former);
    QVERIFY2(dlsym(m_lib, plain.constData()), plain.constData());
    QVERIFY2(dlsym(m_lib, former.constData()), former.constData());
    if (plain == "is_app_running") {
        const char* missing = "/tmp/.no-such-socket";
        QCOMPARE(fn<IsAppRunningFn>(plain.constData())(missing), false);
        QCOMPARE(fn<IsAppRunningFn>(former.constData())(missing), false);
        QCOMPARE(fn<IsAppRunningFn>(plain.constData())(""), true);
    }
}

void TestSystemExports::initTestCase()
{
    QVERIFY2(QFileInfo(QStringLiteral("/usr/share/vrkt7x")).isDir(), "run inside the test namespace");
    m_lib = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(m_lib, dlerror());
}

void TestSystemExports::cleanupTestCase()
{
    if (m_lib)
        dlclose(m_lib);
}

void TestSystemExports::everyNameIsExported_data()
{
    QTest::addColumn<QByteArray>("mangled");
    QTest::addColumn<QByteArray>("declaration");
    for (const Symbol& s : kSymbols)
        QTest::newRow(s.mangled) << QByteArray(s.mangled) << QByteArray(s.declaration);
}

void TestSystemExports::everyNameIsExported()
{
    QFETCH(QByteArray, mangled);
    QFETCH(QByteArray, declaration);
    if (!declaration.isEmpty()) {
        int status = 0;
        char* text = abi::__cxa_demangle(mangled.constData(), nullptr, nullptr, &status);
        QCOMPARE(status, 0);
        const QByteArray demangled(text);
        free(text);
        QCOMPARE(demangled, declaration);
    }
    QVERIFY2(dlsym(m_lib, mangled.constData()), mangled.constData());
}

void TestSystemExports::constantTexts_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("filepath") << QByteArray("filepath") << QByteArray("/tmp/.statusmonitor");
    QTest::newRow("lockfile") << QByteArray("lockfile") << QByteArray("/tmp/.lockstatusmonitor");
    QTest::newRow("statusKey") << QByteArray("statusKey") << QByteArray("printer/status/");
    QTest::newRow("printersKey") << QByteArray("printersKey") << QByteArray("printer/mdl/");
    QTest::newRow("log_file") << QByteArray("log_file") << QByteArray("/tmp/loglog.log");
    QTest::newRow("log_app_name") << QByteArray("log_app_name") << QByteArray("statusmonitor");
    QTest::newRow("app_version") << QByteArray("app_version") << QByteArray("1.0.0.1");
}

void TestSystemExports::constantTexts()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    auto* text = static_cast<const char* const*>(dlsym(m_lib, name.constData()));
    QVERIFY(text && *text);
    QCOMPARE(QByteArray(*text), value);
}

void TestSystemExports::deviceHookStartsWithTheModelTest()
{
    auto* hook = static_cast<IsDeviceSupportedFn*>(dlsym(m_lib, "isDeviceSupported"));
    QVERIFY(hook && *hook);
    Printer_struct p {};
    copyField(p.name, "ZPH_USB");
    copyField(p.makeAndModel, "Maker ZPH6100RMX Series");
    QCOMPARE((*hook)(&p), true);
    copyField(p.makeAndModel, "Other Laser 100");
    QCOMPARE((*hook)(&p), false);
}

void TestSystemExports::logFileOnItsFixedPath()
{
    auto logInit = fn<LogInitFn>("_Z8log_initv");
    auto hx = fn<HxlogFn>("_Z5hxlogPKcz");
    QVERIFY(logInit && hx);
    QCOMPARE(hx("before init\n"), -1);
    QVERIFY(!QFileInfo::exists("/tmp/loglog.log"));

    const QDateTime before = QDateTime::currentDateTimeUtc();
    logInit();
    const QDateTime after = QDateTime::currentDateTimeUtc();
    const QFileInfo link("/tmp/loglog.log");
    QVERIFY(link.isSymLink());
    const QString target = link.symLinkTarget();
    QVERIFY2(target == "/tmp/loglog_" + before.toString("yyyyMMddhhmmss") + ".log"
            || target == "/tmp/loglog_" + after.toString("yyyyMMddhhmmss") + ".log",
        qPrintable(target));
    QCOMPARE(hx("job %d held on %s\n", 7, "ZPH_USB"), 22);
    const QByteArray text = readAll("/tmp/loglog.log");
    QVERIFY(text.startsWith("--------statusmonitor v1.0.0.1-------\n\n"));
    QVERIFY(text.endsWith(readAll("/etc/issue") + "job 7 held on ZPH_USB\n"));
}

void TestSystemExports::settingsOnTheirFixedPath()
{
    auto settings = fn<AppSettingsFn>("_Z11appSettingsRK7QStringR8QVariantRKS2_b");
    QVERIFY(settings);
    QVariant value;
    QVERIFY(settings("printer/status/ZPH_USB", value, QVariant("unknown"), false));
    QCOMPARE(value, QVariant("unknown"));
    value = QVariant("printing");
    QVERIFY(settings("printer/status/ZPH_USB", value, QVariant(), true));
    QVariant readBack;
    QVERIFY(settings("printer/status/ZPH_USB", readBack, QVariant("unknown"), false));
    QCOMPARE(readBack.toString(), QString("printing"));
    const QByteArray text = readAll("/usr/share/vrkt7x/sm.conf");
    QVERIFY2(text.contains("[printer]") && text.contains("printing"), text.constData());
}

void TestSystemExports::cupsThroughTheLibrary()
{
    CupsSandbox cups;
    QVERIFY2(cups.start(), qPrintable(cups.lastError()));
    QVERIFY2(cups.addQueue("ZPH_USB", "usb://Maker/ZPH6100RMX?serial=SIM0001", "Maker ZPH6100RMX Series"),
        qPrintable(cups.lastError()));
    auto getPrinters = fn<GetPrintersFn>("_Z17cups_get_printersPFiPvP14Printer_structES_");
    auto isPrinting = fn<PrinterIsPrintingFn>("_Z19printer_is_printingRK7QString");
    auto isRunning = fn<IsAppRunningFn>("_Z14is_app_runningPKc");
    QVERIFY(getPrinters && isPrinting && isRunning);
    QStringList names;
    QCOMPARE(getPrinters(countPrinter, &names), 0);
    QCOMPARE(names, QStringList { "ZPH_USB" });
    QCOMPARE(isPrinting("ZPH_USB"), false);
    QVERIFY(cups.submitHeldJob("ZPH_USB") > 0);
    QCOMPARE(isPrinting("ZPH_USB"), true);
    // cupsd's own socket is a local server that is running.
    QCOMPARE(isRunning(QFile::encodeName(cups.socketPath()).constData()), true);
    cups.stop();
    QCOMPARE(isRunning(QFile::encodeName(cups.socketPath()).constData()), false);
}

void TestSystemExports::serverThreadClassName()
{
    auto* mo = static_cast<const QMetaObject*>(dlsym(m_lib, "_ZN12ServerThread16staticMetaObjectE"));
    QVERIFY(mo);
    QCOMPARE(QByteArray(mo->className()), QByteArray("ServerThread"));
    QVERIFY(mo->indexOfSignal("client_connect(int)") >= 0);
    QVERIFY(mo->indexOfSignal("client_cmd(QString,void*)") >= 0);
}

QTEST_GUILESS_MAIN(TestSystemExports)
#include "tst_systemexports.moc"
