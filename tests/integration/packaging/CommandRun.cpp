#include "CommandRun.h"

#include <QDirIterator>
#include <QProcess>

QString CommandResult::describe() const
{
    QString how;
    if (!finished)
        how = QStringLiteral("did not end in time");
    else if (crashed)
        how = QStringLiteral("crashed");
    else
        how = QStringLiteral("exit code %1").arg(exitCode);
    return QStringLiteral("%1: %2\n--- stdout\n%3\n--- stderr\n%4")
        .arg(commandLine, how, QString::fromLocal8Bit(out.right(6000)), QString::fromLocal8Bit(err.right(6000)));
}

CommandResult runCommand(const QString& program, const QStringList& arguments, const CommandOptions& options)
{
    CommandResult result;
    result.commandLine = (QStringList { program } + arguments).join(QLatin1Char(' '));
    QProcess process;
    process.setProcessEnvironment(options.environment);
    if (!options.workingDirectory.isEmpty())
        process.setWorkingDirectory(options.workingDirectory);
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        result.err = process.errorString().toLocal8Bit();
        return result;
    }
    if (!options.input.isEmpty())
        process.write(options.input);
    process.closeWriteChannel();
    result.finished = process.waitForFinished(options.timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QStringList treeEntries(const QString& root)
{
    QStringList entries;
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext())
        entries << base.relativeFilePath(it.next());
    entries.sort();
    return entries;
}
