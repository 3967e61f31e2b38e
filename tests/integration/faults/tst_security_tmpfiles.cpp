// Local security review, as tests: another local user may plant anything under /tmp before one of
// our programs runs, and the names of our files there are fixed. For every file of the suite under
// /tmp a symbolic link is planted at its name, pointing at a "victim" file elsewhere (a file of the
// user running the program); the component then does its normal work on that name, and the victim
// must be left exactly as it was (content and mode). Further rows: no shell command runs text that
// a printer or user controls, no SQL statement takes text as SQL.
//
// Runs in a private mount namespace (tmpfs over /tmp), so the fixed paths are the real ones.

#include "FakeClock.h"
#include "Frames.h"
#include "ScriptedDeviceIO.h"
#include "StatusFile.h"
#include "ipc/HxLog.h"
#include "service/FingerCommon.h"
#include "store/FingerManage.h"
#include "system/ShellHelpers.h"
#include "transport/FileLocker.h"
#include "transport/UsbIO.h"
#include "ui/NoticeBox.h"

#include <QtTest>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QByteArray kVictimContent("the victim's own data\n");

QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

mode_t modeOf(const QString& path)
{
    struct stat st {
    };
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

// A record of a fingerprint data file, its data all zero.
QByteArray record(const QByteArray& name, quint16 id) { return Frames::fdlRecord(name, id, '\0'); }

// The test namespace mounts a tmpfs of its own over /tmp (the host's /tmp is a plain directory).
bool privateTmp()
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    return mounts.open(QIODevice::ReadOnly) && mounts.readAll().contains(" /tmp tmpfs ");
}

using Action = std::function<QString()>; // "" when the action itself went as expected

} // namespace

Q_DECLARE_METATYPE(Action)

class SecurityTmpFilesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void plantedLinks_data();
    void plantedLinks();
    void shellCommandsTakeNoText_data();
    void shellCommandsTakeNoText();
    void sqlTakesNoText();

private:
    QTemporaryDir m_home; // where the victim lives, outside /tmp
};

void SecurityTmpFilesTest::initTestCase()
{
    if (!privateTmp())
        QSKIP("plants files under the real /tmp: runs only inside the private test namespace (ctest)");
    QVERIFY(m_home.isValid());
    NoticeBox::setHandler([](const NoticeRequest&) { return QMessageBox::Ok; });
}

void SecurityTmpFilesTest::cleanup()
{
    // Whatever a row planted or made goes, also when the row failed half-way.
    for (const QString& name : QDir(QStringLiteral("/tmp")).entryList(QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(QStringLiteral("/tmp/") + name);
}

void SecurityTmpFilesTest::plantedLinks_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<Action>("action");

    QTest::newRow("printer lock file (trylock)") << QString::fromLatin1(kPrinterLockFile) << Action([] {
        FileLocker locker;
        locker.trylock(kPrinterLockFile);
        locker.unlock();
        return QString();
    });
    QTest::newRow("printer lock file (lock)") << QString::fromLatin1(kPrinterLockFile) << Action([] {
        FakeClock clock; // a link is never locked: the whole schedule of attempts
        FileLocker locker;
        const int locked = locker.lock(kPrinterLockFile);
        locker.unlock();
        return locked == 0 ? QStringLiteral("locked through a link") : QString();
    });
    QTest::newRow("printer lock info file") << QString::fromLatin1(kPrinterLockInfoFile) << Action([] {
        FileLocker locker;
        locker.lock_info(kPrinterLockInfoFile, "usb://Simulated/ZPH6100RMX?serial=SIM0001");
        return QString();
    });
    QTest::newRow("scanner lock file") << QString::fromLatin1(lock_scan_file) << Action([] {
        FakeClock clock;
        FileLocker locker;
        const int locked = locker.lock(lock_scan_file);
        locker.unlock();
        return locked == 0 ? QStringLiteral("locked through a link") : QString();
    });
    QTest::newRow("working copy of the database") << QString::fromLatin1(FpmanagerPaths::kWorkingCopy) << Action([] {
        static QTemporaryDir dir;
        FingerManagePaths paths;
        paths.databaseFile = dir.filePath(QStringLiteral("fingerdata.db"));
        paths.settingsFile = dir.filePath(QStringLiteral("setting.ini"));
        paths.libraryLocations.clear();
        CFingerManage manager(nullptr, paths);
        manager.m_strDbPath = paths.databaseFile;
        manager.m_strTmpDbPath = paths.workingCopy;
        return manager.CreateDatabase() ? QString() : QStringLiteral("the database was not created");
    });
    QTest::newRow("log file") << QStringLiteral("/tmp/loglog_20231114221320.log") << Action([] {
        FakeClock clock; // 1700000000 s: 2023-11-14 22:13:20 UTC
        HxLog log;
        const std::string name = log.fileNameFor(clock.seconds());
        if (name != "/tmp/loglog_20231114221320.log")
            return QStringLiteral("log file name %1").arg(QString::fromStdString(name));
        log.init();
        return QString();
    });
    QTest::newRow("log file link") << QString::fromLatin1(log_file) << Action([] {
        FakeClock clock;
        HxLog log;
        log.init();
        return QString();
    });
    QTest::newRow("fpverify status file") << QString::fromLatin1(kStatusFilePath) << Action([] {
        update_status(17, kStatusCancelled);
        return QString();
    });
    QTest::newRow("export temporary file") << QStringLiteral("/tmp/vrkt_export.fdl") << Action([] {
        // What fpmanager's export does: the library exports into the fixed temporary file.
        FakeClock clock;
        FingerCommon common;
        auto* usb = new ScriptedDeviceIO(1);
        common.cmd.devicemanager.setTransports(usb, new ScriptedDeviceIO(2));
        usb->queueStatus('A', 1); // "EXPT" accepted, one record
        QByteArray announce("EXPT\0\x01\0\0", 8);
        usb->queueBulkRead(announce);
        usb->queueBulkRead(record("alice", 1));
        char uri[] = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
        char file[] = "/tmp/vrkt_export.fdl";
        int count = 0;
        const int r = common.ExportFinger(uri, file, &count);
        return r == 0 || r == 2 ? QString() : QStringLiteral("export gave %1").arg(r);
    });
}

void SecurityTmpFilesTest::plantedLinks()
{
    QFETCH(QString, planted);
    QFETCH(Action, action);

    const QString victim = m_home.filePath(QStringLiteral("victim.txt"));
    QFile::remove(victim);
    QFile file(victim);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kVictimContent);
    file.close();
    QVERIFY(QFile::setPermissions(victim, QFile::ReadOwner | QFile::WriteOwner));
    const mode_t before = modeOf(victim);

    QFile::remove(planted);
    QVERIFY2(QFile::link(victim, planted), qPrintable(planted));

    const QString trouble = action();
    QVERIFY2(trouble.isEmpty(), qPrintable(trouble));

    QCOMPARE(fileContent(victim), kVictimContent);
    QCOMPARE(modeOf(victim), before);
}

