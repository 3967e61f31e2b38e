// One "status" write and one "result" read of the status file, for each thing that may lie at its
// name: what the write returns, what the name and whatever it points at hold afterwards, and that
// the read gives a value only from a plain file of this user.

#include "IniStatusFile.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using IniStatusFile::Access;

class TestStatusFile : public QObject
{
    Q_OBJECT

private slots:
    void writeThenRead_data();
    void writeThenRead();
};

void TestStatusFile::writeThenRead_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("before"); // the file's (or the link target's) text, null: no file
    QTest::addColumn<int>("access"); // what writing "status" 3 into group 17 returns
    QTest::addColumn<QByteArray>("after"); // the text afterwards
    QTest::addColumn<QString>("result"); // what reading "result" of group 17 gives afterwards

    const QByteArray theirs("[17]\nresult=1\n");
    QTest::newRow("no file") << "" << QByteArray() << int(Access::Ok) << QByteArray("[17]\nstatus=3\n") << QString();
    QTest::newRow("layout kept") << "" << QByteArray("; print side\n[4]\nresult=2\n\n[17]\nresult= 8 \nzeta=1\n")
                                 << int(Access::Ok)
                                 << QByteArray("; print side\n[4]\nresult=2\n\n[17]\nresult= 8 \nstatus=3\nzeta=1\n")
                                 << "8";
    QTest::newRow("lock file beside") << "lock" << QByteArray("[17]\nstatus=5\n") << int(Access::Ok)
                                      << QByteArray("[17]\nstatus=3\n") << QString();
    QTest::newRow("another user's file") << "foreign" << theirs << int(Access::Foreign) << theirs << QString();
    QTest::newRow("link at the name") << "symlink" << theirs << int(Access::Link) << theirs << QString();
    QTest::newRow("second name of a file") << "hardlink" << theirs << int(Access::HardLinked) << theirs << QString();
    QTest::newRow("FIFO at the name") << "fifo" << QByteArray() << int(Access::NotRegular) << QByteArray() << QString();
    // Read once the holder has let go: a plain file of this user.
    QTest::newRow("held lock") << "held" << theirs << int(Access::Locked) << theirs << "1";
}

void TestStatusFile::writeThenRead()
{
    QFETCH(QString, setup);
    QFETCH(QByteArray, before);
    QFETCH(int, access);
    QFETCH(QByteArray, after);
    QFETCH(QString, result);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("status.conf"));
    const bool elsewhere = setup == "symlink" || setup == "hardlink";
    const QString text = elsewhere ? dir.filePath(QStringLiteral("elsewhere")) : path;
    if (!before.isNull()) {
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(before), before.size());
    }
    if (setup == "symlink")
        QVERIFY(QFile::link(text, path));
    if (setup == "hardlink")
        QCOMPARE(::link(QFile::encodeName(text).constData(), QFile::encodeName(path).constData()), 0);
    if (setup == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (setup == "foreign")
        QCOMPARE(::chown(QFile::encodeName(path).constData(), ::geteuid() + 1, ::getegid()), 0);
    if (setup == "lock") // what a settings writer of another user leaves beside the file
        QVERIFY(QFile(path + QStringLiteral(".lock")).open(QIODevice::WriteOnly));
    const int held = setup == "held" ? ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (setup == "held")
        QCOMPARE(::flock(held, LOCK_SH), 0);

    QElapsedTimer took;
    took.start();
    QCOMPARE(int(IniStatusFile::writeValue(path, QStringLiteral("17"), QStringLiteral("status"), 3)), access);
    // Never longer than the bounded lock wait and some slack for a loaded machine.
    QVERIFY2(took.elapsed() < IniStatusFile::kLockWaitMs + 2000, qPrintable(QString::number(took.elapsed())));
    if (held >= 0)
        ::close(held);

    if (setup != "fifo") {
        QFile file(text);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), after);
    }
    struct stat st;
    if (setup.isEmpty())
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0,
            before.isNull() ? 0600u : 0644u);
    QString value;
    IniStatusFile::readValue(path, QStringLiteral("17"), QStringLiteral("result"), &value);
    QCOMPARE(value, result);
}

QTEST_GUILESS_MAIN(TestStatusFile)
#include "tst_fpverify_statusfile.moc"
