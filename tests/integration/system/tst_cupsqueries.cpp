// The CUPS queries against a private cupsd: printers, default, device URI and model lookups,
// URI resolution and jobs.

#include "CupsSandbox.h"
#include "system/CupsManager.h"
#include "system/CupsQueries.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QtTest>
#include <cstring>
#include <cups/cups.h>

namespace
{

struct Seen {
    QList<Printer_struct> printers;
    int stopAfter = -1; // return 0 from the callback after this many records
};

int collectPrinter(void* para, Printer_struct* printer)
{
    auto* seen = static_cast<Seen*>(para);
    seen->printers.append(*printer);
    return (seen->stopAfter > 0 && seen->printers.size() >= seen->stopAfter) ? 0 : 1;
}

void collectJob(void* para, Job_struct* job) { static_cast<QList<Job_struct>*>(para)->append(*job); }

const Printer_struct* findPrinter(const QList<Printer_struct>& list, const char* name)
{
    for (const Printer_struct& p : list)
        if (strcmp(p.name, name) == 0)
            return &p;
    return nullptr;
}

// A field of 256 bytes between canaries, to see that a copy stays inside it.
struct GuardedField {
    char before[16];
    char field[kFieldSize];
    char after[16];
    GuardedField()
    {
        memset(before, 0x5a, sizeof before);
        memset(field, 'x', sizeof field);
        field[kFieldSize - 1] = '\0';
        memset(after, 0x5a, sizeof after);
    }
    bool guardsIntact() const
    {
        for (char c : before)
            if (c != 0x5a)
                return false;
        for (char c : after)
            if (c != 0x5a)
                return false;
        return true;
    }
};

const QString kUsbUri = QStringLiteral("usb://Maker/ZPH6100RMX?serial=SIM0001");
const QString kLongUri = QStringLiteral("usb://Maker/ZPH6100RMX?serial=") + QString(300, QLatin1Char('S'));

} // namespace

class TestCupsQueries : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printersCarryTheirQueueData_data();
    void printersCarryTheirQueueData();
    void callbackStopsTheWalk();
    void nullCallbackIsRefused();
    void managerForwardsOrWalksWithoutCallback();
    void longValuesAreCutAt255();
    void lookupsByName_data();
    void lookupsByName();
    void unknownNameLeavesBufferUntouched();
    void defaultPrinterFollowsTheServer();
    void resolveUri_data();
    void resolveUri();
    void jobsOfOneQueue();
    void jobsOfAllQueuesAndWhich();
    void jobErrorsAreReported_data();
    void jobErrorsAreReported();
    void noServerMeansNoPrinters();

private:
    CupsSandbox m_cups;
};

void TestCupsQueries::initTestCase()
{
    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    QVERIFY2(m_cups.addQueue("ZPH_USB", kUsbUri, "Maker ZPH6100RMX Series"), qPrintable(m_cups.lastError()));
    QVERIFY2(m_cups.addQueue("ZPH_NET", "socket://127.0.0.2:9100", "Maker ZPH6100RMX Series"),
        qPrintable(m_cups.lastError()));
    QVERIFY2(m_cups.addQueue("Other_DNSSD", "dnssd://Other%20Laser._ipp._tcp.local/", "Other Laser 100"),
        qPrintable(m_cups.lastError()));
    QVERIFY2(m_cups.addQueue("Plain_Raw", "socket://127.0.0.3"), qPrintable(m_cups.lastError()));
    QVERIFY2(m_cups.addQueue("Long_Uri", kLongUri, "Maker ZPH6100RMX Series"), qPrintable(m_cups.lastError()));
}

void TestCupsQueries::printersCarryTheirQueueData_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("uri");
    QTest::newRow("usb") << "ZPH_USB"
                         << "Maker ZPH6100RMX Series" << kUsbUri;
    QTest::newRow("socket") << "ZPH_NET"
                            << "Maker ZPH6100RMX Series"
                            << "socket://127.0.0.2:9100";
    QTest::newRow("dnssd") << "Other_DNSSD"
                           << "Other Laser 100"
                           << "dnssd://Other%20Laser._ipp._tcp.local/";
    QTest::newRow("no PPD") << "Plain_Raw"
                            << "Local Raw Printer"
                            << "socket://127.0.0.3";
}

