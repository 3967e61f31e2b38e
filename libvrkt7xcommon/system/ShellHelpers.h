#ifndef SHELLHELPERS_H
#define SHELLHELPERS_H

// Shell-command helpers, the shared settings file and the status-monitor names. The exported ones
// are declared in vrkt7xsystem.h.

#include "PrinterTypes.h"
#include "vrkt7xsystem.h"

#include <QString>
#include <QVariant>

// appSettings reads and writes sm.conf in the data folder (kSmConfPath in ShellHelpers.cpp, from
// the generated InstallPaths.h); appSettingsInFile on another settings file (for tests and tools). Not exported.
bool appSettingsInFile(
    const QString& file, const QString& key, QVariant& value, const QVariant& defaultValue, bool set);

// The text cmd would be for the shell to read name as one literal word: 'name', with every
// single quote written as '\''.
QString shellQuoted(const QString& name);

#endif
