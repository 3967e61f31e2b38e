#ifndef FPCTLRUN_H
#define FPCTLRUN_H

// Runs the built fpctl program and collects what it printed.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

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

#endif
