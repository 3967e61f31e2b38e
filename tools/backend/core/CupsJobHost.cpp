#include "CupsJobHost.h"

#include "AgentPaths.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cups/backend.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

extern char** environ;

namespace
{

std::atomic<bool> g_terminated(false);
int g_wakePipe[2] = { -1, -1 };

void onTerminate(int)
{
    g_terminated = true;
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &byte, 1);
    errno = saved;
}

// The inner backend's end wakes the wait at once rather than at its next turn.
void onChild(int)
{
    const int saved = errno;
    const char byte = 2;
    [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &byte, 1);
    errno = saved;
}

// cupsd names the host of a job submitted over its local socket or the loopback interface
// "localhost"; the numeric forms are taken too. Anything else came from elsewhere.
bool isLocalOriginatingHost(const char* hostName)
{
    return hostName
        && (strcasecmp(hostName, "localhost") == 0 || strcmp(hostName, "127.0.0.1") == 0
            || strcmp(hostName, "::1") == 0);
}

// The server libcups talks to: cupsd's local socket or this computer's loopback name.
bool isLocalServer(const char* server) { return server && (server[0] == '/' || isLocalOriginatingHost(server)); }

void drainWakePipe()
{
    char buffer[64];
    while (::read(g_wakePipe[0], buffer, sizeof(buffer)) > 0) { }
}

} // namespace

QString loggable(const QString& text, int maxChars)
{
    QString out = text.left(maxChars);
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            c = QChar(u'?');
    }
    return out;
}

QString logField(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("-");
    QString out = loggable(text);
    for (QChar& c : out) {
        const QChar::Category category = c.category();
        if (c.isSpace() || category == QChar::Other_Format || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            c = QChar(u'?');
    }
    return out;
}

CupsJobHost::CupsJobHost(const QByteArray& innerBackend, const QByteArray& innerUri, const QList<QByteArray>& arguments)
    : m_innerBackend(innerBackend)
    , m_innerUri(innerUri)
    , m_arguments(arguments)
{
}

CupsJobHost::~CupsJobHost() = default;

bool CupsJobHost::installSignalHandling()
{
    if (g_wakePipe[0] >= 0)
        return true;
    if (::pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    struct sigaction child = {};
    child.sa_handler = onChild;
    child.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&child.sa_mask);
    sigaction(SIGCHLD, &child, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

int CupsJobHost::runInnerBackend()
{
    // Everything the child needs is built before fork: after it only exec and _exit.
    QList<QByteArray> args;
    args << m_innerUri << m_arguments;
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QByteArray deviceUri = "DEVICE_URI=" + m_innerUri;
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) {
        if (strncmp(*e, "DEVICE_URI=", 11) != 0)
            envp.push_back(*e);
    }
    envp.push_back(deviceUri.data());
    envp.push_back(nullptr);
    static const char execFailed[] = "ERROR: The printer's own backend cannot be started.\n";

    const pid_t pid = ::fork();
    if (pid < 0) {
        report("ERROR: The printer's own backend cannot be started.");
        return CUPS_BACKEND_FAILED;
    }
    if (pid == 0) {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGCHLD, &action, nullptr);
        signal(SIGPIPE, SIG_DFL);
        ::execve(m_innerBackend.constData(), argv.data(), envp.data());
        [[maybe_unused]] const ssize_t n = ::write(2, execFailed, sizeof(execFailed) - 1);
        _exit(CUPS_BACKEND_FAILED);
    }
    bool forwarded = false;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : CUPS_BACKEND_FAILED;
        if (r < 0 && errno != EINTR)
            return CUPS_BACKEND_FAILED;
        if (g_terminated && !forwarded) {
            ::kill(pid, SIGTERM);
            forwarded = true;
        }
        waitEvents(50);
    }
}

