#ifndef BACKENDJOB_H
#define BACKENDJOB_H

#include "JobHost.h"
#include "Outcome.h"
#include "PrintLibrary.h"

// One print job through the backend:
//   1. wait until the printer answers and says whether authentication is on (every 10 s, at most
//      5 minutes, then CUPS retries the job); nothing is sent before that is known;
//   2. authentication off: the inner backend prints the job, nothing else;
//   3. on: the owner's window is shown (only for a job submitted on this computer), the job goes
//      to the printer, which holds it, and the library waits for a finger on a worker thread; the
//      window's Cancel, its time running out, CUPS stopping the job or the window's time plus
//      15 s cancel that wait; a cancel that comes before the job was sent sends nothing;
//   4. the outcome: a verified job ends completed; any other ends cancelled with the reason on an
//      ERROR line, and a job that was sent is dropped at the printer with one checked "CANL"
//      (tried again a few times; a printer that does not answer is waited for, up to a minute;
//      a drop the printer never confirms is said and logged).
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
    static constexpr int kDropTries = 3;
    static constexpr int kDropRetryMs = 1000;
    static constexpr int kDropWaitMs = 60 * 1000; // for a printer gone while it holds the job

private:
    enum class AuthState { Off, On, Busy, Unknown };
    static AuthState authState(int libraryState);
    AuthState waitForAuthState();
    int send();
    bool dropHeldJob();
    Outcome verify(OwnerWindow* window, QByteArray* userName);
    Outcome pendingCancel(OwnerWindow* window);
    int finish(Outcome outcome, OwnerWindow* window, const QByteArray& userName, bool sent);

    PrintLibrary& m_library;
    JobHost& m_host;
    JobRequest m_request;
    bool m_printerAnswered = false; // the last try reached the printer (its state was unknown)
    int64_t m_verifyStart = 0;
    int64_t m_deadline = 0; // the window's time plus the grace
};

// GB18030 bytes of a user name as UTF-8 text without control characters.
QString userNameText(const QByteArray& gb18030);

#endif
