// CFingerManage at its fixed locations, inside the private mount namespace of in-namespace.sh
// (tmpfs over /tmp and /usr/share/vrkt7x): the library found in the five system locations, which
// this test makes writable with private overlays over /usr/lib and /usr/lib64; the real database
// and working-copy paths; a full disk during the write-back; and the real libvrkt7xcommon.

#include "BoundCalls.h"
#include "StoreTestSupport.h"
#include "store/FingerManage.h"
#include "store/FpmanagerPaths.h"

#include <QDir>
#include <QtTest>
#include <dlfcn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace StoreTest;

namespace
{

const char kStoreDir[] = "/usr/share/vrkt7x";

QByteArray linkText(const char* path)
{
    char buffer[256];
    const ssize_t n = ::readlink(path, buffer, sizeof buffer);
    return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
}

// The mounts this test makes must never reach the machine: it runs only in a mount namespace
// that its parent (ctest, a shell) does not share, with the tmpfs of in-namespace.sh over
// /usr/share/vrkt7x.
bool inPrivateMountNamespace()
{
    const QByteArray own = linkText("/proc/self/ns/mnt");
    const QByteArray parent = linkText(QStringLiteral("/proc/%1/ns/mnt").arg(::getppid()).toLatin1().constData());
    if (own.isEmpty() || parent.isEmpty() || own == parent)
        return false;
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = mounts.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 2 && fields.at(1) == "/usr/share/vrkt7x" && fields.at(2) == "tmpfs")
            return true;
    }
    return false;
}

bool overlay(const QString& directory, const QString& scratch)
{
    if (!QDir().mkpath(scratch + QStringLiteral("/up")) || !QDir().mkpath(scratch + QStringLiteral("/work")))
        return false;
    const QByteArray options
        = QStringLiteral("lowerdir=%1,upperdir=%2/up,workdir=%2/work").arg(directory, scratch).toLocal8Bit();
    return ::mount("overlay", QFile::encodeName(directory).constData(), "overlay", 0, options.constData()) == 0;
}

