#include "ExitCode.h"

#include "vrkt7xcommon.h"

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
        return LibraryFailure { exitCode, QStringLiteral("%1 (code %2)").arg(QLatin1String(text)).arg(code) };
    };
    switch (code) {
    case VRKT_OK:
        return LibraryFailure {};
    case VRKT_QUERY_FAILED:
        return failure(ExitCode::Unreachable, "the printer did not answer the status query");
    case VRKT_FILE_ERROR:
        return failure(ExitCode::FileError, "the fingerprint data file is missing, unreadable or not writable");
    case VRKT_BUSY:
        return failure(ExitCode::Busy, "the printer's fingerprint unit is busy");
    case VRKT_REFUSED:
        return failure(ExitCode::Failed, "the printer refused the command");
    case VRKT_ADD_FAILED:
        return failure(ExitCode::Failed, "the printer reported that the operation failed");
    case VRKT_FAILED:
        return failure(ExitCode::Failed, "the operation failed or timed out at the printer");
    case VRKT_NOT_READY:
        return failure(ExitCode::Timeout, "the printer kept answering 'not ready' and then stopped answering");
    case VRKT_NO_MATCH:
        return failure(ExitCode::NotEnrolled, "the finger matched no enrolled fingerprint");
    case VRKT_CANCELLED:
        return failure(ExitCode::Cancelled, "cancelled");
    case VRKT_NO_USER:
        return failure(ExitCode::Failed, "the printer's result named no user");
    case VRKT_UNKNOWN_USER:
        return failure(ExitCode::NotEnrolled, "the printer does not know this name");
    case VRKT_OPEN_FAILED:
        return failure(ExitCode::Unreachable, "the printer could not be opened or connected");
    case VRKT_NO_REPLY:
        return failure(ExitCode::Unreachable, "the printer gave no usable reply");
    case VRKT_WRITE_FAILED:
        return failure(ExitCode::Unreachable, "the command could not be sent to the printer");
    case VRKT_NEVER_READY:
        return failure(ExitCode::Timeout, "the printer did not become ready in time");
    case VRKT_NOT_STATUS:
        return failure(ExitCode::Failed, "the printer's reply was not a status record");
    case VRKT_NET_FORMAT:
        return failure(ExitCode::Failed, "the printer's network reply was malformed");
    default:
        return failure(ExitCode::Failed, "the library reported an unexpected result");
    }
}
