#ifndef FPCTL_OUTCOMEWRITER_H
#define FPCTL_OUTCOMEWRITER_H

#include "commands/Outcome.h"

#include <QByteArray>
#include <QString>

// Turns an outcome into what fpctl prints: the text answer (or one JSON object) for standard
// output and the one error line for standard error.
struct WrittenOutcome {
    QByteArray out;
    QByteArray err;
};

WrittenOutcome writeOutcome(const QString& command, bool json, const Outcome& outcome);

// The error line alone: "fpctl: COMMAND: message\n" ("fpctl: message\n" without a command).
QByteArray errorLine(const QString& command, const QString& message);

#endif