int runAsNobody(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(90);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Fills the file system of directory until it has no room left.
bool fillUp(const QString& file)
{
    QFile filler(file);
    if (!filler.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) { }
    return true;
}

// What init() sets before it prepares the database.
void useFixedDatabasePaths(CFingerManage& manager)
{
    manager.m_strDbPath = QString::fromLatin1(FpmanagerPaths::kDatabaseFile);
    manager.m_strTmpDbPath = QString::fromLatin1(FpmanagerPaths::kWorkingCopy);
}

QStringList storeDirEntries()
{
    return QDir(QString::fromLatin1(kStoreDir)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class FixedPathsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void libraryLocations_data();
    void libraryLocations();
    void noLibraryAnywhere();
    void libraryLackingAnExport();
    void workingCopyNotThroughLink();
    void fullDiskKeepsStoredFile();
    void fullDiskInPlaceKeepsStoredFile();
    void realLibrary();

private:
    bool mountSmallStore();

    QStringList m_locations;
    std::unique_ptr<NoticeRecorder> m_notices;
    bool m_smallStoreMounted = false;
};

void FixedPathsTest::initTestCase()
{
    if (::geteuid() != 0 || !inPrivateMountNamespace())
        QSKIP("runs only inside the private mount namespace of tests/fixtures/in-namespace.sh (as root)");
    QVERIFY2(overlay(QStringLiteral("/usr/lib"), QStringLiteral("/tmp/.overlay/lib")), strerror(errno));
    QVERIFY2(overlay(QStringLiteral("/usr/lib64"), QStringLiteral("/tmp/.overlay/lib64")), strerror(errno));
    m_locations = FingerManagePaths::defaultLibraryLocations();
    for (const QString& location : std::as_const(m_locations))
        QVERIFY(QDir().mkpath(QFileInfo(location).path()));
    QVERIFY(QFileInfo(QString::fromLatin1(kStoreDir)).isDir());
}

void FixedPathsTest::init() { m_notices = std::make_unique<NoticeRecorder>(); }

void FixedPathsTest::cleanup()
{
    m_notices.reset();
    for (const QString& location : std::as_const(m_locations))
        QFile::remove(location);
    if (m_smallStoreMounted)
        QCOMPARE(::umount(kStoreDir), 0);
    m_smallStoreMounted = false;
    for (const QString& entry : storeDirEntries())
        QFile::remove(QString::fromLatin1(kStoreDir) + QLatin1Char('/') + entry);
    QFile::remove(QStringLiteral("/tmp/.fingerdata.db"));
    ::chmod(kStoreDir, 0755);
}

// A small file system over /usr/share/vrkt7x, which the test can fill up.
bool FixedPathsTest::mountSmallStore()
{
    m_smallStoreMounted = ::mount("tmpfs", kStoreDir, "tmpfs", 0, "size=256k,mode=0755") == 0;
    return m_smallStoreMounted;
}

void FixedPathsTest::libraryLocations_data()
{
    QTest::addColumn<QList<int>>("copies");
    QTest::addColumn<int>("chosen");

    QTest::newRow("only /usr/lib/aarch64-linux-gnu") << QList<int> { 4 } << 4;
    QTest::newRow("everywhere: /usr/lib wins") << QList<int> { 1, 2, 3, 4, 5 } << 1;
    QTest::newRow("x86_64 and i386") << QList<int> { 3, 5 } << 3;
    QTest::newRow("only /usr/lib64") << QList<int> { 2 } << 2;
}

void FixedPathsTest::libraryLocations()
{
    QFETCH(QList<int>, copies);
    QFETCH(int, chosen);

    for (int i : copies)
        QVERIFY(QFile::copy(QStringLiteral(STORE_FAKE_LIBRARY), m_locations.at(i - 1)));
    CFingerManage manager;
    LogCapture log;
    QVERIFY(manager.init());
    QCOMPARE(manager.m_commLib.fileName(), m_locations.at(chosen - 1));
    QCOMPARE(describeBoundCalls(manager), QString::fromLatin1(expectedBoundCalls()));
    QVERIFY(log.lines().contains(QStringLiteral("the database path is  \"/usr/share/vrkt7x/fingerdata.db\"")));

    // First start: the database exists at its fixed place, writable for every local user, and
    // the working copy is gone.
    QCOMPARE(manager.m_strDbPath, QStringLiteral("/usr/share/vrkt7x/fingerdata.db"));
    QCOMPARE(manager.m_strTmpDbPath, QStringLiteral("/tmp/.fingerdata.db"));
    QCOMPARE(modeOf(manager.m_strDbPath), 0666);
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/.fingerdata.db")));
    QCOMPARE(flat(storedRows(
                 manager.m_strDbPath, QStringLiteral("/tmp/check.db"), QStringLiteral("select * from UserList"))),
        QStringList { QStringLiteral("admin|58203716") });
    QVERIFY(m_notices->requests.isEmpty());

    // Second start with the database in place.
    CFingerManage again;
    QVERIFY(again.init());
    QCOMPARE(again.m_userRecords.size(), 1);
}

void FixedPathsTest::noLibraryAnywhere()
{
    CFingerManage manager;
    LogCapture log;
    QVERIFY(!manager.init());
    QCOMPARE(log.lines().last(), QStringLiteral("\"/usr/lib/i386-linux-gnu/libvrkt7xcommon.so\"  is not exist!"));
    QVERIFY(m_notices->requests.isEmpty());
    QVERIFY(storeDirEntries().isEmpty());
}

void FixedPathsTest::libraryLackingAnExport()
{
    QVERIFY(QFile::copy(QStringLiteral(STORE_FAKE_LIBRARY_NO_EXPORT), m_locations.at(2)));
    CFingerManage manager;
    QVERIFY(!manager.init());
    QCOMPARE(m_notices->texts(), QStringList { QStringLiteral("the vrkt7xcomm dll not found") });
    QVERIFY(!manager.m_commLib.isLoaded());
    QVERIFY(storeDirEntries().isEmpty());
}

void FixedPathsTest::workingCopyNotThroughLink()
{
    // Another local user plants a link at the working copy's name, aiming at a file of root's.
    const QString victim = QStringLiteral("/usr/share/vrkt7x/victim");
    QVERIFY(writeFile(victim, "root's file"));
    QVERIFY(QFile::link(victim, QStringLiteral("/tmp/.fingerdata.db")));
    QVERIFY(QFile::copy(QStringLiteral(STORE_FAKE_LIBRARY), m_locations.at(0)));

    CFingerManage manager;
    QVERIFY(manager.init());
    manager.m_printerName = QStringLiteral("Office");
    manager.InsertFinger(3, QStringLiteral("amy"));
    QCOMPARE(readFile(victim), QByteArray("root's file"));
    QVERIFY(!QFileInfo(QStringLiteral("/tmp/.fingerdata.db")).isSymLink());
    QCOMPARE(flat(storedRows(
                 manager.m_strDbPath, QStringLiteral("/tmp/check.db"), QStringLiteral("select * from FingerList"))),
        QStringList { QStringLiteral("3|amy|Office") });
}

void FixedPathsTest::fullDiskKeepsStoredFile()
{
    QVERIFY(mountSmallStore());
    CFingerManage manager;
    useFixedDatabasePaths(manager);
    QVERIFY(manager.CreateDatabase());
    manager.m_printerName = QStringLiteral("Office");
    manager.InsertFinger(1, QStringLiteral("amy"));
    const QByteArray before = readFile(manager.m_strDbPath);
    QVERIFY(fillUp(QStringLiteral("/usr/share/vrkt7x/filler")));

    LogCapture log;
    manager.InsertFinger(2, QStringLiteral("bob"));
    QVERIFY(log.hasLineStartingWith(QStringLiteral("Could not open output file to write data.")));
    QCOMPARE(readFile(manager.m_strDbPath), before);
    QCOMPARE(storeDirEntries(), QStringList({ QStringLiteral("filler"), QStringLiteral("fingerdata.db") }));
    QCOMPARE(flat(storedRows(manager.m_strDbPath, QStringLiteral("/tmp/check.db"),
                 QStringLiteral("select id, UserName from FingerList"))),
        QStringList { QStringLiteral("1|amy") });
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/.fingerdata.db")));

    // With room again, the next write-back goes through.
    QVERIFY(QFile::remove(QStringLiteral("/usr/share/vrkt7x/filler")));
    manager.InsertFinger(2, QStringLiteral("bob"));
    QCOMPARE(flat(storedRows(manager.m_strDbPath, QStringLiteral("/tmp/check.db"),
                 QStringLiteral("select id, UserName from FingerList"))),
        QStringList({ QStringLiteral("1|amy"), QStringLiteral("2|bob") }));
}

void FixedPathsTest::fullDiskInPlaceKeepsStoredFile()
{
    // As installed: the directory belongs to root, the database may be written by anybody, so an
    // ordinary user's write-back goes in place. The disk fills up while the file grows.
    QVERIFY(mountSmallStore());
    {
        CFingerManage manager;
        useFixedDatabasePaths(manager);
        QVERIFY(manager.CreateDatabase());
        manager.m_printerName = QStringLiteral("Office");
        manager.InsertFinger(1, QStringLiteral("amy"));
    }
    const QString stored = QString::fromLatin1(FpmanagerPaths::kDatabaseFile);
    const QByteArray before = readFile(stored);
    QVERIFY(fillUp(QStringLiteral("/usr/share/vrkt7x/filler")));

    const int code = runAsNobody([]() {
        CFingerManage manager;
        useFixedDatabasePaths(manager);
        manager.m_printerName = QStringLiteral("Office");
        // A name long enough to need new pages in the file.
        manager.InsertFinger(2, QString(6000, QLatin1Char('n')));
        return 0;
    });
    QCOMPARE(code, 0);
    QCOMPARE(readFile(stored), before);
    QCOMPARE(flat(storedRows(
                 stored, QStringLiteral("/tmp/check.db"), QStringLiteral("select id, UserName from FingerList"))),
        QStringList { QStringLiteral("1|amy") });

    // With room again the same user's write-back succeeds in place.
    QVERIFY(QFile::remove(QStringLiteral("/usr/share/vrkt7x/filler")));
    const qint64 inode = inodeOf(stored);
    QCOMPARE(runAsNobody([]() {
        CFingerManage manager;
        useFixedDatabasePaths(manager);
        manager.m_printerName = QStringLiteral("Office");
        manager.InsertFinger(2, QStringLiteral("bob"));
        return 0;
    }),
        0);
    QCOMPARE(inodeOf(stored), inode);
    QCOMPARE(flat(storedRows(
                 stored, QStringLiteral("/tmp/check.db"), QStringLiteral("select id, UserName from FingerList"))),
        QStringList({ QStringLiteral("1|amy"), QStringLiteral("2|bob") }));
}

void FixedPathsTest::realLibrary()
{
    const QString built = QStringLiteral(VRKT_BINARY_DIR "/lib/libvrkt7xcommon.so");
    QVERIFY2(QFile::exists(built), qPrintable(built + QStringLiteral(" has not been built")));
    QVERIFY(QFile::copy(built, m_locations.at(2)));

    void* handle = ::dlopen(QFile::encodeName(m_locations.at(2)).constData(), RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(handle, ::dlerror());
    QStringList missing;
    QList<void*> symbols;
    for (const QString& name : boundExportNames()) {
        void* symbol = ::dlsym(handle, name.toLatin1().constData());
        symbols << symbol;
        if (!symbol)
            missing << name;
    }
    if (!missing.isEmpty()) {
        ::dlclose(handle);
        QSKIP(qPrintable(QStringLiteral("the built libvrkt7xcommon.so does not export %1 yet")
                             .arg(missing.join(QStringLiteral(", ")))));
    }

    CFingerManage manager;
    QVERIFY(manager.init());
    QCOMPARE(manager.m_commLib.fileName(), m_locations.at(2));
    const QList<void*> bound { reinterpret_cast<void*>(manager.m_pfnAddFinger),
        reinterpret_cast<void*>(manager.m_pfnIsDeviceConnect), reinterpret_cast<void*>(manager.m_pfnGetDeviceConnect),
        reinterpret_cast<void*>(manager.m_pfnIsDeviceFingerOpen), reinterpret_cast<void*>(manager.m_pfnOpenFinger),
        reinterpret_cast<void*>(manager.m_pfnCloseFinger), reinterpret_cast<void*>(manager.m_pfnDeleteFinger),
        reinterpret_cast<void*>(manager.m_pfnDeleteFingers), reinterpret_cast<void*>(manager.m_pfnCheckFinger),
        reinterpret_cast<void*>(manager.m_pfnImportFinger), reinterpret_cast<void*>(manager.m_pfnExportFinger) };
    QCOMPARE(bound, symbols);
    QVERIFY(m_notices->requests.isEmpty());
    ::dlclose(handle);
}

QTEST_GUILESS_MAIN(FixedPathsTest)
#include "tst_fixedpaths.moc"
