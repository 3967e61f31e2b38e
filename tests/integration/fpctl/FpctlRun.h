#ifndef FPCTLRUN_H
#define FPCTLRUN_H

// Runs the built fpctl program and collects what it printed.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

struct FpctlRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    qint64 elapsedMs = 0;
    bool finished = false;

    QString outText() const { return QString::fromUtf8(out); }
    QString errText() const { return QString::fromUtf8(err); }
    // The lines of standard error (without the empty one after the last line end).
    QStringList errLines() const
    {
        QStringList lines = errText().split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};

inline FpctlRun runFpctl(const QStringList& args, const QByteArray& input = QByteArray(), int timeoutMs = 90000)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(FPCTL_PROGRAM), args);
    FpctlRun run;
    if (!process.waitForStarted())
        return run;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.elapsedMs = timer.elapsed();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Runs fpctl with its standard error on a pseudo-terminal (standard output a pipe, no input):
// `err` gets everything written to the terminal.
inline FpctlRun runFpctlOnTerminal(const QStringList& args, int timeoutMs = 90000)
{
    FpctlRun run;
    int master = -1;
    int slave = -1;
    int out[2];
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return run;
    QList<QByteArray> argv8 { QByteArrayLiteral(FPCTL_PROGRAM) };
    for (const QString& arg : args)
        argv8 << arg.toUtf8();
    QList<char*> argv;
    for (QByteArray& arg : argv8)
        argv << arg.data();
    argv << nullptr;
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(slave, STDERR_FILENO);
        ::execv(argv.first(), argv.data());
        ::_exit(127);
    }
    ::close(slave);
    ::close(out[1]);
    bool outOpen = true;
    bool ttyOpen = true;
    while ((outOpen || ttyOpen) && timer.elapsed() < timeoutMs) {
        pollfd fds[2] = { { out[0], POLLIN, 0 }, { master, POLLIN, 0 } };
        if (::poll(fds, 2, 100) < 0 && errno != EINTR)
            break;
        char buffer[4096];
        if (outOpen && (fds[0].revents & (POLLIN | POLLHUP))) {
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n > 0)
                run.out.append(buffer, n);
            else
                outOpen = false;
        }
        // Once the program has ended and nothing is left, the terminal answers EIO.
        if (ttyOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                run.err.append(buffer, n);
            else
                ttyOpen = false;
        }
    }
    int status = 0;
    run.finished = !outOpen && !ttyOpen;
    if (!run.finished)
        ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    run.elapsedMs = timer.elapsed();
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::close(out[0]);
    ::close(master);
    return run;
}

#endif
