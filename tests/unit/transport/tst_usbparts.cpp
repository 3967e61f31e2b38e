// The parts of the USB transport that need no device: URI resolution, the device-ID length rule,
// the libusb error texts and the lock files.

#include "FakeClock.h"
#include "transport/FileLocker.h"
#include "transport/UsbApi.h"
#include "transport/UsbIO.h"

#include <QtTest>
#include <atomic>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class UsbPartsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resolveUrl_data();
    void resolveUrl();
    void resolveKeepsFirstKeys();
    void getpidvidHookSuppliesIds();
    void deviceIdLengthRule_data();
    void deviceIdLengthRule();
    void errorTexts_data();
    void errorTexts();
    void bulkOnMissingInterface();
    void lockFileExcludesOthers();
    void lockRefusesSymlink();
    void lockInfoLine();
    void lockInfoRefusesSymlink();
    void lockTakesFilesAsFound_data();
    void lockTakesFilesAsFound();
    void lockWaitsAreBounded_data();
    void lockWaitsAreBounded();
};

void UsbPartsTest::resolveUrl_data()
{
    QTest::addColumn<QByteArray>("uri");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("serial");

    QTest::newRow("serial") << QByteArray("usb://Maker/Model?serial=ABC123") << 0 << QByteArray("ABC123");
    QTest::newRow("serial with other items")
        << QByteArray("usb://Maker/ZPH6100RMX?serial=X%2F9&interface=1") << 0 << QByteArray("X/9");
    QTest::newRow("no query") << QByteArray("usb://Maker/Model") << -1 << QByteArray();
    QTest::newRow("empty serial") << QByteArray("usb://Maker/Model?serial=") << -1 << QByteArray();
    QTest::newRow("serial of 300 characters is cut to the field")
        << QByteArray("usb://M/N?serial=") + QByteArray(300, 's') << 0 << QByteArray(255, 's');
}

void UsbPartsTest::resolveUrl()
{
    QFETCH(QByteArray, uri);
    QFETCH(int, result);
    QFETCH(QByteArray, serial);

    UsbIO io;
    QCOMPARE(io.resolveUrl(uri.constData()), uri.size() >= 256 ? -1 : result);
    if (uri.size() < 256) {
        QCOMPARE(QByteArray(io.serial), serial);
        QCOMPARE(io.vid, -1);
        QCOMPARE(io.pid, -1);
    }
}

void UsbPartsTest::resolveKeepsFirstKeys()
{
    UsbIO io;
    QCOMPARE(io.resolveUrl("usb://Maker/Model"), -1);
    // The failed URI is remembered: resolving it again is taken as done.
    QCOMPARE(io.resolveUrl("usb://Maker/Model"), 0);
    QCOMPARE(io.resolveUrl("usb://Maker/Model?serial=S1"), 0);
    QCOMPARE(QByteArray(io.serial), QByteArray("S1"));
    QCOMPARE(io.resolveUrl(nullptr), -1);
}

void UsbPartsTest::getpidvidHookSuppliesIds()
{
    const func_getpidvid saved = getpidvid;
    static std::string seenModel;
    getpidvid = [](const std::string& model, int* pid, int* vid) {
        seenModel = model;
        *vid = 0x1234;
        *pid = 0x5678;
        return 0;
    };
    UsbIO io;
    QCOMPARE(io.resolveUrl("usb://Maker/ZPH6100RMX"), 0);
    getpidvid = saved;
    // The host part comes as a URL parser normalises it: in lower case.
    QCOMPARE(QByteArray::fromStdString(seenModel), QByteArray("maker/ZPH6100RMX"));
    QCOMPARE(io.vid, 0x1234);
    QCOMPARE(io.pid, 0x5678);
    QCOMPARE(QByteArray(io.serial), QByteArray());
}