void TestCupsQueries::printersCarryTheirQueueData()
{
    QFETCH(QString, name);
    QFETCH(QString, model);
    QFETCH(QString, uri);
    Seen seen;
    QCOMPARE(cups_get_printers(collectPrinter, &seen), 0);
    QCOMPARE(seen.printers.size(), 5);
    const Printer_struct* p = findPrinter(seen.printers, name.toUtf8().constData());
    QVERIFY(p);
    QCOMPARE(QString::fromUtf8(p->makeAndModel), model);
    QCOMPARE(QString::fromUtf8(p->deviceUri), uri);
    QCOMPARE(p->connectTo[0], '\0');
    QCOMPARE(p->isDefault, false);
}

void TestCupsQueries::callbackStopsTheWalk()
{
    Seen seen;
    seen.stopAfter = 1;
    QCOMPARE(cups_get_printers(collectPrinter, &seen), 0);
    QCOMPARE(seen.printers.size(), 1);
    seen = Seen();
    seen.stopAfter = 3;
    QCOMPARE(cups_get_printers(collectPrinter, &seen), 0);
    QCOMPARE(seen.printers.size(), 3);
}

void TestCupsQueries::nullCallbackIsRefused() { QCOMPARE(cups_get_printers(nullptr, nullptr), -2); }

void TestCupsQueries::managerForwardsOrWalksWithoutCallback()
{
    CupsManager manager;
    Seen seen;
    QCOMPARE(manager.getPrinters(collectPrinter, &seen), 0);
    QCOMPARE(seen.printers.size(), 5);
    QVERIFY(findPrinter(seen.printers, "ZPH_USB"));
    seen = Seen();
    seen.stopAfter = 2;
    QCOMPARE(manager.getPrinters(collectPrinter, &seen), 0);
    QCOMPARE(seen.printers.size(), 2);
    QCOMPARE(manager.getPrinters(nullptr, nullptr), 0);
}

void TestCupsQueries::longValuesAreCutAt255()
{
    Seen seen;
    QCOMPARE(cups_get_printers(collectPrinter, &seen), 0);
    const Printer_struct* p = findPrinter(seen.printers, "Long_Uri");
    QVERIFY(p);
    QCOMPARE(strnlen(p->deviceUri, kFieldSize), size_t(255));
    QCOMPARE(QByteArray(p->deviceUri), kLongUri.left(255).toLatin1());
    QCOMPARE(p->connectTo[0], '\0');

    GuardedField uri;
    QCOMPARE(cups_get_device_uri("Long_Uri", uri.field), 0);
    QCOMPARE(QByteArray(uri.field), kLongUri.left(255).toLatin1());
    QVERIFY(uri.guardsIntact());

    // A PPD line cannot carry a make-and-model that long, but the user's lpoptions file can
    // override the option for libcups.
    const QByteArray longModel = "Maker ZPH6100RMX " + QByteArray(400, 'M');
    QVERIFY(QDir().mkpath(m_cups.dir() + "/home/.cups"));
    QFile lpoptions(m_cups.dir() + "/home/.cups/lpoptions");
    QVERIFY(lpoptions.open(QIODevice::WriteOnly | QIODevice::Truncate));
    lpoptions.write("Dest ZPH_NET printer-make-and-model='" + longModel + "'\n");
    lpoptions.close();
    auto removeLpoptions = qScopeGuard([&] { lpoptions.remove(); });

    GuardedField mm;
    QCOMPARE(get_device_model("ZPH_NET", mm.field), 0);
    QCOMPARE(QByteArray(mm.field), longModel.left(255));
    QVERIFY(mm.guardsIntact());
    seen = Seen();
    QCOMPARE(cups_get_printers(collectPrinter, &seen), 0);
    p = findPrinter(seen.printers, "ZPH_NET");
    QVERIFY(p);
    QCOMPARE(QByteArray(p->makeAndModel), longModel.left(255));
    QCOMPARE(QByteArray(p->deviceUri), QByteArray("socket://127.0.0.2:9100"));
}

void TestCupsQueries::lookupsByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("model");
    QTest::newRow("usb") << "ZPH_USB" << kUsbUri << "Maker ZPH6100RMX Series";
    QTest::newRow("dnssd") << "Other_DNSSD"
                           << "dnssd://Other%20Laser._ipp._tcp.local/"
                           << "Other Laser 100";
    QTest::newRow("no PPD") << "Plain_Raw"
                            << "socket://127.0.0.3"
                            << "Local Raw Printer";
}

