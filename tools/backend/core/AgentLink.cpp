#include "AgentLink.h"

#include "AgentMessages.h"
#include "AgentPaths.h"
#include "system/Clock.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

AgentLink::AgentLink(int fd)
    : m_fd(fd)
{
}

AgentLink::~AgentLink() { close(); }

void AgentLink::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
}

std::unique_ptr<AgentLink> AgentLink::open(
    const JobRequest& request, const QString& runtimeRoot, int timeoutMs, QString* why)
{
    const QByteArray show = AgentMessages::showLine(request.queue, request.jobId, request.seconds);
    if (show.isEmpty()) {
        *why = QStringLiteral("the job cannot be named to a window");
        return nullptr;
    }
    struct passwd pwd;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwnam_r(request.owner.toUtf8().constData(), &pwd, buffer, sizeof(buffer), &found) != 0 || !found) {
        *why = QStringLiteral("the job's owner is not a user of this computer");
        return nullptr;
    }
    const uid_t uid = found->pw_uid;
    const QByteArray path = QFile::encodeName(runtimeRoot + QLatin1Char('/') + QString::number(uid) + QLatin1Char('/')
        + QLatin1String(AgentPaths::kAgentFolder) + QLatin1Char('/') + QLatin1String(AgentPaths::kSocketName));
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != uid) {
        *why = QStringLiteral("no agent of the job's owner");
        return nullptr;
    }
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= static_cast<int>(sizeof(address.sun_path))) {
        *why = QStringLiteral("no agent of the job's owner");
        return nullptr;
    }
    memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *why = QStringLiteral("no socket");
        return nullptr;
    }
    // Without blocking: a socket whose backlog is full (a listener that never accepts) counts as no
    // agent rather than holding the job.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        *why = QStringLiteral("the owner's agent does not answer");
        return nullptr;
    }
    struct ucred peer;
    socklen_t size = sizeof(peer);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof(peer) || peer.uid != uid) {
        ::close(fd);
        *why = QStringLiteral("the agent's socket is answered by another user");
        return nullptr;
    }
    return converse(fd, request, timeoutMs, why);
}

std::unique_ptr<AgentLink> AgentLink::converse(int fd, const JobRequest& request, int timeoutMs, QString* why)
{
    std::unique_ptr<AgentLink> link(new AgentLink(fd));
    const QByteArray show = AgentMessages::showLine(request.queue, request.jobId, request.seconds);
    if (show.isEmpty()) {
        *why = QStringLiteral("the job cannot be named to a window");
        return nullptr;
    }
    if (::send(fd, show.constData(), static_cast<size_t>(show.size()), MSG_NOSIGNAL) != show.size()) {
        *why = QStringLiteral("the owner's agent does not answer");
        return nullptr;
    }

    const int64_t deadline = libClock().milliseconds() + timeoutMs;
    for (;;) {
        bool overflow = false;
        const QByteArray line = AgentMessages::takeLine(&link->m_buffer, &overflow);
        if (overflow) {
            *why = QStringLiteral("the owner's agent answered with a malformed message");
            return nullptr;
        }
        if (!line.isNull()) {
            const AgentMessages::Message m = AgentMessages::parse(line);
            if (m.kind == AgentMessages::Message::Shown)
                return link;
            if (m.kind == AgentMessages::Message::NoWindow) {
                // The agent's reason is its user's text: it goes nowhere, root's log least of all.
                *why = QStringLiteral("the owner's agent showed no window");
                return nullptr;
            }
            *why = QStringLiteral("the owner's agent answered with a malformed message");
            return nullptr;
        }
        const int64_t left = deadline - libClock().milliseconds();
        if (left <= 0) {
            *why = QStringLiteral("the owner's agent did not answer in time");
            return nullptr;
        }
        struct pollfd p = { fd, POLLIN, 0 };
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            continue;
        // Never more than one line's worth: an agent that does not end its line is cut off there.
        char chunk[AgentMessages::kMaxLineBytes];
        const size_t room = static_cast<size_t>(AgentMessages::kMaxLineBytes - link->m_buffer.size());
        const ssize_t n = ::recv(fd, chunk, room, MSG_DONTWAIT);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            *why = QStringLiteral("the owner's agent closed the connection");
            return nullptr;
        }
        link->m_buffer.append(chunk, static_cast<int>(n));
    }
}

bool AgentLink::readAvailable()
{
    while (m_fd >= 0) {
        char chunk[AgentMessages::kMaxLineBytes];
        const size_t room = static_cast<size_t>(AgentMessages::kMaxLineBytes - m_buffer.size());
        const ssize_t n = ::recv(m_fd, chunk, room, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        if (n <= 0) {
            close();
            return false;
        }
        m_buffer.append(chunk, static_cast<int>(n));
        for (;;) {
            bool overflow = false;
            const QByteArray line = AgentMessages::takeLine(&m_buffer, &overflow);
            if (overflow) {
                close();
                return false;
            }
            if (line.isNull())
                break;
            const AgentMessages::Message m = AgentMessages::parse(line);
            if (m.kind != AgentMessages::Message::Status) {
                close();
                return false;
            }
            m_status = m.value;
        }
    }
    return m_fd >= 0;
}

int AgentLink::status()
{
    readAvailable();
    return m_status;
}

void AgentLink::sendResult(int result)
{
    const QByteArray line = AgentMessages::resultLine(result);
    if (m_fd >= 0 && !line.isEmpty())
        ::send(m_fd, line.constData(), static_cast<size_t>(line.size()), MSG_NOSIGNAL);
    close();
}
