#ifndef FPCTL_COMMANDLINE_H
#define FPCTL_COMMANDLINE_H

#include <QString>
#include <QStringList>

// The parsed command line of fpctl.
//
//   fpctl [--json] [--verbose] COMMAND [options] ARGUMENTS...
//
// Global options may stand anywhere before "--"; after "--" every word is an argument (so names
// that start with '-' can be given).
struct Invocation {
    QString command; // canonical name ("enrol" for "enroll"); empty: none given
    QStringList arguments; // the positional arguments, in order
    bool json = false; // --json
    bool verbose = false; // --verbose / -v: let the library's diagnostics through
    bool help = false; // --help / -h, or the command "help"
    bool version = false; // --version
    bool all = false; // printers --all
    bool yes = false; // delete-all --yes / -y
    int timeoutSeconds = -1; // verify --timeout; -1 when not given
};

// One command of fpctl: its name, the names of its arguments and its one-line summary.
struct CommandInfo {
    const char* name;
    QStringList argumentNames;
    const char* summary;
};

// Every command, in the order of the manual.
const QList<CommandInfo>& commandList();
// The command called name (aliases included), or null.
const CommandInfo* findCommand(const QString& name);

// verify's default and largest time-out: the printer gives up on its own after about 50 s.
constexpr int kDefaultVerifyTimeout = 45;
constexpr int kMaxVerifyTimeout = 45;

// Parses the arguments (without the program name). False with a sentence in error (no final full
// stop) for bad usage; invocation then still holds what was understood (the command, --json) so
// that the error can be reported in the requested form.
bool parseCommandLine(const QStringList& args, Invocation* invocation, QString* error);

#endif
