// The USB printer lock across users, the way a stock Debian machine is set up: with
// fs.protected_regular = 2 an O_CREAT open of a file that another user owns in the sticky /tmp
// fails, root included. One user's program leaves the lock, info and scanner files behind; then
// root (the print side) and another user open the simulated printers at the same time.
//
// The setting is machine-wide: this test runs alone (RUN_SERIAL), sets it for its own life and
// puts the previous value back however it ends (a watchdog in a session of its own writes it back
// once this process is gone, even after SIGKILL).

#include "FakeClock.h"
#include "MachineSetting.h"
#include "SimulatedPrinters.h"
#include "transport/UsbIO.h"

#include <QtTest>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const char kFirst[] = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
const char kSecond[] = "usb://Simulated/ZPH6100RMX?serial=SIM0002";
constexpr uid_t kLeaver = 4711; // the user whose program left the files
constexpr uid_t kOther = 4712; // another non-root user opening at the same time as root

qint64 monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

QStringList asUser(uid_t uid, const QStringList& command)
{
    return QStringList { QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid),
        QStringLiteral("--clear-groups"), QStringLiteral("--pdeathsig=KILL"), QStringLiteral("--") }
    + command;
}

struct FileOwner {
    bool exists = false;
    uid_t uid = 0;
    ino_t inode = 0;
};

FileOwner ownerOf(const char* path)
{
    struct stat st;
    if (lstat(path, &st) != 0)
        return {};
    return { true, st.st_uid, st.st_ino };
}
} // namespace

class UsbLockUsersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void filesOfAnotherUser();

private:
    MachineSetting m_protectedRegular;
};

void UsbLockUsersTest::initTestCase()
{
    QVERIFY(fpsim::runningUnderUsbSimulation());
    QVERIFY2(m_protectedRegular.set(MachineSetting::kProtectedRegular, "2"),
        "cannot set fs.protected_regular (root needed)");
    // The other users' programs reach the simulated devices through the umockdev test bed, which
    // lives in this test's private /tmp.
    const QString testbed = qEnvironmentVariable("UMOCKDEV_DIR");
    QVERIFY(!testbed.isEmpty());
    QCOMPARE(QProcess::execute("chmod", { "-R", "a+rwX", testbed }), 0);
    for (const char* path : { "/tmp/.vrkt_lock", "/tmp/.vrkt_info_lock", "/tmp/.scanner_lock" })
        ::unlink(path);
}

void UsbLockUsersTest::cleanupTestCase() { m_protectedRegular.restore(); }

void UsbLockUsersTest::filesOfAnotherUser()
{
    // One user's program used a printer and left the three files behind.
    QProcess leaver;
    leaver.start("setpriv", asUser(kLeaver, { USB_LOCK_OPENER, kSecond }));
    QVERIFY(leaver.waitForFinished(20000));
    QVERIFY2(leaver.readAllStandardOutput().contains("opened 0 "), leaver.readAllStandardError().constData());
    const FileOwner lockFile = ownerOf("/tmp/.vrkt_lock");
    for (const char* path : { "/tmp/.vrkt_lock", "/tmp/.vrkt_info_lock", "/tmp/.scanner_lock" }) {
        QVERIFY2(ownerOf(path).exists, path);
        QCOMPARE(ownerOf(path).uid, kLeaver);
    }

    // That user's scanner program holds the scanner lock and does not let go: root's open gives
    // up on its bounded schedule. Once the scanner has ended, root opens.
    QProcess scanner;
    scanner.start("setpriv",
        asUser(kLeaver, { "sh", "-c", "exec 9>>/tmp/.scanner_lock; flock 9; echo locked; exec sleep infinity" }));
    QVERIFY(scanner.waitForReadyRead(5000));
    FakeClock clock;
    UsbIO root;
    Printer_struct first {};
    copyField(first.deviceUri, kFirst);
    QCOMPARE(root.open(&first, 0), usb_error_scanning);
    QCOMPARE(clock.sleepsMs(), QList<int>(19, 200)); // about 3.8 s, then no more
    clock.clear();
    clock.onSleep = [&scanner](int count) {
        if (count == 2) {
            scanner.kill();
            scanner.waitForFinished();
        }
    };
    QCOMPARE(root.open(&first, 0), 0);
    QCOMPARE(clock.sleepsMs(), QList<int>(2, 200)); // the scanner's two; the printer lock was free

    // Another user opens while root has it: root lets go only once that program has met the held
    // lock and is retrying.
    QProcess other;
    other.setProcessChannelMode(QProcess::MergedChannels);
    other.start("setpriv", asUser(kOther, { USB_LOCK_OPENER, kSecond }));
    QByteArray output;
    while (!output.contains(" printer may be busy.") && other.waitForReadyRead(10000))
        output += other.readAll();
    QVERIFY2(output.contains(" printer may be busy."), output.constData());
    const qint64 released = monotonicNs();
    QCOMPARE(root.close(), 0);

    QVERIFY(other.waitForFinished(20000));
    output += other.readAll();
    const QStringList lines = QString::fromLatin1(output).split('\n');
    const QStringList opened = lines.filter(QRegularExpression("^opened ")).value(0).split(' ');
    QCOMPARE(opened.value(1), QStringLiteral("0"));
    // The lock kept the two apart: the other user's open came only after root let go.
    QVERIFY2(opened.value(2).toLongLong() > released, qPrintable(lines.join('|')));

    // Nobody removed or replaced the files of the first user.
    const FileOwner after = ownerOf("/tmp/.vrkt_lock");
    QCOMPARE(after.uid, kLeaver);
    QCOMPARE(after.inode, lockFile.inode);
}

FPSIM_USB_TEST_MAIN(UsbLockUsersTest, "SIM0001", "SIM0002")
#include "tst_usblock_users.moc"