void SecurityTmpFilesTest::shellCommandsTakeNoText_data()
{
    QTest::addColumn<QString>("queue");
    QTest::newRow("quote") << QStringLiteral("x'; touch /tmp/pwned; '");
    QTest::newRow("command substitution") << QStringLiteral("$(touch /tmp/pwned)");
    QTest::newRow("backquotes") << QStringLiteral("`touch /tmp/pwned`");
    QTest::newRow("newline") << QStringLiteral("x\ntouch /tmp/pwned");
    QTest::newRow("option") << QStringLiteral("--help; touch /tmp/pwned");
}

void SecurityTmpFilesTest::shellCommandsTakeNoText()
{
    // The only shell command that takes a name: whether CUPS prints on a queue.
    QFETCH(QString, queue);
    QFile::remove(QStringLiteral("/tmp/pwned"));
    QVERIFY(!printer_is_printing(queue));
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/pwned")));
}

void SecurityTmpFilesTest::sqlTakesNoText()
{
    // Names come from the administrator and from *.fdl files; they are values, never SQL.
    QTemporaryDir dir;
    FingerManagePaths paths;
    paths.databaseFile = dir.filePath(QStringLiteral("fingerdata.db"));
    paths.settingsFile = dir.filePath(QStringLiteral("setting.ini"));
    paths.workingCopy = dir.filePath(QStringLiteral(".fingerdata.db"));
    paths.libraryLocations.clear();
    CFingerManage manager(nullptr, paths);
    manager.m_strDbPath = paths.databaseFile;
    manager.m_strTmpDbPath = paths.workingCopy;
    manager.m_printerName = QStringLiteral("Q' or '1'='1");
    QVERIFY(manager.CreateDatabase());
    const QString hostile = QStringLiteral("x'); drop table FingerList; --");
    manager.InsertFinger(3, hostile);
    manager.ChangeUserInfo(QStringLiteral("' or 1=1 --"), QStringLiteral("admin"), QStringLiteral("58203716"));
    QVERIFY(manager.OpenDatabaseForFinger());
    QCOMPARE(manager.m_fingerRecords.size(), 1);
    QCOMPARE(manager.m_fingerRecords.first().value(QStringLiteral("UserName")).toString(), hostile);
    QVERIFY(manager.OpenDatabaseForLogin());
    QCOMPARE(manager.m_userRecords.size(), 2); // the hostile password matched no row: none deleted
}

QTEST_GUILESS_MAIN(SecurityTmpFilesTest)
#include "tst_security_tmpfiles.moc"