void UsbPartsTest::deviceIdLengthRule_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("bufsize");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("received");

    const QByteArray id = "MFG:Sim;MDL:ZPH6100RMX;";
    QTest::newRow("big-endian length") << QByteArray("\x00\x17", 2) + id << 64 << id << -1;
    QTest::newRow("big-endian too large, little-endian fits") << QByteArray("\x17\x00", 2) + id << 64 << id << -1;
    QTest::newRow("neither fits: all the buffer holds") << QByteArray("\xFF\xFF", 2) + id << 10 << id.left(8) << -1;
    QTest::newRow("length just below the buffer")
        << QByteArray("\x00\x05", 2) + QByteArray("ABCDE") << 7 << QByteArray("ABCDE") << -1;
    // IEEE 1284 counts the two length bytes: the last two bytes of the buffer were never sent.
    QTest::newRow("length counting itself") << QByteArray("\x00\x19", 2) + id + "zz" << 64 << id << 25;
    QTest::newRow("length not counting itself") << QByteArray("\x00\x17", 2) + id + "zz" << 64 << id << 25;
    // Replies too short to carry any text: nothing of the buffer's old contents is the ID.
    QTest::newRow("nothing received") << QByteArray("\x00\x05", 2) + "stale" << 16 << QByteArray() << 0;
    QTest::newRow("one byte received") << QByteArray("\x05\x00", 2) + "stale" << 16 << QByteArray() << 1;
}

void UsbPartsTest::deviceIdLengthRule()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, bufsize);
    QFETCH(QByteArray, text);
    QFETCH(int, received);

    QByteArray buffer(bufsize + 4, '\x7F'); // guard bytes after the buffer
    memcpy(buffer.data(), reply.constData(), qMin<int>(reply.size(), bufsize));
    QCOMPARE(deviceIdFromReply(buffer.data(), bufsize, received), 0);
    QCOMPARE(QByteArray(buffer.constData()), text);
    QCOMPARE(buffer.right(4), QByteArray(4, '\x7F'));
}

void UsbPartsTest::errorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("io") << -1 << "Input/output error";
    QTest::newRow("access") << -3 << "Access denied (insufficient permissions)";
    QTest::newRow("no device") << -4 << "No such device (it may have been disconnected)";
    QTest::newRow("busy") << -6 << "Resource busy";
    QTest::newRow("timeout") << -7 << "Operation timed out";
    QTest::newRow("not supported") << -12 << "Operation not supported or unimplemented on this platform";
    QTest::newRow("other") << -99 << "Other error";
    QTest::newRow("unknown") << -42 << "Unknown libusb-1.0 error code";
}

void UsbPartsTest::errorTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(QString::fromLatin1(usbErrorText(code)), text);
}

void UsbPartsTest::bulkOnMissingInterface()
{
    UsbApi api;
    char buffer[8] = {};
    QCOMPARE(api.write_bulk(buffer, 8, 2), -1);
    QCOMPARE(api.read_bulk(buffer, 8, 2), -1);
    UsbIO io;
    QCOMPARE(io.write_bulk(buffer, 8, 0), -1); // not open
    QCOMPARE(io.read(buffer, 8), -1);
}

void UsbPartsTest::lockFileExcludesOthers()
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("lock"));
    FileLocker first;
    FileLocker second;
    QCOMPARE(first.lock(path.constData()), 0);
    QCOMPARE(QByteArray(first.lock_file), path);
    QVERIFY(second.trylock(path.constData()) != 0);
    struct stat st;
    QCOMPARE(stat(path.constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0666);
    QCOMPARE(first.unlock(), 0);
    QCOMPARE(second.trylock(path.constData()), 0);
    QCOMPARE(second.unlock(), 0);
    QCOMPARE(second.unlock(), 0); // nothing held: nothing to do
}

