#include "ExitCode.h"

QString exitCodeName(ExitCode code)
{
    switch (code) {
    case ExitCode::Ok:
        return QStringLiteral("ok");
    case ExitCode::Failed:
        return QStringLiteral("failed");
    case ExitCode::Usage:
        return QStringLiteral("usage");
    case ExitCode::NotEnrolled:
        return QStringLiteral("not-enrolled");
    case ExitCode::Busy:
        return QStringLiteral("busy");
    case ExitCode::Unreachable:
        return QStringLiteral("unreachable");
    case ExitCode::Timeout:
        return QStringLiteral("timeout");
    case ExitCode::Cancelled:
        return QStringLiteral("cancelled");
    case ExitCode::FileError:
        return QStringLiteral("file-error");
    }
    return QStringLiteral("failed");
}

LibraryFailure describeLibraryResult(int code)
{
    auto failure = [code](ExitCode exitCode, const char* text) {
        return LibraryFailure{exitCode, QStringLiteral("%1 (code %2)").arg(QLatin1String(text)).arg(code)};
    };
    switch (code) {
    case 0:
        return LibraryFailure{};
    case -1:
        return failure(ExitCode::Unreachable, "the printer did not answer the status query");
    case 2:
        return failure(ExitCode::FileError, "the fingerprint data file is missing, unreadable or not writable");
    case 4:
        return failure(ExitCode::Busy, "the printer's fingerprint unit is busy");
    case 5:
        return failure(ExitCode::Failed, "the printer refused the command");
    case 7:
        return failure(ExitCode::Failed, "the printer reported that the operation failed");
    case 9:
        return failure(ExitCode::Failed, "the operation failed or timed out at the printer");
    case 10:
        return failure(ExitCode::Timeout, "the printer kept answering 'not ready' and then stopped answering");
    case 11:
        return failure(ExitCode::NotEnrolled, "the finger matched no enrolled fingerprint");
    case 12:
        return failure(ExitCode::Cancelled, "cancelled");
    case 13:
        return failure(ExitCode::Failed, "the printer's result named no user");
    case 14:
        return failure(ExitCode::NotEnrolled, "the printer does not know this name");
    case 15:
        return failure(ExitCode::Unreachable, "the printer could not be opened or connected");
    case 16:
        return failure(ExitCode::Unreachable, "the printer gave no usable reply");
    case 17:
        return failure(ExitCode::Unreachable, "the command could not be sent to the printer");
    case 18:
        return failure(ExitCode::Timeout, "the printer did not become ready in time");
    case 19:
        return failure(ExitCode::Failed, "the printer's reply was not a status record");
    case 22:
        return failure(ExitCode::Failed, "the printer's network reply was malformed");
    default:
        return failure(ExitCode::Failed, "the library reported an unexpected result");
    }
}
