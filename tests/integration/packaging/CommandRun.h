#ifndef COMMANDRUN_H
#define COMMANDRUN_H

// Runs one outside command (cmake, cpack, dpkg, lintian, the installed programs) to its end and
// keeps what it printed, for the packaging tests.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct CommandResult {
    bool finished = false; // ended on its own within the time allowed
    int exitCode = -1; // meaningful when finished and not crashed
    bool crashed = false;
    QByteArray out;
    QByteArray err;

    bool ok() const { return finished && !crashed && exitCode == 0; }
    // One text for failure messages: the command line, how it ended and what it printed.
    QString describe() const;
    QString commandLine;
};

struct CommandOptions {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString workingDirectory;
    int timeoutMs = 120000;
    QByteArray input;
};

CommandResult runCommand(
    const QString& program, const QStringList& arguments, const CommandOptions& options = CommandOptions());

// Every file, symbolic link and folder under root, as paths relative to it ("usr/bin/fpctl").
QStringList treeEntries(const QString& root);

#endif
