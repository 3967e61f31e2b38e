#ifndef FPCTL_TERMINAL_H
#define FPCTL_TERMINAL_H

#include "cli/StatusLine.h"
#include "commands/Console.h"

#include <QByteArray>
#include <memory>

// The program's standard streams. The library writes diagnostic lines to standard error; unless
// they are wanted (--verbose), descriptor 2 is pointed at /dev/null and fpctl keeps its own copy
// of the real standard error for its one error line. Under the sanitizers their reports go to the
// real standard error too.
class Terminal : public Console
{
public:
    // Takes a copy of the current standard error. Call first thing in main.
    Terminal();
    ~Terminal() override;

    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Sends the library's (and Qt's) diagnostics to /dev/null.
    void silenceDiagnostics();
    // Prompts go to standard output, or to standard error when standard output carries JSON.
    void setPromptsToStderr(bool toStderr) { m_promptsToStderr = toStderr; }

    void writeOut(const QByteArray& bytes);
    void writeErr(const QByteArray& bytes);
    // The descriptor of the real standard error (for the interrupt handler).
    int errorDescriptor() const { return m_errFd; }
    // Whether the real standard error is a terminal.
    bool errorIsTerminal() const;
    // Waits are shown as a status line on the real standard error (see StatusLine) once this was
    // called with true; by default they are not shown.
    void showWaits(bool show);

    void prompt(const QString& line) override;
    bool confirm(const QString& question) override;
    void beginWait(const QString& what) override;
    void endWait() override;

private:
    int m_errFd = -1;
    bool m_promptsToStderr = false;
    std::unique_ptr<StatusLine> m_status;
};

#endif
