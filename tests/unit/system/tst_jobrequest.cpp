// The Get-Jobs request that cups_get_job sends, inspected before it goes out.

#include "system/CupsQueries.h"

#include <QtTest>
#include <cups/cups.h>

namespace
{

QString stringOf(ipp_t* request, const char* name, ipp_tag_t tag)
{
    ipp_attribute_t* attr = ippFindAttribute(request, name, tag);
    if (!attr)
        return QStringLiteral("<absent>");
    if (ippGetGroupTag(attr) != IPP_TAG_OPERATION)
        return QStringLiteral("<wrong group>");
    return QString::fromUtf8(ippGetString(attr, 0, nullptr));
}

} // namespace

class TestJobRequest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void requestAttributes_data();
    void requestAttributes();
    void requestedAttributesInOrder();
};

void TestJobRequest::cleanup() { ippSetPort(631); }

void TestJobRequest::requestAttributes_data()
{
    QTest::addColumn<QString>("printer");
    QTest::addColumn<bool>("hasPrinter");
    QTest::addColumn<QString>("which");
    QTest::addColumn<bool>("hasWhich");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("whichJobs");
    QTest::newRow("every printer, all jobs") << "" << false << "" << false << 631 << "ipp://localhost/"
                                             << "all";
    QTest::newRow("one printer") << "ZPH_USB" << true << "not-completed" << true << 631
                                 << "ipp://localhost:631/printers/ZPH_USB"
                                 << "not-completed";
    QTest::newRow("port from ippPort") << "ZPH_USB" << true << "completed" << true << 8631
                                       << "ipp://localhost:8631/printers/ZPH_USB"
                                       << "completed";
    QTest::newRow("name is encoded") << "a b%c" << true << "" << false << 631
                                     << "ipp://localhost:631/printers/a%20b%25c"
                                     << "all";
    QTest::newRow("UTF-8 name") << QString::fromUtf8("打印机") << true << "" << false << 631
                                << "ipp://localhost:631/printers/%E6%89%93%E5%8D%B0%E6%9C%BA"
                                << "all";
    QTest::newRow("empty name") << "" << true << "" << false << 631 << "ipp://localhost:631/printers/"
                                << "all";
}

void TestJobRequest::requestAttributes()
{
    QFETCH(QString, printer);
    QFETCH(bool, hasPrinter);
    QFETCH(QString, which);
    QFETCH(bool, hasWhich);
    QFETCH(int, port);
    QFETCH(QString, uri);
    QFETCH(QString, whichJobs);

    ippSetPort(port);
    const QByteArray p = printer.toUtf8();
    const QByteArray w = which.toUtf8();
    ipp_t* request
        = cups_new_get_jobs_request(hasPrinter ? p.constData() : nullptr, hasWhich ? w.constData() : nullptr);
    QVERIFY(request);
    QCOMPARE(ippGetOperation(request), IPP_OP_GET_JOBS);
    QCOMPARE(stringOf(request, "printer-uri", IPP_TAG_URI), uri);
    QCOMPARE(stringOf(request, "which-jobs", IPP_TAG_KEYWORD), whichJobs);
    ippDelete(request);
}

void TestJobRequest::requestedAttributesInOrder()
{
    ipp_t* request = cups_new_get_jobs_request("ZPH_USB", nullptr);
    ipp_attribute_t* attr = ippFindAttribute(request, "requested-attributes", IPP_TAG_KEYWORD);
    QVERIFY(attr);
    QStringList names;
    for (int i = 0; i < ippGetCount(attr); ++i)
        names << QString::fromUtf8(ippGetString(attr, i, nullptr));
    QCOMPARE(names,
        (QStringList { "copies", "job-id", "job-k-octets", "job-name", "job-originating-user-name",
            "job-printer-state-message", "job-printer-uri", "job-state", "job-state-reasons", "time-at-creation",
            "time-at-completed", "job-media-sheets-completed", "job-media-sheets", "document-name" }));
    ippDelete(request);
}

QTEST_GUILESS_MAIN(TestJobRequest)
#include "tst_jobrequest.moc"
