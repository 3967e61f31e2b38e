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
class Fpctl
{
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
        QString label; // what messages call it: the queue name, else the URI
        QString queue; // empty when a URI was given
        QByteArray uri;
    };
    // What a command on one printer was given besides the printer.
    struct Request {
        QString argument; // NAME or FILE as typed
        QByteArray name; // NAME as sent to the printer
        QString path; // FILE, absolute
        qsizetype records = 0; // import: the records in FILE
        bool confirmed = false; // delete-all --yes
        int timeoutSeconds = kDefaultVerifyTimeout;
    };
    // A library result that a command words itself: "PRINTER: text (code N)".
    struct Wording {
        int code;
        ExitCode exitCode;
        QString text;
    };

    // The checks that need no printer, made before it is looked up: the name is encoded, the
    // file read or its folder checked. False (outcome filled) when the command cannot go on.
    bool prepareName(Request* request, Outcome* outcome);
    bool prepareExport(Request* request, Outcome* outcome);
    bool prepareImport(Request* request, Outcome* outcome);
    bool resolvePrinter(const QString& printer, Target* target, Outcome* outcome);
    // Fills outcome from a library result code; false when it was not 0. The error starts with
    // the printer's label, then step ("first press: "), then what the code means - or, for a
    // code in own, the command's own sentence instead.
    bool takeLibraryResult(const Target& target, int code, Outcome* outcome, const QList<Wording>& own = {},
        const QString& step = QString());
    // After a bool function failed: why (busy, unreachable, or refused).
    void diagnoseRefusal(const Target& target, const QString& what, Outcome* outcome);

    Outcome printers(bool all);
    Outcome records(const QString& file);
    // The commands on one printer, once it is resolved; each adds to outcome.
    void status(const Target& target, const Request& request, Outcome* outcome);
    void switchOn(const Target& target, const Request& request, Outcome* outcome);
    void switchOff(const Target& target, const Request& request, Outcome* outcome);
    void switchAuthentication(const Target& target, bool on, Outcome* outcome);
    void enrol(const Target& target, const Request& request, Outcome* outcome);
    void check(const Target& target, const Request& request, Outcome* outcome);
    void deleteOne(const Target& target, const Request& request, Outcome* outcome);
    void deleteAll(const Target& target, const Request& request, Outcome* outcome);
    void exportRecords(const Target& target, const Request& request, Outcome* outcome);
    void importRecords(const Target& target, const Request& request, Outcome* outcome);
    void verify(const Target& target, const Request& request, Outcome* outcome);

    static void setPrinter(const Target& target, Outcome* outcome);

    PrinterLibrary& m_library;
    Console& m_console;

    // Cancellation of verify.
    std::mutex m_cancelMutex;
    std::condition_variable m_cancelWake;
    std::atomic<bool> m_cancelRequested { false };
    bool m_verifying = false;
    std::chrono::milliseconds m_cancelRepeat { 100 };
};

#endif