void TestCupsQueries::lookupsByName()
{
    QFETCH(QString, name);
    QFETCH(QString, uri);
    QFETCH(QString, model);
    GuardedField u, m;
    QCOMPARE(cups_get_device_uri(name.toUtf8().constData(), u.field), 0);
    QCOMPARE(QString::fromUtf8(u.field), uri);
    QCOMPARE(get_device_model(name.toUtf8().constData(), m.field), 0);
    QCOMPARE(QString::fromUtf8(m.field), model);
    QVERIFY(u.guardsIntact() && m.guardsIntact());
}

void TestCupsQueries::unknownNameLeavesBufferUntouched()
{
    char buffer[kFieldSize];
    strcpy(buffer, "untouched");
    QCOMPARE(cups_get_device_uri("No_Such_Queue", buffer), 0);
    QCOMPARE(QByteArray(buffer), QByteArray("untouched"));
    QCOMPARE(get_device_model("No_Such_Queue", buffer), 0);
    QCOMPARE(QByteArray(buffer), QByteArray("untouched"));
    // A null name is not the default printer.
    QCOMPARE(cups_get_device_uri(nullptr, buffer), 0);
    QCOMPARE(QByteArray(buffer), QByteArray("untouched"));
}

void TestCupsQueries::defaultPrinterFollowsTheServer()
{
    QCOMPARE(cups_get_default_printer(), nullptr);
    CupsManager manager;
    QCOMPARE(manager.getDefaultPrinter(), nullptr);

    QVERIFY2(m_cups.setDefault("ZPH_NET"), qPrintable(m_cups.lastError()));
    QCOMPARE(QByteArray(cups_get_default_printer()), QByteArray("ZPH_NET"));
    QCOMPARE(QByteArray(manager.getDefaultPrinter()), QByteArray("ZPH_NET"));
    Seen seen;
    QCOMPARE(cups_get_printers(collectPrinter, &seen), 0);
    int defaults = 0;
    for (const Printer_struct& p : seen.printers)
        defaults += p.isDefault ? 1 : 0;
    QCOMPARE(defaults, 1);
    QVERIFY(findPrinter(seen.printers, "ZPH_NET")->isDefault);

    QVERIFY2(m_cups.clearDefault(), qPrintable(m_cups.lastError()));
    QCOMPARE(cups_get_default_printer(), nullptr);
    seen = Seen();
    QCOMPARE(cups_get_printers(collectPrinter, &seen), 0);
    for (const Printer_struct& p : seen.printers)
        QVERIFY2(!p.isDefault, p.name);
}

void TestCupsQueries::resolveUri_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<int>("bufsize");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("socket unchanged") << "socket://127.0.0.2:9100" << 256 << 0 << "socket://127.0.0.2:9100";
    QTest::newRow("usb unchanged") << kUsbUri << 256 << 0 << kUsbUri;
    QTest::newRow("cut to the buffer") << "socket://127.0.0.2:9100" << 10 << 0 << "socket://";
    // No avahi here: a dnssd:// URI cannot be resolved.
    QTest::newRow("dnssd fails") << "dnssd://Other%20Laser._ipp._tcp.local/" << 256 << -1 << "";
    QTest::newRow("no buffer space") << "socket://127.0.0.2:9100" << 0 << -1 << "";
}

void TestCupsQueries::resolveUri()
{
    QFETCH(QString, uri);
    QFETCH(int, bufsize);
    QFETCH(int, result);
    QFETCH(QString, resolved);
    GuardedField out;
    QCOMPARE(cups_resolve_uri(uri.toUtf8().constData(), out.field, bufsize), result);
    if (bufsize > 0)
        QCOMPARE(QString::fromUtf8(out.field), resolved);
    else
        QCOMPARE(out.field[0], 'x');
    QVERIFY(out.guardsIntact());
}

