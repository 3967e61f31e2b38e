#include "BackendJob.h"

#include "system/Clock.h"

#include <QStringDecoder>
#include <atomic>
#include <cups/backend.h>
#include <thread>

namespace
{

constexpr Outcome kNone = static_cast<Outcome>(0);

} // namespace

QString userNameText(const QByteArray& gb18030)
{
    QStringDecoder decoder("GB18030");
    QString text = decoder.isValid() ? decoder.decode(gb18030) : QString::fromLatin1(gb18030);
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            c = QChar(u'?');
    }
    return text;
}

BackendJob::BackendJob(PrintLibrary& library, JobHost& host, const JobRequest& request)
    : m_library(library)
    , m_host(host)
    , m_request(request)
{
}

BackendJob::AuthState BackendJob::authState(int libraryState)
{
    switch (libraryState) {
    case 0:
    case 2:
        return AuthState::Off;
    case 1:
    case 3:
        return AuthState::On;
    case 4:
        return AuthState::Busy;
    default:
        return AuthState::Unknown;
    }
}

BackendJob::AuthState BackendJob::waitForAuthState()
{
    const int64_t start = libClock().milliseconds();
    QByteArray waitingLine; // the INFO line of the current wait, empty before the first
    for (;;) {
        m_printerAnswered = m_library.isDeviceConnectForPrint(m_request.innerUri) == 1;
        if (m_printerAnswered) {
            const AuthState state = authState(m_library.isDeviceFingerOpenForPrint(m_request.innerUri));
            if (state != AuthState::Unknown) {
                if (!waitingLine.isEmpty())
                    m_host.report("STATE: -connecting-to-device");
                return state;
            }
        }
        const QByteArray line = m_printerAnswered
            ? "INFO: The printer did not tell whether fingerprint authentication is on; trying again every 10 "
              "seconds."
            : "INFO: Waiting for the printer to answer; trying again every 10 seconds.";
        if (waitingLine.isEmpty())
            m_host.report("STATE: +connecting-to-device");
        if (line != waitingLine)
            m_host.report(line);
        waitingLine = line;
        if (m_host.terminated() || libClock().milliseconds() - start >= kReachWaitMs)
            return AuthState::Unknown;
        const int64_t next = libClock().milliseconds() + kRetryIntervalMs;
        while (!m_host.terminated() && libClock().milliseconds() < next)
            m_host.waitEvents(static_cast<int>(next - libClock().milliseconds()));
        if (m_host.terminated())
            return AuthState::Unknown;
    }
}

int BackendJob::send()
{
    const int sent = m_host.runInnerBackend();
    // An inner backend that CUPS's SIGTERM ended was cancelled with the job, not failed (a failed
    // backend would stop the queue).
    return sent != CUPS_BACKEND_OK && m_host.terminated() ? CUPS_BACKEND_CANCEL : sent;
}

bool BackendJob::dropHeldJob()
{
    const int64_t start = libClock().milliseconds();
    bool waited = false;
    for (;;) {
        for (int i = 1; i <= kDropTries; ++i) {
            if (m_library.dropHeldJob(m_request.innerUri)) {
                if (waited)
                    m_host.report("STATE: -connecting-to-device");
                return true;
            }
            if (i < kDropTries)
                libClock().sleepMilliseconds(kDropRetryMs);
        }
        // A printer that answers and does not confirm has said no. One that does not answer (off
        // the network, unplugged, switched off) may still hold the job when it is back, where the
        // next verified finger would print it: wait for it, for a while.
        if (m_library.isDeviceConnectForPrint(m_request.innerUri) == 1)
            break;
        if (!waited) {
            m_host.report("STATE: +connecting-to-device");
            m_host.report("INFO: The printer does not answer; waiting for it to drop the job.");
        }
        waited = true;
        bool answers = false;
        while (!answers && libClock().milliseconds() - start < kDropWaitMs) {
            libClock().sleepMilliseconds(kRetryIntervalMs);
            answers = m_library.isDeviceConnectForPrint(m_request.innerUri) == 1;
        }
        if (!answers)
            break;
    }
    if (waited)
        m_host.report("STATE: -connecting-to-device");
    m_host.logError(m_request, "the printer did not confirm that it dropped the held job");
    return false;
}

