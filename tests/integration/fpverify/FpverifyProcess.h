#ifndef FPVERIFYPROCESS_H
#define FPVERIFYPROCESS_H

// The real fpverify program, started the way the print side starts it: one argument, no terminal,
// its window on the platform of the environment (offscreen under ctest).

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <csignal>

class FpverifyProcess
{
public:
    // With no argument at all when argument is null.
    explicit FpverifyProcess(const QString& argument = QString())
    {
        m_process.setProgram(QStringLiteral(FPVERIFY_PROGRAM));
        if (!argument.isNull())
            m_process.setArguments({ argument });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }

    ~FpverifyProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start()
    {
        m_process.start();
        m_clock.start();
        return m_process.waitForStarted(10000);
    }

    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    void interrupt() { ::kill(pid_t(m_process.processId()), SIGINT); }

    // Waits up to timeoutMs for the program to end; records when it did.
    bool waitForEnd(int timeoutMs)
    {
        const bool ended = m_process.waitForFinished(timeoutMs);
        if (ended)
            m_endedAtMs = m_clock.elapsed();
        return ended;
    }

    // Keeps the event loop going for ms and reports whether the program is still running.
    bool stillRunningAfter(int ms)
    {
        QTest::qWait(ms);
        return running();
    }

    qint64 endedAtMs() const { return m_endedAtMs; }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    int exitCode() const { return m_process.exitCode(); }

private:
    QProcess m_process;
    QElapsedTimer m_clock;
    qint64 m_endedAtMs = -1;
};

// True when this process has a mount namespace of its own (the init process has another).
inline bool inPrivateMountNamespace()
{
    const QString mine = QFileInfo(QStringLiteral("/proc/self/ns/mnt")).symLinkTarget();
    const QString first = QFileInfo(QStringLiteral("/proc/1/ns/mnt")).symLinkTarget();
    return !mine.isEmpty() && mine != first;
}

#endif
