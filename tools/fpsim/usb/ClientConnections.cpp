#include "ClientConnections.h"

#include <QDir>
#include <cstddef>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace fpsim
{

namespace
{

    // The socket at `fd` when it is one accepted from the listener at `socketPath`.
    ClientConnection acceptedFrom(int fd, const QByteArray& socketPath)
    {
        struct stat st = {};
        if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
            return {};
        int listening = 0;
        socklen_t size = sizeof listening;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening)
            return {};
        sockaddr_un address = {};
        socklen_t length = sizeof address;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sun_family != AF_UNIX)
            return {};
        const size_t pathStart = offsetof(sockaddr_un, sun_path);
        if (length <= pathStart)
            return {}; // unnamed
        const size_t pathLength = strnlen(address.sun_path, length - pathStart);
        if (QByteArray(address.sun_path, int(pathLength)) != socketPath)
            return {};
        return { fd, st.st_ino };
    }

} // namespace

bool ClientConnection::peerPresent() const
{
    struct stat st = {};
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_ino != inode)
        return false; // umockdev closed it: it saw the client go
    pollfd p = { fd, POLLRDHUP, 0 };
    if (poll(&p, 1, 0) < 0)
        return true; // cannot tell: taken as there
    return (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0;
}

ClientConnection newClientConnection(const QByteArray& socketPath, const QList<ClientConnection>& known)
{
    ClientConnection found;
    int count = 0;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
    for (const QString& name : fds) {
        bool number = false;
        const int fd = name.toInt(&number);
        if (!number)
            continue;
        const ClientConnection c = acceptedFrom(fd, socketPath);
        if (!c.isKnown() || !c.peerPresent())
            continue;
        bool seen = false;
        for (const ClientConnection& k : known)
            seen = seen || (k.fd == c.fd && k.inode == c.inode);
        if (!seen) {
            found = c;
            ++count;
        }
    }
    return count == 1 ? found : ClientConnection {};
}

} // namespace fpsim
