#ifndef SHELLHELPERS_H
#define SHELLHELPERS_H

// Shell-command helpers, the shared settings file and the status-monitor names. Exported from
// libvrkt7xcommon with C++ linkage.

#include "PrinterTypes.h"
#include "vrkt7xexport.h"

#include <QString>
#include <QVariant>

// Status-monitor settings file, its lock file and the key prefixes of a printer's status and
// model (the printer name follows the prefix). The library only publishes the names.
extern VRKT_EXPORT const char* const filepath;    // "/tmp/.statusmonitor"
extern VRKT_EXPORT const char* const lockfile;    // "/tmp/.lockstatusmonitor"
extern VRKT_EXPORT const char* const statusKey;   // "printer/status/"
extern VRKT_EXPORT const char* const printersKey; // "printer/mdl/"

// Decides whether a printer found in CUPS belongs to the supported family. Starts as the library's
// own model test (_isDeviceSupported); a program may replace it before the first discovery. A
// null hook makes discovery skip every printer.
typedef bool (*func_isDeviceSupported)(Printer_struct* printer);
extern VRKT_EXPORT func_isDeviceSupported isDeviceSupported;

// Runs cmd (as Latin-1 text) through the shell and returns what it prints on standard output:
// with mode 0 the first line only (at most 511 bytes, newline included), with any other mode
// every line. An empty string, and "command <cmd> error" on standard error, when the shell cannot
// be started. Blocks until the command ends.
VRKT_EXPORT QString get_string_from_shell_cmd(const QString& cmd, int mode);

// True when CUPS lists a job of queue printer_name in progress: the first line of
//   LANG=en lpstat -l -o 'NAME' 2>>/dev/null|grep -w 'NAME'
// is not empty. The name is quoted so that the shell sees one literal word whatever it holds. An
// empty name is idle. False too when the shell cannot be started.
VRKT_EXPORT bool printer_is_printing(const QString& printer_name);

// False only when connecting to the local socket server_path is refused or fails; an empty path,
// or a socket that cannot be created, counts as running.
VRKT_EXPORT bool is_app_running(const char* server_path);

// Reads (set false) or writes (set true) key of the shared settings file, sm.conf in the data
// folder (/usr/share/vrkt7x, see kSmConfPath in ShellHelpers.cpp). Reading a missing key gives
// defaultValue. Prints "get key K value:V" / "set key K value:V" on standard
// error. Always true: an unreadable or unwritable file behaves like an empty one.
VRKT_EXPORT bool appSettings(const QString& key, QVariant& value, const QVariant& defaultValue, bool set);

// appSettings on another settings file (for tests and tools). Not exported.
bool appSettingsInFile(const QString& file, const QString& key, QVariant& value,
                       const QVariant& defaultValue, bool set);

// The text cmd would be for the shell to read name as one literal word: 'name', with every
// single quote written as '\''.
QString shellQuoted(const QString& name);

#endif
