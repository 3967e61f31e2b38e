#include "Outcome.h"

#include <cups/backend.h>

namespace Outcomes
{

int resultCode(Outcome outcome) { return static_cast<int>(outcome); }

int exitCode(Outcome outcome) { return outcome == Outcome::Identified ? CUPS_BACKEND_OK : CUPS_BACKEND_CANCEL; }

QByteArray errorText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Identified:
        return QByteArray();
    case Outcome::NotIdentified:
        return "Fingerprint not recognised; the print job is cancelled.";
    case Outcome::UserCancelled:
        return "Fingerprint verification was cancelled by the user; the print job is cancelled.";
    case Outcome::JobCancelled:
        return "The print job was cancelled while it waited for a fingerprint.";
    case Outcome::TimedOut:
        return "No fingerprint was verified in the time allowed; the print job is cancelled.";
    case Outcome::NoUsers:
        return "The printer has no enrolled fingerprints; the print job is cancelled.";
    case Outcome::Busy:
        return "The printer's fingerprint reader is busy; the print job is cancelled.";
    }
    return "Fingerprint verification failed; the print job is cancelled.";
}

QByteArray logName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Identified:
        return "identified";
    case Outcome::NotIdentified:
        return "not-identified";
    case Outcome::UserCancelled:
        return "cancelled-by-user";
    case Outcome::JobCancelled:
        return "job-cancelled";
    case Outcome::TimedOut:
        return "timed-out";
    case Outcome::NoUsers:
        return "no-users";
    case Outcome::Busy:
        return "busy";
    }
    return "unknown";
}

} // namespace Outcomes
