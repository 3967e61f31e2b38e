#ifndef FPCTL_TERMINAL_H
#define FPCTL_TERMINAL_H

#include "commands/Console.h"

#include <QByteArray>

// The program's standard streams. The library writes diagnostic lines to standard error; unless
// they are wanted (--verbose), descriptor 2 is pointed at /dev/null and fpctl keeps its own copy
// of the real standard error for its one error line. Under the sanitizers their reports go to the
// real standard error too.
class Terminal : public Console {
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

    void prompt(const QString& line) override;
    bool confirm(const QString& question) override;

private:
    int m_errFd = -1;
    bool m_promptsToStderr = false;
};

#endif
