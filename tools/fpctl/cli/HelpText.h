#ifndef FPCTL_HELPTEXT_H
#define FPCTL_HELPTEXT_H

#include <QString>

// The manual of fpctl (`fpctl --help`) and the help of each command (`fpctl COMMAND --help`).
QString manualText();
// The help of one command (canonical name); the manual for an unknown or empty name.
QString commandHelp(const QString& command);
QString versionText();

#endif
