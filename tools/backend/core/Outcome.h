#ifndef OUTCOME_H
#define OUTCOME_H

#include <QByteArray>

// How a job that waited for a fingerprint ended. The values are the "result" codes that fpverify
// shows (1 closes the window without a message).
enum class Outcome {
    Identified = 1,
    NotIdentified = 2,
    UserCancelled = 3,
    JobCancelled = 4,
    TimedOut = 5,
    NoUsers = 7,
    Busy = 8,
};

namespace Outcomes
{

// The "result" written for the window.
int resultCode(Outcome outcome);
// The backend's exit status (cups/backend.h): 0 for a verified job, CUPS_BACKEND_CANCEL otherwise.
int exitCode(Outcome outcome);
// The reason in words for the "ERROR:" line; empty for a verified job.
QByteArray errorText(Outcome outcome);
// A short name for the log line.
QByteArray logName(Outcome outcome);

} // namespace Outcomes

#endif
