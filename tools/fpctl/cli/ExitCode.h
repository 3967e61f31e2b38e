#ifndef FPCTL_EXITCODE_H
#define FPCTL_EXITCODE_H

#include <QString>

// The exit codes of fpctl. Each kind of outcome has its own code so that scripts can tell them
// apart; the same list is printed by `fpctl --help`.
enum class ExitCode : int {
    Ok = 0, // done
    Failed = 1, // the printer refused the command or reported a failure
    Usage = 2, // bad command line, or a user name that cannot be sent
    NotEnrolled = 3, // the name is not enrolled, or no enrolled finger was identified
    Busy = 4, // the printer's fingerprint unit is busy
    Unreachable = 5, // no such printer, not a supported one, or it does not answer
    Timeout = 6, // the printer or the finger took too long
    Cancelled = 7, // cancelled by the user (Ctrl-C, or a confirmation answered no)
    FileError = 8, // a fingerprint data file is missing, unreadable, malformed or not writable
};

// The short machine-readable name of an exit code ("ok", "failed", "usage", ...), used as
// "error_kind" in JSON output.
QString exitCodeName(ExitCode code);

// What a library result code means for the user: the exit code and a sentence without a final
// full stop. Code 0 gives ExitCode::Ok and an empty text.
struct LibraryFailure {
    ExitCode exitCode = ExitCode::Ok;
    QString message;
};
LibraryFailure describeLibraryResult(int code);

#endif
