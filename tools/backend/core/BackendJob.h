#ifndef BACKENDJOB_H
#define BACKENDJOB_H

#include "JobHost.h"
#include "Outcome.h"
#include "PrintLibrary.h"

// One print job through the backend:
//   1. wait until the printer answers (every 10 s, at most 5 minutes, then CUPS retries the job);
//   2. authentication off: the inner backend prints the job, nothing else;
//   3. on: the owner's window is shown, the job goes to the printer, which holds it, and the
//      library waits for a finger on a worker thread; the window's Cancel, its time running out,
//      CUPS stopping the job or the window's time plus 15 s cancel that wait;
//   4. the outcome: a verified job ends completed; any other drops the held job at the printer
//      and ends cancelled, with the reason on an ERROR line.
// All time goes through the library's clock.
class BackendJob
{
public:
    BackendJob(PrintLibrary& library, JobHost& host, const JobRequest& request);

    // The backend's exit status.
    int run();

    static constexpr int kRetryIntervalMs = 10 * 1000;
    static constexpr int kReachWaitMs = 5 * 60 * 1000;
    static constexpr int kGraceMs = 15 * 1000; // beyond the window's time
    static constexpr int kWatchMs = 250; // how often the window and the clock are looked at
    static constexpr int kCancelRepeatMs = 100;
    // The library gives up on its own after 10 polls 5 s apart; a verification that ends this
    // late without a user ran out of time.
    static constexpr int kLibraryGiveUpMs = 45 * 1000;

private:
    bool waitUntilReachable();
    Outcome verify(OwnerWindow* window, QByteArray* userName);
    Outcome pendingCancel(OwnerWindow* window, int64_t deadline);
    int finish(Outcome outcome, OwnerWindow* window, const QByteArray& userName);

    PrintLibrary& m_library;
    JobHost& m_host;
    JobRequest m_request;
    int64_t m_verifyStart = 0;
};

// GB18030 bytes of a user name as UTF-8 text without control characters.
QString userNameText(const QByteArray& gb18030);

#endif
