// The log file, in a temporary directory, with the library clock fixed.

#include "FakeClock.h"
#include "ipc/HxLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// 2023-11-14 22:13:20 UTC, where FakeClock starts.
constexpr time_t kStart = 1700000000;

int hxlogTo(HxLog& log, const char* format, ...) __attribute__((format(printf, 2, 3)));
int hxlogTo(HxLog& log, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = log.log(format, args);
    va_end(args);
    return n;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// How many descriptors of this process are open on path.
int openDescriptorsOn(const QString& path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    const QDir fds("/proc/self/fd");
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            ++count;
    }
    return count;
}

} // namespace

class TestHxLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void fileNamesAreUtcTimestamps_data();
    void fileNamesAreUtcTimestamps();
    void logBeforeInitWritesNothing();
    void initWritesHeaderAndSystemDescription();
    void shellErrorsGoIntoTheFile();
    void appendsFormattedTextAsIs();
    void sameSecondTruncatesAndKeepsTheLink();
    void laterInitMovesTheLinkAndKeepsOldFiles();
    void secondInitClosesTheFirstStream();
    void uncreatableFileLeavesLogClosed();
    void linkPlantedDuringInitIsNotFollowed();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString link() const { return m_dir->filePath("loglog.log"); }
};

void TestHxLog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestHxLog::fileNamesAreUtcTimestamps_data()
{
    QTest::addColumn<qint64>("when");
    QTest::addColumn<QString>("name");
    QTest::newRow("epoch") << qint64(0) << "loglog_19700101000000.log";
    QTest::newRow("fake clock start") << qint64(kStart) << "loglog_20231114221320.log";
    QTest::newRow("leap day") << qint64(1709164799) << "loglog_20240228235959.log";
}

void TestHxLog::fileNamesAreUtcTimestamps()
{
    QFETCH(qint64, when);
    QFETCH(QString, name);
    // The local time zone must not matter.
    qputenv("TZ", "Asia/Shanghai");
    tzset();
    HxLog log(qPrintable(m_dir->path()), qPrintable(link()));
    QCOMPARE(QString::fromStdString(log.fileNameFor(static_cast<time_t>(when))), m_dir->filePath(name));
    qunsetenv("TZ");
    tzset();
}

void TestHxLog::logBeforeInitWritesNothing()
{
    HxLog log(qPrintable(m_dir->path()), qPrintable(link()));
    QCOMPARE(hxlogTo(log, "hello %d\n", 1), -1);
    QVERIFY(QDir(m_dir->path()).isEmpty());
    // The library's own log before log_init.
    QCOMPARE(hxlog("not logged\n"), -1);
}

void TestHxLog::initWritesHeaderAndSystemDescription()
{
    FakeClock clock;
    // The link of an earlier run, whose file is gone.
    QVERIFY(QFile::link(m_dir->filePath("loglog_20000101000000.log"), link()));
    HxLog log(qPrintable(m_dir->path()), qPrintable(link()));
    log.init();
    QVERIFY(log.file);
    const QString file = m_dir->filePath("loglog_20231114221320.log");
    QVERIFY(QFile::exists(file));
    QCOMPARE(QFileInfo(link()).symLinkTarget(), file);

    struct stat st {
    };
    QCOMPARE(stat(QFile::encodeName(file).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0666));

    const QByteArray text = readAll(file);
    const QByteArray header = "--------statusmonitor v1.0.0.1-------\n\n";
    QVERIFY2(text.startsWith(header), text.constData());
    QByteArray uname = readAll("/proc/sys/kernel/ostype").trimmed(); // "Linux"
    QVERIFY2(text.mid(header.size()).startsWith(uname), text.constData());
    const QByteArray issue = readAll("/etc/issue");
    QVERIFY(!issue.isEmpty());
    QVERIFY2(text.endsWith(issue), text.constData());
    // Nothing went wrong in the shell commands (their errors would be in the file).
    QCOMPARE(text.count('\n'), 3 + issue.count('\n'));
}

void TestHxLog::shellErrorsGoIntoTheFile()
{
    FakeClock clock;
    // No link yet: "rm" complains, into the new file.
    HxLog log(qPrintable(m_dir->path()), qPrintable(link()));
    log.init();
    const QByteArray text = readAll(QString::fromStdString(log.fileNameFor(kStart)));
    const QByteArray header = "--------statusmonitor v1.0.0.1-------\n\n";
    QVERIFY(text.startsWith(header + "rm: "));
    QVERIFY2(text.contains("loglog.log"), text.constData());
    QVERIFY(QFileInfo(link()).isSymLink());
}

