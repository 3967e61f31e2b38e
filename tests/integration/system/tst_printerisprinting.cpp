// printer_is_printing against a private cupsd with the real lpstat and grep, queue names that a
// shell would read as commands included.

#include "CupsSandbox.h"
#include "system/ShellHelpers.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

class TestPrinterIsPrinting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void answersForEveryQueueName_data();
    void answersForEveryQueueName();
    void unquotedNameWouldRunCommands();
    void onlyTheNamedQueueCounts();
    void emptyNameIsIdleEvenWithJobs();
    void quotedNameIsOneLiteralWord_data();
    void quotedNameIsOneLiteralWord();

private:
    CupsSandbox m_cups;
    QTemporaryDir m_workDir;
    QString m_previousDir;
};

void TestPrinterIsPrinting::initTestCase()
{
    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    QVERIFY(m_workDir.isValid());
    for (const char* name : { "ZPH_USB", "ZPH_USB_NOSN", "Idle_Queue" })
        QVERIFY2(m_cups.addQueue(name, "usb://Maker/ZPH6100RMX?serial=SIM0001", "Maker ZPH6100RMX Series"),
            qPrintable(m_cups.lastError()));
}

// The shell commands run in an empty directory of their own, so that anything a crafted queue
// name would make the shell create shows up there.
void TestPrinterIsPrinting::init()
{
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_workDir.path()));
}

void TestPrinterIsPrinting::cleanup() { QDir::setCurrent(m_previousDir); }

void TestPrinterIsPrinting::answersForEveryQueueName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("takesJobs");
    // Names that CUPS accepts and that a shell would otherwise act upon.
    QTest::newRow("plain") << "ZPH_Plain" << true;
    QTest::newRow("semicolon") << "a;touch${IFS}pwned_semicolon" << true;
    QTest::newRow("redirect") << "e;touch>pwned_redirect" << true;
    QTest::newRow("pipe") << "x|tee${IFS}pwned_pipe" << true;
    QTest::newRow("ampersand") << "q&touch${IFS}pwned_amp&" << true;
    QTest::newRow("dollar") << "d$(touch${IFS}pwned_dollar)" << true;
    QTest::newRow("backquote") << "b`touch${IFS}pwned_backquote`" << true;
    QTest::newRow("parentheses") << "p(q)" << true;
    // cupsd creates such a queue but refuses jobs for it ("Forbidden").
    QTest::newRow("angle brackets") << "l<m>pwned_angle" << false;
    QTest::newRow("dot") << "a.b" << true;
}

void TestPrinterIsPrinting::answersForEveryQueueName()
{
    QFETCH(QString, name);
    QFETCH(bool, takesJobs);
    QVERIFY2(
        m_cups.addQueue(name, "socket://127.0.0.2:9100", "Maker ZPH6100RMX Series"), qPrintable(m_cups.lastError()));
    auto removeQueue = qScopeGuard([&] { m_cups.removeQueue(name); });

    QCOMPARE(printer_is_printing(name), false);
    QVERIFY2(QDir(m_workDir.path()).isEmpty(), qPrintable(QDir(m_workDir.path()).entryList().join(' ')));
    if (!takesJobs)
        return;

    const int id = m_cups.submitHeldJob(name);
    QVERIFY2(id > 0, qPrintable(m_cups.lastError()));
    QCOMPARE(printer_is_printing(name), true);
    QVERIFY2(QDir(m_workDir.path()).isEmpty(), qPrintable(QDir(m_workDir.path()).entryList().join(' ')));

    QVERIFY2(m_cups.cancelJobs(name), qPrintable(m_cups.lastError()));
    QCOMPARE(printer_is_printing(name), false);
}

// The check above can see an injection: the same name put into the command unquoted does run.
void TestPrinterIsPrinting::unquotedNameWouldRunCommands()
{
    const QString name = "e;touch>pwned_unquoted";
    get_string_from_shell_cmd("LANG=en lpstat -l -o " + name + " 2>>/dev/null|grep -w " + name, 0);
    QVERIFY(QFile::exists(m_workDir.path() + "/pwned_unquoted"));
    QVERIFY(QFile::remove(m_workDir.path() + "/pwned_unquoted"));
}

void TestPrinterIsPrinting::onlyTheNamedQueueCounts()
{
    QCOMPARE(printer_is_printing("ZPH_USB"), false);
    QVERIFY(m_cups.submitHeldJob("ZPH_USB_NOSN") > 0);
    // "ZPH_USB" is not a whole word of "ZPH_USB_NOSN".
    QCOMPARE(printer_is_printing("ZPH_USB"), false);
    QCOMPARE(printer_is_printing("ZPH_USB_NOSN"), true);
    QVERIFY(m_cups.submitHeldJob("ZPH_USB") > 0);
    QCOMPARE(printer_is_printing("ZPH_USB"), true);
    QCOMPARE(printer_is_printing("Idle_Queue"), false);
    QCOMPARE(printer_is_printing("No_Such_Queue"), false);
    QVERIFY(m_cups.cancelJobs("ZPH_USB"));
    QVERIFY(m_cups.cancelJobs("ZPH_USB_NOSN"));
}

void TestPrinterIsPrinting::emptyNameIsIdleEvenWithJobs()
{
    QVERIFY(m_cups.submitHeldJob("ZPH_USB") > 0);
    // An unquoted empty name left grep without a pattern (no match); a quoted one would match
    // every line of every queue.
    QCOMPARE(printer_is_printing(QString()), false);
    QCOMPARE(printer_is_printing(""), false);
    QVERIFY(m_cups.cancelJobs("ZPH_USB"));
}

void TestPrinterIsPrinting::quotedNameIsOneLiteralWord_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "ZPH_USB";
    QTest::newRow("metacharacters") << "a;b|c&d$e`f(g)h<i>j*k?l[m] n\\o\"p";
    QTest::newRow("single quote") << "it's";
    QTest::newRow("only quotes") << "''";
    QTest::newRow("newline") << "a\nb";
}

// The same quoting, checked with the shell itself: it must read back exactly one word.
void TestPrinterIsPrinting::quotedNameIsOneLiteralWord()
{
    QFETCH(QString, name);
    const QString out = get_string_from_shell_cmd("printf '%s|' " + shellQuoted(name), 1);
    QCOMPARE(out, name + '|');
    QVERIFY2(QDir(m_workDir.path()).isEmpty(), qPrintable(QDir(m_workDir.path()).entryList().join(' ')));
}

QTEST_GUILESS_MAIN(TestPrinterIsPrinting)
#include "tst_printerisprinting.moc"
