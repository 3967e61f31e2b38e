#ifndef FPCTL_CONSOLE_H
#define FPCTL_CONSOLE_H

#include <QString>

// The interactive side of a command: instructions shown while it runs (press your finger...) and
// yes/no questions. The program answers from the terminal; tests script the answers.
class Console
{
public:
    virtual ~Console() = default;
    // Shows one line at once (not at the end of the command).
    virtual void prompt(const QString& line) = 0;
    // Asks question (without a line end) and reads the answer: true for "y" or "yes" in any case;
    // anything else, or the end of input, is no.
    virtual bool confirm(const QString& question) = 0;
    // The library is about to wait for something that may take minutes (a finger on the reader,
    // the printer's records); `what` says what, e.g. "waiting for the printer's records". Until
    // endWait() the program may show that it is waiting; endWait() takes away whatever it showed.
    virtual void beginWait(const QString& what) { (void)what; }
    virtual void endWait() { }
};

#endif