void TestHxLog::appendsFormattedTextAsIs()
{
    FakeClock clock;
    HxLog log(qPrintable(m_dir->path()), qPrintable(link()));
    log.init();
    const QString file = QString::fromStdString(log.fileNameFor(kStart));
    const qint64 before = QFileInfo(file).size();
    QCOMPARE(hxlogTo(log, "job %d of %s", 17, "ZPH_USB"), 17);
    QCOMPARE(hxlogTo(log, "%s", ""), 0);
    QCOMPARE(hxlogTo(log, "|%5.1f|\n", 2.25), 8);
    // Flushed at once: visible to a reader without closing.
    QCOMPARE(readAll(file).mid(before), QByteArray("job 17 of ZPH_USB|  2.2|\n"));
}

void TestHxLog::sameSecondTruncatesAndKeepsTheLink()
{
    FakeClock clock;
    HxLog log(qPrintable(m_dir->path()), qPrintable(link()));
    log.init();
    hxlogTo(log, "first run\n");
    log.init();
    hxlogTo(log, "second run\n");
    const QString file = QString::fromStdString(log.fileNameFor(kStart));
    const QByteArray text = readAll(file);
    QVERIFY(!text.contains("first run"));
    QVERIFY(text.endsWith("second run\n"));
    QCOMPARE(text.count("--------statusmonitor"), 1);
    QCOMPARE(QFileInfo(link()).symLinkTarget(), file);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::System).size(), 2);
}

void TestHxLog::laterInitMovesTheLinkAndKeepsOldFiles()
{
    FakeClock clock;
    HxLog log(qPrintable(m_dir->path()), qPrintable(link()));
    log.init();
    hxlogTo(log, "old\n");
    clock.advanceUs(61 * 1000000LL);
    log.init();
    hxlogTo(log, "new\n");
    const QString oldFile = m_dir->filePath("loglog_20231114221320.log");
    const QString newFile = m_dir->filePath("loglog_20231114221421.log");
    QVERIFY(readAll(oldFile).endsWith("old\n"));
    QVERIFY(readAll(newFile).endsWith("new\n"));
    QCOMPARE(QFileInfo(link()).symLinkTarget(), newFile);
    QCOMPARE(readAll(link()), readAll(newFile));
}

void TestHxLog::secondInitClosesTheFirstStream()
{
    FakeClock clock;
    HxLog log(qPrintable(m_dir->path()), qPrintable(link()));
    log.init();
    const QString oldFile = QString::fromStdString(log.fileNameFor(kStart));
    QCOMPARE(openDescriptorsOn(oldFile), 1);
    clock.advanceUs(1000000);
    log.init();
    const QString newFile = QString::fromStdString(log.fileNameFor(kStart + 1));
    QCOMPARE(openDescriptorsOn(oldFile), 0);
    QCOMPARE(openDescriptorsOn(newFile), 1);
    // Same second: the one stream on the one file is replaced, not doubled.
    log.init();
    QCOMPARE(openDescriptorsOn(newFile), 1);
}

void TestHxLog::uncreatableFileLeavesLogClosed()
{
    FakeClock clock;
    const QString missing = m_dir->filePath("no/such/dir");
    HxLog log(qPrintable(missing), qPrintable(link()));
    log.init();
    QVERIFY(!log.file);
    QCOMPARE(hxlogTo(log, "lost\n"), -1);
    QVERIFY(!QFileInfo(link()).isSymLink());
}

// Somebody replaces the new file by a link while init still runs its commands (here: while
// "uname" runs, through a uname of their own first in PATH). Nothing may reach the link's target.
void TestHxLog::linkPlantedDuringInitIsNotFollowed()
{
    FakeClock clock;
    const QString file = m_dir->filePath("loglog_20231114221320.log");
    const QString victim = m_dir->filePath("victim");
    QFile v(victim);
    QVERIFY(v.open(QIODevice::WriteOnly));
    v.write("victim");
    v.close();
    const QString bin = m_dir->filePath("bin");
    QVERIFY(QDir().mkpath(bin));
    QFile uname(bin + "/uname");
    QVERIFY(uname.open(QIODevice::WriteOnly));
    uname.write(QStringLiteral("#!/bin/sh\nmv '%1' '%1.moved'\nln -s '%2' '%1'\necho planted\n")
                    .arg(file, victim)
                    .toLocal8Bit());
    uname.close();
    QVERIFY(uname.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ':' + path);

    HxLog log(qPrintable(m_dir->path()), qPrintable(link()));
    log.init();
    qputenv("PATH", path);
    QVERIFY(log.file);
    QVERIFY(hxlogTo(log, "after\n") > 0);
    QCOMPARE(readAll(victim), QByteArray("victim"));
    const QByteArray text = readAll(file + ".moved"); // the file init opened, under its new name
    QVERIFY2(text.contains("planted\n") && text.endsWith("after\n"), text.constData());
}

QTEST_GUILESS_MAIN(TestHxLog)
#include "tst_hxlog.moc"
