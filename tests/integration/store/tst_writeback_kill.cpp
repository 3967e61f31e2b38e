// A process killed while it writes the stored database back leaves the old or the new database,
// never a broken one: killed at every step of the write-back, and at random moments.

#include "StoreTestSupport.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace StoreTest;

namespace
{

const int kRows = 10000;

struct Outcome {
    QString integrity;
    int rows = -1;
};

Outcome inspect(const QString& stored, const QString& scratch)
{
    Outcome outcome;
    outcome.integrity
        = flat(storedRows(stored, scratch, QStringLiteral("pragma integrity_check"))).join(QLatin1Char(','));
    outcome.rows
        = flat(storedRows(stored, scratch, QStringLiteral("select count(*) from FingerList"))).value(0).toInt();
    return outcome;
}

} // namespace

class WritebackKillTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killedAtStep_data();
    void killedAtStep();
    void killedAtRandom();

private:
    QString freshCopy(const QString& name);

    QTemporaryDir m_dir;
    QByteArray m_baseline;
    int m_steps = 0;
};

void WritebackKillTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString base = m_dir.filePath(QStringLiteral("base.db"));
    QCOMPARE(makeStored(base, m_dir.filePath(QStringLiteral("base-plain.db")),
                 { QStringLiteral("create table UserList(UserName  varchar(255), Passowrd varchar(32))"),
                     QStringLiteral("create table FingerList(id int, UserName varchar(255), printerName varchar(255))"),
                     QStringLiteral("insert into UserList values('admin', '58203716')"),
                     QStringLiteral("with recursive n(x) as (select 1 union all select x + 1 from n where x < %1) "
                                    "insert into FingerList select x, 'user' || x, 'P' from n")
                         .arg(kRows) }),
        QString());
    m_baseline = readFile(base);
    QVERIFY(m_baseline.size() > 3 * 64 * 1024);

    // One undisturbed run counts the steps of the write-back.
    QProcess child;
    child.start(
        QStringLiteral(STORE_WRITEBACK_CHILD), { freshCopy(QStringLiteral("count")), QStringLiteral("step:1000000") });
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 3);
    const QByteArray out = child.readAllStandardOutput().trimmed();
    QVERIFY2(out.startsWith("steps="), out.constData());
    m_steps = out.mid(6).toInt();
    QVERIFY(m_steps >= 5);
}

QString WritebackKillTest::freshCopy(const QString& name)
{
    const QString dir = m_dir.filePath(name);
    QDir().mkpath(dir);
    QFile::remove(dir + QStringLiteral("/fingerdata.db"));
    writeFile(dir + QStringLiteral("/fingerdata.db"), m_baseline);
    return dir;
}

void WritebackKillTest::killedAtStep_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("rowsAfter");

    // The new file is written in 64 KiB chunks, then come "synced" and "renamed".
    const int chunks = m_steps - 2;
    QTest::newRow("after the first chunk") << 1 << kRows;
    QTest::newRow("after the second chunk") << 2 << kRows;
    QTest::newRow("after the last chunk") << chunks << kRows;
    QTest::newRow("synced, before the rename") << chunks + 1 << kRows;
    QTest::newRow("right after the rename") << chunks + 2 << kRows + 1;
}

void WritebackKillTest::killedAtStep()
{
    QFETCH(int, step);
    QFETCH(int, rowsAfter);

    const QString dir = freshCopy(QStringLiteral("step%1").arg(step));
    QProcess child;
    child.start(QStringLiteral(STORE_WRITEBACK_CHILD), { dir, QStringLiteral("step:%1").arg(step) });
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit); // killed where asked

    const Outcome outcome = inspect(dir + QStringLiteral("/fingerdata.db"), dir + QStringLiteral("/check.db"));
    QCOMPARE(outcome.integrity, QStringLiteral("ok"));
    QCOMPARE(outcome.rows, rowsAfter);
}

void WritebackKillTest::killedAtRandom()
{
    const QString dir = freshCopy(QStringLiteral("random"));
    QRandomGenerator random(20240611);
    int lastRows = kRows;
    int grew = 0;
    for (int round = 0; round < 15; ++round) {
        QProcess child;
        child.start(QStringLiteral(STORE_WRITEBACK_CHILD), { dir, QStringLiteral("loop") });
        QVERIFY(child.waitForStarted());
        QThread::msleep(40 + random.bounded(260));
        child.kill();
        QVERIFY(child.waitForFinished(10000));

        const Outcome outcome = inspect(dir + QStringLiteral("/fingerdata.db"), dir + QStringLiteral("/check.db"));
        QCOMPARE(outcome.integrity, QStringLiteral("ok"));
        QVERIFY2(
            outcome.rows >= lastRows, qPrintable(QStringLiteral("%1 rows after %2").arg(outcome.rows).arg(lastRows)));
        if (outcome.rows > lastRows)
            ++grew;
        lastRows = outcome.rows;
    }
    qInfo("rows added over 15 kills: %d (in %d of the rounds)", lastRows - kRows, grew);
}

QTEST_GUILESS_MAIN(WritebackKillTest)
#include "tst_writeback_kill.moc"
