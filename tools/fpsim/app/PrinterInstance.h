#pragma once
// One simulated printer as the program runs it: engine, control interpreter and control socket,
// set up from the command line.

#include "ControlInterpreter.h"
#include "ControlServer.h"
#include "Options.h"
#include "PrinterEngine.h"

#include <memory>

namespace fpsim
{

class PrinterInstance
{
public:
    PrinterInstance(const Options& options, const QByteArray& serial, SimClock& clock);

    // Applies --store, --state and --fault, and opens the control socket if `controlPath` is set.
    bool setUp(const Options& options, const QString& controlPath, QString* error);

    PrinterEngine& engine() { return *m_engine; }
    ControlInterpreter& interpreter() { return *m_interpreter; }
    QString controlPath() const;

private:
    std::unique_ptr<PrinterEngine> m_engine;
    std::unique_ptr<ControlInterpreter> m_interpreter;
    std::unique_ptr<ControlServer> m_server;
};

// Installs SIGTERM/SIGINT/SIGHUP handling that quits the Qt event loop; the signal number is
// kept for the exit code.
void quitOnTerminationSignals();
int lastTerminationSignal();
// The parent's death ends this process (prctl PDEATHSIG).
void exitWithParent();

} // namespace fpsim
