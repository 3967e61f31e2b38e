#ifndef FPCTL_OUTCOME_H
#define FPCTL_OUTCOME_H

#include "cli/ExitCode.h"

#include <QJsonObject>
#include <QStringList>
#include <climits>

// What one command produced: its exit code, the text answer, the same answer as JSON fields, and
// at most one error line.
struct Outcome {
    ExitCode exitCode = ExitCode::Ok;
    QStringList lines; // the text answer, one entry per line of standard output
    QJsonObject data; // the answer's JSON fields (besides command, ok and exit_code)
    QString error; // the error sentence, written as "fpctl: COMMAND: error"; may be
                   // empty for a negative answer that is not an error (check)
    QString errorKind; // empty: exitCodeName(exitCode)
    int libraryCode = INT_MIN; // the library's result code behind the outcome, when there is one

    bool ok() const { return exitCode == ExitCode::Ok; }
    void fail(ExitCode code, const QString& message)
    {
        exitCode = code;
        error = message;
    }
};

#endif
