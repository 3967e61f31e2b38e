#ifndef FPCTL_FPCTL_H
#define FPCTL_FPCTL_H

#include "Console.h"
#include "Outcome.h"
#include "cli/CommandLine.h"
#include "library/PrinterLibrary.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// The commands of fpctl over a PrinterLibrary. run() carries out one parsed command line and
// returns what it produced; printing it is OutcomeWriter's job.
class Fpctl {
public:
    Fpctl(PrinterLibrary& library, Console& console);

    Outcome run(const Invocation& invocation);

    // Asks a running (or about to start) verify to stop: the library is told to cancel until the
    // verification has ended. Safe to call from any thread; does nothing for other commands.
    void requestCancel();

    // How often a pending cancel is told to the library again while a verification runs (the
    // library drops a cancel that comes before its verification has started).
    void setCancelRepeat(std::chrono::milliseconds interval) { m_cancelRepeat = interval; }

private:
    // A printer as named on the command line.
    struct Target {
        QString label;      // what messages call it: the queue name, else the URI
        QString queue;      // empty when a URI was given
        QByteArray uri;
    };

    bool resolvePrinter(const QString& printer, Target* target, Outcome* outcome);
    bool encodeName(const QString& name, QByteArray* bytes, Outcome* outcome);
    // Fills outcome from a library result code; false when it was not 0.
    bool takeLibraryResult(int code, Outcome* outcome);
    // After a bool function failed: why (busy, unreachable, or refused).
    void diagnoseRefusal(const Target& target, const QString& what, Outcome* outcome);

    Outcome printers(bool all);
    Outcome status(const QString& printer);
    Outcome switchAuthentication(const QString& printer, bool on);
    Outcome enrol(const QString& printer, const QString& name);
    Outcome check(const QString& printer, const QString& name);
    Outcome deleteOne(const QString& printer, const QString& name);
    Outcome deleteAll(const QString& printer, bool confirmed);
    Outcome exportRecords(const QString& printer, const QString& file);
    Outcome importRecords(const QString& printer, const QString& file);
    Outcome records(const QString& file);
    Outcome verify(const QString& printer, int timeoutSeconds);

    static void setPrinter(const Target& target, Outcome* outcome);

    PrinterLibrary& m_library;
    Console& m_console;

    // Cancellation of verify.
    std::mutex m_cancelMutex;
    std::condition_variable m_cancelWake;
    std::atomic<bool> m_cancelRequested{false};
    bool m_verifying = false;
    std::chrono::milliseconds m_cancelRepeat{100};
};

#endif
