// The backend (root) reading what the desktop agent answers: SHOWN / NOWINDOW / STATUS lines, or
// anything else, in any split. The agent is a process of the job's owner, so every byte is theirs.
// The input is the agent's byte stream as chunks (a length byte, then that many bytes; length 0:
// the agent closes its end). The chunks up to the first newline are there when the backend asks
// for the window; after that one chunk arrives each time the job waits. The real BackendJob runs
// the job over the real AgentLink, with a printer whose wait never identifies anyone.
//
// Properties checked besides memory safety: whatever the agent says, the job never ends verified
// (exit status and log line); the link never holds an unfinished line of kMaxLineBytes or more; the
// window's status is only ever none, cancelled or timed out.

#include "AgentLink.h"
#include "AgentMessages.h"
#include "BackendJob.h"
#include "FuzzInput.h"
#include "FuzzSupport.h"

#include <condition_variable>
#include <cups/backend.h>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// A printer with authentication on whose wait ends only when cancelled or when the agent's input
// is used up; it never identifies a user.
class NeverIdentifies : public PrintLibrary
{
public:
    int isDeviceConnectForPrint(const QByteArray&) override { return 1; }
    int isDeviceFingerOpenForPrint(const QByteArray&) override { return 1; }
    bool verify(const QByteArray&, QByteArray*) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_cancelled || m_givenUp; });
        return false;
    }
    void cancelVerify() override { set(&m_cancelled); }
    bool dropHeldJob(const QByteArray&) override { return true; }
    void giveUp() { set(&m_givenUp); }

private:
    void set(bool* flag)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        *flag = true;
        m_changed.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_cancelled = false;
    bool m_givenUp = false;
};

class AgentStream : public JobHost
{
public:
    AgentStream(FuzzInput& input, FuzzClock& clock, NeverIdentifies& library)
        : m_input(input)
        , m_clock(clock)
        , m_library(library)
    {
    }
    ~AgentStream() override
    {
        if (m_agent >= 0)
            ::close(m_agent);
    }

    int runInnerBackend() override { return CUPS_BACKEND_OK; }
    bool jobIsLocal(int) override { return true; }
    std::unique_ptr<OwnerWindow> openWindow(const JobRequest& request, QString* why) override
    {
        int fds[2];
        FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0);
        m_agent = fds[0];
        // Everything up to the first complete line, so that the backend never waits on the clock
        // of the real world for the rest of it.
        bool line = false;
        while (!line && sendChunk(&line)) { }
        if (!line)
            closeAgent();
        std::unique_ptr<AgentLink> link = AgentLink::converse(fds[1], request, 5000, why);
        m_link = link.get();
        checkLink();
        return link;
    }
    void waitEvents(int ms) override
    {
        m_clock.sleepMilliseconds(ms);
        checkLink();
        bool line = false;
        if (!sendChunk(&line))
            m_library.giveUp();
    }
    void wake() override { }
    bool terminated() override { return false; }
    void report(const QByteArray& line) override { FUZZ_CHECK(!line.startsWith("INFO: Fingerprint verified")); }
    void logVerification(const JobRequest&, const QByteArray& outcome, const QString& userName, int) override
    {
        m_outcome = outcome;
        FUZZ_CHECK(userName.isEmpty());
    }

    void logError(const JobRequest&, const QByteArray&) override { }
    bool heldJobMark(const JobRequest&) override { return false; }
    void setHeldJobMark(const JobRequest&, bool) override { }

    QByteArray outcome() const { return m_outcome; }

private:
    // Sends the next chunk; false once the input is used up (the agent's end is closed then).
    bool sendChunk(bool* hadNewline)
    {
        if (m_agent < 0)
            return false;
        if (m_input.atEnd()) {
            closeAgent();
            return false;
        }
        const uint8_t length = m_input.byte();
        if (length == 0) {
            closeAgent();
            return false;
        }
        const std::string bytes = m_input.bytes(length);
        *hadNewline = bytes.find('\n') != std::string::npos;
        // The backend may have closed its end already; what is lost then does not matter.
        [[maybe_unused]] const ssize_t n = ::send(m_agent, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        return true;
    }
    void closeAgent()
    {
        if (m_agent >= 0)
            ::shutdown(m_agent, SHUT_WR);
    }
    void checkLink()
    {
        if (!m_link)
            return;
        FUZZ_CHECK(m_link->bufferedBytes() < AgentMessages::kMaxLineBytes);
        const int status = m_link->status();
        FUZZ_CHECK(status == 0 || status == 3 || status == 5);
        FUZZ_CHECK(m_link->bufferedBytes() < AgentMessages::kMaxLineBytes);
    }

    FuzzInput& m_input;
    FuzzClock& m_clock;
    NeverIdentifies& m_library;
    int m_agent = -1;
    AgentLink* m_link = nullptr; // owned by the job while it runs
    QByteArray m_outcome;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    FuzzClock clock;
    NeverIdentifies library;
    AgentStream host(input, clock, library);
    JobRequest request;
    request.queue = QStringLiteral("Office");
    request.jobId = 17;
    request.owner = QStringLiteral("alice");
    request.innerUri = "socket://192.0.2.7:9100";
    request.seconds = 30;
    BackendJob job(library, host, request);
    const int exitStatus = job.run();
    FUZZ_CHECK(exitStatus != CUPS_BACKEND_OK);
    FUZZ_CHECK(!host.outcome().isEmpty());
    FUZZ_CHECK(host.outcome() != Outcomes::logName(Outcome::Identified));
    return 0;
}
