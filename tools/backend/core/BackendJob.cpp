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

bool BackendJob::waitUntilReachable()
{
    const int64_t start = libClock().milliseconds();
    bool reported = false;
    while (m_library.isDeviceConnectForPrint(m_request.innerUri) != 1) {
        if (!reported) {
            m_host.report("STATE: +connecting-to-device");
            m_host.report("INFO: Waiting for the printer to answer; trying again every 10 seconds.");
            reported = true;
        }
        if (m_host.terminated() || libClock().milliseconds() - start >= kReachWaitMs)
            return false;
        const int64_t next = libClock().milliseconds() + kRetryIntervalMs;
        while (!m_host.terminated() && libClock().milliseconds() < next)
            m_host.waitEvents(static_cast<int>(next - libClock().milliseconds()));
        if (m_host.terminated())
            return false;
    }
    if (reported)
        m_host.report("STATE: -connecting-to-device");
    return true;
}

int BackendJob::run()
{
    if (!waitUntilReachable()) {
        if (m_host.terminated())
            return CUPS_BACKEND_CANCEL;
        m_host.report("INFO: The printer did not answer for 5 minutes; the job stays queued.");
        return CUPS_BACKEND_RETRY;
    }

    const int state = m_library.isDeviceFingerOpenForPrint(m_request.innerUri);
    if (state != 1 && state != 4)
        return m_host.runInnerBackend();

    QString why;
    std::unique_ptr<OwnerWindow> window = m_host.openWindow(m_request, &why);
    m_verifyStart = libClock().milliseconds();
    if (state == 4)
        return finish(Outcome::Busy, window.get(), QByteArray());

    if (window)
        m_host.report("INFO: Waiting for a fingerprint: press your finger on the printer's reader.");
    else
        m_host.report("INFO: Press your finger on the printer's reader to release the job.");
    const int sent = m_host.runInnerBackend();
    if (sent != CUPS_BACKEND_OK) {
        // The job did not reach the printer as a whole: whatever it holds goes.
        m_library.dropHeldJob(m_request.innerUri);
        if (window)
            window->sendResult(Outcomes::resultCode(Outcome::JobCancelled));
        return sent;
    }
    QByteArray userName;
    const Outcome outcome = verify(window.get(), &userName);
    return finish(outcome, window.get(), userName);
}

Outcome BackendJob::pendingCancel(OwnerWindow* window, int64_t deadline)
{
    if (m_host.terminated())
        return Outcome::JobCancelled;
    const int status = window ? window->status() : 0;
    if (status == 3)
        return Outcome::UserCancelled;
    if (status == 5 || libClock().milliseconds() >= deadline)
        return Outcome::TimedOut;
    return kNone;
}

Outcome BackendJob::verify(OwnerWindow* window, QByteArray* userName)
{
    const int64_t deadline = m_verifyStart + int64_t(m_request.seconds) * 1000 + kGraceMs;
    Outcome cancel = pendingCancel(window, deadline);
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
            cancel = pendingCancel(window, deadline);
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

int BackendJob::finish(Outcome outcome, OwnerWindow* window, const QByteArray& userName)
{
    if (outcome != Outcome::Identified) {
        m_library.dropHeldJob(m_request.innerUri);
        m_host.report("ERROR: " + Outcomes::errorText(outcome));
    } else {
        m_host.report("INFO: Fingerprint verified; the printer prints the job.");
    }
    if (window)
        window->sendResult(Outcomes::resultCode(outcome));
    const int64_t waited = libClock().milliseconds() - m_verifyStart;
    m_host.logVerification(m_request, Outcomes::logName(outcome),
        outcome == Outcome::Identified ? userNameText(userName) : QString(), static_cast<int>((waited + 500) / 1000));
    return Outcomes::exitCode(outcome);
}
