#pragma once
// The two modes of the fpsim program.

#include "Options.h"

namespace fpsim
{

// Serves one network printer until SIGTERM/SIGINT or the control command "quit". Exit code.
int runNet(const Options& options);

// Runs `options.program` with one simulated USB printer per serial; returns the program's exit
// code (or 128 + signal). `argv` is this process's own, for re-executing under the preload.
int runUsb(const Options& options, char** argv);

// Sends control commands (or, with none, the lines of standard input) to a printer's control
// socket and prints the answers. 0 when every command was answered "OK".
int runCtl(const QString& socketPath, const QStringList& commands);

} // namespace fpsim