void TestCupsQueries::jobsOfOneQueue()
{
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const int id1 = m_cups.submitHeldJob("ZPH_USB", "first job");
    const int id2 = m_cups.submitHeldJob("ZPH_USB", "second job");
    const int other = m_cups.submitHeldJob("ZPH_NET", "elsewhere");
    QVERIFY2(id1 > 0 && id2 > 0 && other > 0, qPrintable(m_cups.lastError()));

    QList<Job_struct> jobs;
    CupsManager manager;
    QCOMPARE(manager.getJobs(collectJob, &jobs, "ZPH_USB", nullptr, nullptr), 0);
    QCOMPARE(jobs.size(), 2);
    QList<int> ids;
    for (const Job_struct& job : jobs) {
        ids << job.id;
        QCOMPARE(QByteArray(job.printer), QByteArray("ZPH_USB"));
        QCOMPARE(job.state, int(IPP_JSTATE_HELD));
        QCOMPARE(job.copies, 1);
        QCOMPARE(job.pages_completed, 0);
        QVERIFY(job.document_size >= 0);
        QVERIFY(job.timet >= before - 1 && job.timet <= QDateTime::currentSecsSinceEpoch() + 1);
        QVERIFY(job.time[0] != '\0');
        // cupsd sends job-name as a name (not text) value: reported as "unknown".
        QCOMPARE(QByteArray(job.name), QByteArray("unknown"));
        QVERIFY(job.user_name[0] != '\0');
        QVERIFY(strcmp(job.user_name, "unknown") != 0);
    }
    std::sort(ids.begin(), ids.end());
    QCOMPARE(ids, (QList<int> { id1, id2 }));
}

void TestCupsQueries::jobsOfAllQueuesAndWhich()
{
    QList<Job_struct> jobs;
    QCOMPARE(cups_get_job(collectJob, &jobs, nullptr, nullptr, nullptr), 0);
    QSet<QByteArray> printers;
    for (const Job_struct& job : jobs)
        printers.insert(job.printer);
    QVERIFY(printers.contains("ZPH_USB"));
    QVERIFY(printers.contains("ZPH_NET"));

    jobs.clear();
    QCOMPARE(cups_get_job(collectJob, &jobs, "ZPH_NET", "completed", nullptr), 0);
    QCOMPARE(jobs.size(), 0);
    QCOMPARE(cups_get_job(collectJob, &jobs, "ZPH_NET", "not-completed", nullptr), 0);
    QCOMPARE(jobs.size(), 1);
    // A null callback only walks.
    QCOMPARE(cups_get_job(nullptr, nullptr, "ZPH_NET", nullptr, nullptr), 0);
    // No jobs at all on a queue.
    jobs.clear();
    QCOMPARE(cups_get_job(collectJob, &jobs, "Plain_Raw", nullptr, nullptr), 0);
    QCOMPARE(jobs.size(), 0);
}

void TestCupsQueries::jobErrorsAreReported_data()
{
    QTest::addColumn<QString>("printer");
    QTest::addColumn<bool>("dropPrinterUri");
    QTest::newRow("unknown queue") << "No_Such_Queue" << false;
    QTest::newRow("bad request") << "ZPH_USB" << true;
}

void TestCupsQueries::jobErrorsAreReported()
{
    QFETCH(QString, printer);
    QFETCH(bool, dropPrinterUri);
    ipp_t* request = cups_new_get_jobs_request(printer.toUtf8().constData(), nullptr);
    if (dropPrinterUri) {
        ipp_attribute_t* attr = ippFindAttribute(request, "printer-uri", IPP_TAG_URI);
        QVERIFY(attr);
        ippDeleteAttribute(request, attr);
    }
    QList<Job_struct> jobs;
    QCOMPARE(cups_get_job_with_request(collectJob, &jobs, request), 1);
    QVERIFY(jobs.isEmpty());
    if (dropPrinterUri)
        QCOMPARE(cupsLastError(), IPP_STATUS_ERROR_BAD_REQUEST);
    else
        QVERIFY(cupsLastError() > IPP_STATUS_OK_CONFLICTING);
}

void TestCupsQueries::noServerMeansNoPrinters()
{
    m_cups.stop();
    Seen seen;
    QCOMPARE(cups_get_printers(collectPrinter, &seen), 0);
    QCOMPARE(seen.printers.size(), 0);
    QCOMPARE(cups_get_default_printer(), nullptr);
    QList<Job_struct> jobs;
    QCOMPARE(cups_get_job(collectJob, &jobs, "ZPH_USB", nullptr, nullptr), 1);
    QVERIFY(jobs.isEmpty());
    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    QCOMPARE(cups_get_printers(collectPrinter, &seen), 0);
    QVERIFY(seen.printers.size() >= 5);
}

QTEST_GUILESS_MAIN(TestCupsQueries)
#include "tst_cupsqueries.moc"