bool CupsJobHost::jobIsLocal(int jobId)
{
    const char* server = cupsServer();
    if (!isLocalServer(server)) {
        syslog(LOG_INFO, "job %d: no window: the print server is not this computer's", jobId);
        return false;
    }
    http_t* http
        = httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, kCupsAnswerMs, nullptr);
    if (!http) {
        syslog(LOG_INFO, "job %d: no window: cupsd does not answer", jobId);
        return false;
    }
    httpSetTimeout(http, kCupsAnswerMs / 1000.0, nullptr, nullptr);
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    char jobUri[64];
    snprintf(jobUri, sizeof(jobUri), "ipp://localhost/jobs/%d", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, jobUri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(
        request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-originating-host-name");
    ipp_t* response = cupsDoRequest(http, request, "/jobs/");
    ipp_attribute_t* host = response && cupsLastError() == IPP_STATUS_OK
        ? ippFindAttribute(response, "job-originating-host-name", IPP_TAG_ZERO)
        : nullptr;
    const bool local = host && ippGetCount(host) == 1 && isLocalOriginatingHost(ippGetString(host, 0, nullptr));
    if (!local)
        syslog(LOG_INFO, "job %d: no window: %s", jobId,
            host ? "the job was submitted on another computer" : "cupsd did not say where the job came from");
    ippDelete(response);
    httpClose(http);
    return local;
}

std::unique_ptr<OwnerWindow> CupsJobHost::openWindow(const JobRequest& request, QString* why)
{
    std::unique_ptr<AgentLink> link
        = AgentLink::open(request, QLatin1String(AgentPaths::kRuntimeRoot), kAgentAnswerMs, why);
    m_agent = link.get();
    if (!link)
        syslog(LOG_INFO, "job %d: no window: %s", request.jobId, qPrintable(loggable(*why)));
    return link;
}

void CupsJobHost::waitEvents(int ms)
{
    struct pollfd fds[2] = { { g_wakePipe[0], POLLIN, 0 }, { -1, POLLIN, 0 } };
    int count = 1;
    if (m_agent && m_agent->fd() >= 0) {
        fds[1].fd = m_agent->fd();
        count = 2;
    }
    const int r = ::poll(fds, static_cast<nfds_t>(count), ms < 0 ? 0 : ms);
    if (r > 0 && (fds[0].revents & POLLIN))
        drainWakePipe();
    // What the agent sent is taken in now (a closed connection would keep poll awake).
    if (r > 0 && count == 2 && fds[1].revents != 0)
        m_agent->status();
}

void CupsJobHost::wake()
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &byte, 1);
}

bool CupsJobHost::terminated() { return g_terminated; }

void CupsJobHost::report(const QByteArray& line)
{
    fprintf(stderr, "%s\n", line.constData());
    fflush(stderr);
}

void CupsJobHost::logVerification(
    const JobRequest& request, const QByteArray& outcome, const QString& userName, int seconds)
{
    syslog(LOG_NOTICE, "queue=%s job=%d owner=%s outcome=%s user=%s waited=%ds", qPrintable(logField(request.queue)),
        request.jobId, qPrintable(logField(request.owner)), outcome.constData(), qPrintable(logField(userName)),
        seconds);
}

void CupsJobHost::logError(const JobRequest& request, const QByteArray& what)
{
    syslog(LOG_ERR, "queue=%s job=%d: %s", qPrintable(logField(request.queue)), request.jobId, what.constData());
}

namespace
{

// The marks' folder, opened without following links and used only when it is root's own and
// nobody else can write in it; -1 without it.
int openMarkFolder()
{
    const char* state = getenv("CUPS_STATEDIR");
    if (!state || state[0] != '/')
        return -1;
    const QByteArray path = QByteArray(state) + "/vrkt7x";
    ::mkdir(path.constData(), 0700);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st = {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 0022) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

QByteArray markName(const JobRequest& request) { return request.queue.toUtf8().toPercentEncoding() + ".held"; }

} // namespace

bool CupsJobHost::heldJobMark(const JobRequest& request)
{
    const int folder = request.queue.isEmpty() ? -1 : openMarkFolder();
    if (folder < 0)
        return false;
    struct stat st = {};
    const bool found = ::fstatat(folder, markName(request).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    ::close(folder);
    return found;
}

void CupsJobHost::setHeldJobMark(const JobRequest& request, bool held)
{
    const int folder = request.queue.isEmpty() ? -1 : openMarkFolder();
    if (folder < 0)
        return;
    if (held) {
        const int fd
            = ::openat(folder, markName(request).constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const QByteArray id = QByteArray::number(request.jobId) + '\n';
            [[maybe_unused]] const ssize_t n = ::write(fd, id.constData(), size_t(id.size()));
            ::close(fd);
        }
    } else {
        ::unlinkat(folder, markName(request).constData(), 0);
    }
    ::close(folder);
}