void UsbPartsTest::lockRefusesSymlink()
{
    QTemporaryDir dir;
    const QString target = dir.filePath("precious");
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray link = QFile::encodeName(dir.filePath("lock"));
    QVERIFY(QFile::link(target, QString::fromLocal8Bit(link)));

    FakeClock clock;
    FileLocker locker;
    QCOMPARE(locker.lock(link.constData()), -1);
    QCOMPARE(locker.trylock(link.constData()), -1);
    QCOMPARE(QFile::permissions(target), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void UsbPartsTest::lockInfoLine()
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("info"));
    FileLocker locker;
    locker.lock_info(path.constData(), "usb://Maker/ZPH6100RMX?serial=S1");
    QFile file(QString::fromLocal8Bit(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("Device_Uri=usb://Maker/ZPH6100RMX?serial=S1\n"));
    file.close();
    struct stat st;
    QCOMPARE(stat(path.constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0644);
    locker.lock_info(path.constData(), "");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("Device_Uri=\n"));
    file.close();

    const QByteArray longUri(400, 'u');
    locker.lock_info(path.constData(), longUri.constData());
    QCOMPARE(QFileInfo(file).size(), qint64(300)); // at most 300 bytes
}

void UsbPartsTest::lockInfoRefusesSymlink()
{
    QTemporaryDir dir;
    const QString target = dir.filePath("precious");
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    const QByteArray link = QFile::encodeName(dir.filePath("info"));
    QVERIFY(QFile::link(target, QString::fromLocal8Bit(link)));
    FileLocker locker;
    locker.lock_info(link.constData(), "usb://x");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void UsbPartsTest::lockTakesFilesAsFound_data()
{
    QTest::addColumn<bool>("hardLink");
    QTest::addColumn<int>("lockResult");
    QTest::addColumn<QByteArray>("contentAfter");

    // Planted where fs.protected_hardlinks is off: root must not truncate or chmod the other file.
    QTest::newRow("second hard link") << true << -1 << QByteArray("keep me");
    // Left by another program: used as it is, its mode kept.
    QTest::newRow("existing file") << false << 0 << QByteArray("Device_Uri=usb://x\n");
}

void UsbPartsTest::lockTakesFilesAsFound()
{
    QFETCH(bool, hardLink);
    QFETCH(int, lockResult);
    QFETCH(QByteArray, contentAfter);

    QTemporaryDir dir;
    const QString first = dir.filePath("first");
    QFile file(first);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    const QByteArray path = QFile::encodeName(hardLink ? dir.filePath("lock") : first);
    if (hardLink)
        QCOMPARE(::link(QFile::encodeName(first).constData(), path.constData()), 0);

    FakeClock clock;
    FileLocker locker;
    QCOMPARE(locker.lock(path.constData()), lockResult);
    locker.unlock();
    QCOMPARE(locker.trylock(path.constData()), lockResult);
    locker.unlock();
    locker.lock_info(path.constData(), "usb://x");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), contentAfter);
    QCOMPARE(file.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

void UsbPartsTest::lockWaitsAreBounded_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("lockResult");
    QTest::addColumn<int>("pauses");
    QTest::addColumn<bool>("removed");

    QTest::newRow("free file: locked at once, and removable as stale") << "free" << 0 << 0 << true;
    // A live holder's file is its lock: never deleted under it.
    QTest::newRow("held by another") << "held" << int(EWOULDBLOCK) << 19 << false;
    // What anybody may plant in /tmp counts as locked by someone else, and never blocks.
    QTest::newRow("FIFO") << "fifo" << -1 << 19 << false;
    QTest::newRow("directory") << "directory" << -1 << 19 << false;
}

void UsbPartsTest::lockWaitsAreBounded()
{
    QFETCH(QString, kind);
    QFETCH(int, lockResult);
    QFETCH(int, pauses);
    QFETCH(bool, removed);

    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("lock"));
    FileLocker holder;
    if (kind == "fifo")
        QCOMPARE(mkfifo(path.constData(), 0666), 0);
    else if (kind == "directory")
        QCOMPARE(mkdir(path.constData(), 0777), 0);
    else
        QCOMPARE(holder.trylock(path.constData()), 0);
    if (kind == "free")
        holder.unlock();
    struct stat before;
    QCOMPARE(lstat(path.constData(), &before), 0);

    FakeClock clock;
    FileLocker locker;
    QCOMPARE(locker.lock(path.constData()), lockResult);
    QCOMPARE(clock.sleepsMs(), QList<int>(pauses, FileLocker::kLockPauseMs));
    locker.unlock();

    // lock_info on another thread: when a FIFO holds it in open, a reader opened here lets it go,
    // so the thread ends whatever the outcome.
    std::atomic<bool> written { false };
    std::thread writer([&] {
        locker.lock_info(path.constData(), "usb://x");
        written = true;
    });
    const auto joinWriter = qScopeGuard([&] {
        const int reader = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
        writer.join();
        if (reader >= 0)
            ::close(reader);
    });
    QTRY_VERIFY_WITH_TIMEOUT(written.load(), 5000);

    QCOMPARE(locker.removelock(path.constData()), removed);
    struct stat after;
    QCOMPARE(lstat(path.constData(), &after) == 0, !removed);
    if (!removed)
        QCOMPARE(after.st_ino, before.st_ino);
}

QTEST_GUILESS_MAIN(UsbPartsTest)
#include "tst_usbparts.moc"