int BackendJob::run()
{
    const AuthState state = waitForAuthState();
    if (state == AuthState::Unknown) {
        if (m_host.terminated())
            return CUPS_BACKEND_CANCEL;
        m_host.report(m_printerAnswered ? "INFO: The printer did not tell for 5 minutes whether fingerprint "
                                          "authentication is on; the job stays queued."
                                        : "INFO: The printer did not answer for 5 minutes; the job stays queued.");
        return CUPS_BACKEND_RETRY;
    }
    if (state == AuthState::Off)
        return send();
    if (state == AuthState::On && m_host.heldJobMark(m_request)) {
        // A run of this queue ended without deciding its job (killed, or stopped with cupsd): the
        // printer may still hold it, and would print it at the next finger, whoever's job waits.
        m_host.report("INFO: Dropping a job that an earlier run left waiting at the printer.");
        if (!dropHeldJob()) {
            m_host.report("INFO: The printer did not confirm that it dropped a job an earlier run left there; the job "
                          "stays queued.");
            return CUPS_BACKEND_RETRY;
        }
        m_host.setHeldJobMark(m_request, false);
    }

    QString why;
    std::unique_ptr<OwnerWindow> window;
    if (m_host.jobIsLocal(m_request.jobId))
        window = m_host.openWindow(m_request, &why);
    m_verifyStart = libClock().milliseconds();
    m_deadline = m_verifyStart + int64_t(m_request.seconds) * 1000 + kGraceMs;
    if (state == AuthState::Busy)
        return finish(Outcome::Busy, window.get(), QByteArray(), false);

    const QByteArray waitingLine = window
        ? "INFO: Waiting for a fingerprint: press your finger on the printer's reader."
        : "INFO: Press your finger on the printer's reader to release the job.";
    m_host.report(waitingLine);
    const Outcome early = pendingCancel(window.get());
    if (early != kNone)
        return finish(early, window.get(), QByteArray(), false);
    m_host.setHeldJobMark(m_request, true);
    const int sent = send();
    if (sent == CUPS_BACKEND_CANCEL)
        return finish(Outcome::JobCancelled, window.get(), QByteArray(), true);
    if (sent != CUPS_BACKEND_OK) {
        // The job did not reach the printer as a whole: whatever it holds goes.
        if (dropHeldJob())
            m_host.setHeldJobMark(m_request, false);
        else
            m_host.report("ERROR: The job did not reach the printer whole, and the printer did not confirm that it "
                          "dropped what it received.");
        if (window)
            window->sendResult(Outcomes::resultCode(Outcome::JobCancelled));
        return sent;
    }
    // Said again over the inner backend's last words ("Waiting for printer to finish." of the
    // socket backend): they are not what the job waits for.
    m_host.report(waitingLine);
    QByteArray userName;
    const Outcome outcome = verify(window.get(), &userName);
    return finish(outcome, window.get(), userName, true);
}

Outcome BackendJob::pendingCancel(OwnerWindow* window)
{
    if (m_host.terminated())
        return Outcome::JobCancelled;
    const int status = window ? window->status() : 0;
    if (status == 3)
        return Outcome::UserCancelled;
    if (status == 5 || libClock().milliseconds() >= m_deadline)
        return Outcome::TimedOut;
    return kNone;
}

Outcome BackendJob::verify(OwnerWindow* window, QByteArray* userName)
{
    Outcome cancel = pendingCancel(window);
    if (cancel != kNone)
        return cancel;

    std::atomic<bool> done(false);
    bool identified = false;
    QByteArray name;
    const int64_t started = libClock().milliseconds();
    std::thread worker([&] {
        identified = m_library.verify(m_request.innerUri, &name);
        done = true;
        m_host.wake();
    });
    while (!done) {
        if (cancel == kNone)
            cancel = pendingCancel(window);
        if (cancel != kNone)
            m_library.cancelVerify();
        if (!done)
            m_host.waitEvents(cancel != kNone ? kCancelRepeatMs : kWatchMs);
    }
    worker.join();
    if (identified) {
        *userName = name;
        return Outcome::Identified;
    }
    if (cancel != kNone)
        return cancel;
    // The printer ended the wait by itself: a finger that matched nobody, or its own time-out.
    if (window && window->status() == 5)
        return Outcome::TimedOut;
    return libClock().milliseconds() - started >= kLibraryGiveUpMs ? Outcome::TimedOut : Outcome::NotIdentified;
}

int BackendJob::finish(Outcome outcome, OwnerWindow* window, const QByteArray& userName, bool sent)
{
    if (outcome != Outcome::Identified) {
        // Only a job that went to the printer is dropped there: a "CANL" for anything else would
        // stop whatever the reader is doing, perhaps someone else's verification.
        const bool dropped = !sent || dropHeldJob();
        if (sent && dropped)
            m_host.setHeldJobMark(m_request, false);
        m_host.report("ERROR: " + Outcomes::errorText(outcome)
            + (dropped ? QByteArray() : " The printer did not confirm that it dropped the job; it may still hold it."));
    } else {
        m_host.setHeldJobMark(m_request, false);
        m_host.report("INFO: Fingerprint verified; the printer prints the job.");
    }
    if (window)
        window->sendResult(Outcomes::resultCode(outcome));
    const int64_t waited = libClock().milliseconds() - m_verifyStart;
    m_host.logVerification(m_request, Outcomes::logName(outcome),
        outcome == Outcome::Identified ? userNameText(userName) : QString(), static_cast<int>((waited + 500) / 1000));
    return Outcomes::exitCode(outcome);
}
