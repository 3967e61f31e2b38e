#include "TransServer.h"

#include "system/PrinterTypes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

// The name the socket is bound to: the path cut to what sockaddr_un holds (107 characters).
struct BoundName {
    char name[sizeof(sockaddr_un::sun_path)];
    explicit BoundName(const char* path) { copyField(name, path, sizeof name); }
};

} // namespace

Trans_Server::Trans_Server()
    : listen_fd(-1)
{
    memset(path, 0, sizeof path);
}

Trans_Server::~Trans_Server()
{
    if (listen_fd >= 0) {
        ::close(listen_fd);
        if (path[0])
            unlink(BoundName(path).name);
    }
}

int Trans_Server::createServer(const char* server_path)
{
    if (!server_path)
        return -1;
    // A server created a second time drops its previous socket.
    if (listen_fd >= 0) {
        ::close(listen_fd);
        listen_fd = -1;
    }
    copyField(path, server_path, sizeof path);

    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fprintf(stderr, "connect creat communication socket\n");
        return -1;
    }
    int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0) {
        ::close(fd);
        return -1;
    }
    const BoundName bound(path);
    unlink(bound.name);

    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    copyField(addr.sun_path, bound.name, sizeof addr.sun_path);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        fprintf(stderr, "cannot bind server socket\n");
        // Listening on the unbound socket would fail as well.
        fprintf(stderr, "cannot listen sockfd\n");
        ::close(fd);
        unlink(bound.name);
        return -1;
    }
    if (listen(fd, 1) < 0) {
        fprintf(stderr, "cannot listen sockfd\n");
        ::close(fd);
        unlink(bound.name);
        return -1;
    }
    chmod(addr.sun_path, 0666);
    listen_fd = fd;
    return listen_fd;
}

int Trans_Server::any_client_connected()
{
    if (listen_fd < 0)
        return -1;
    sockaddr_un peer {};
    socklen_t len = sizeof peer;
    return accept4(listen_fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
}

int Trans_Server::readThenWrite(int com_fd, CALLBACK_Server callback, void* para)
{
    if (com_fd < 0)
        return -1;
    char buffer[kBufferSize];
    memset(buffer, 0, sizeof buffer);
    ssize_t n = read(com_fd, buffer, sizeof buffer);
    if (n > 0 && callback && callback(para, buffer, kBufferSize) == 0) {
        // A reply without a terminator ends at the end of the buffer.
        size_t len = strnlen(buffer, sizeof buffer);
        // MSG_NOSIGNAL: a client that went away must not kill the server with SIGPIPE.
        if (len > 0)
            send(com_fd, buffer, len, MSG_NOSIGNAL);
    }
    ::close(com_fd);
    return 0;
}

const char* Trans_Server::get_server_path() { return path; }

int setSockNonBlock(int sock)
{
    int flags = fcntl(sock, F_GETFL, 0);
    if (flags < 0)
        return -1;
    if (fcntl(sock, F_SETFL, flags | O_NONBLOCK) < 0)
        return -1;
    return 0;
}
