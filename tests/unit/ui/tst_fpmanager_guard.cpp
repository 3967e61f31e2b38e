// The single-instance guard: one holder at a time, and a guard left behind by a process that died
// without detaching (crash, kill -9) does not lock fpmanager out.
#include "SingleInstanceGuard.h"

#include <QUuid>
#include <QtTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

QString uniqueKey() { return QStringLiteral("tst_guard_") + QUuid::createUuid().toString(QUuid::Id128).left(10); }

// A child process that takes the guard, reports the result through a pipe and then either waits
// to be killed or leaves at once without detaching.
pid_t childHolding(const QString& key, bool waitForKill, int* result)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        auto* guard = new SingleInstanceGuard(key); // never destroyed: no detach
        const char outcome = static_cast<char>(guard->acquire());
        (void)!write(fds[1], &outcome, 1);
        close(fds[1]);
        if (waitForKill)
            for (;;)
                pause();
        _exit(0);
    }
    close(fds[1]);
    char outcome = -1;
    (void)!read(fds[0], &outcome, 1);
    close(fds[0]);
    *result = outcome;
    return pid;
}

} // namespace

class TestGuard : public QObject
{
    Q_OBJECT

private slots:
    void oneHolderAtATime();
    void otherProcess_data();
    void otherProcess();
};

void TestGuard::oneHolderAtATime()
{
    const QString key = uniqueKey();
    SingleInstanceGuard first(key);
    QCOMPARE(first.acquire(), SingleInstanceGuard::Result::Acquired);
    {
        SingleInstanceGuard second(key);
        QCOMPARE(second.acquire(), SingleInstanceGuard::Result::AlreadyRunning);
    }
    // The refused attempt did not take the guard away from its holder.
    SingleInstanceGuard third(key);
    QCOMPARE(third.acquire(), SingleInstanceGuard::Result::AlreadyRunning);
    first.release();
    QCOMPARE(third.acquire(), SingleInstanceGuard::Result::Acquired);
}

void TestGuard::otherProcess_data()
{
    QTest::addColumn<bool>("killed");
    QTest::newRow("holder killed") << true;
    QTest::newRow("holder left without detaching") << false;
}

void TestGuard::otherProcess()
{
    QFETCH(bool, killed);
    const QString key = uniqueKey();
    int childResult = -1;
    const pid_t child = childHolding(key, killed, &childResult);
    QVERIFY(child > 0);
    QCOMPARE(childResult, int(SingleInstanceGuard::Result::Acquired));

    if (killed) {
        SingleInstanceGuard whileAlive(key);
        QCOMPARE(whileAlive.acquire(), SingleInstanceGuard::Result::AlreadyRunning);
        kill(child, SIGKILL);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);

    SingleInstanceGuard after(key);
    QCOMPARE(after.acquire(), SingleInstanceGuard::Result::Acquired);
}

QTEST_GUILESS_MAIN(TestGuard)
#include "tst_fpmanager_guard.moc"
