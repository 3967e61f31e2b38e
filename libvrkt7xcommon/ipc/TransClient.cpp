#include "TransClient.h"

#include "system/PrinterTypes.h"

#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

Trans_Client::Trans_Client(const char* server_path)
{
    memset(path, 0, sizeof path);
    if (server_path)
        copyField(path, server_path, sizeof path);
}

int Trans_Client::connectToServer()
{
    if (!path[0]) {
        fprintf(stderr, "cannot get server path\n");
        return -1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fprintf(stderr, "cannot creat socket\n");
        return -1;
    }
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    copyField(addr.sun_path, path, sizeof addr.sun_path);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        fprintf(stderr, "cannot connect server\n");
        ::close(fd);
        return -2;
    }
    return fd;
}

int Trans_Client::tryConnectToServer()
{
    int fd = connectToServer();
    if (fd < 0)
        return fd;
    ::close(fd);
    return 0;
}

int Trans_Client::writeThenRead(char* buffer, int bufsize)
{
    int fd = connectToServer();
    if (fd < 0)
        return fd;
    size_t len = (buffer && bufsize > 0) ? strnlen(buffer, static_cast<size_t>(bufsize)) : 0;
    // MSG_NOSIGNAL: a server that went away is a failed write, not SIGPIPE.
    ssize_t written = send(fd, buffer, len, MSG_NOSIGNAL);
    if (written < 0) {
        fprintf(stderr, "cannot write to server\n");
        ::close(fd);
        return -3;
    }
    ssize_t n = 0;
    if (buffer && bufsize > 0) {
        memset(buffer, 0, static_cast<size_t>(bufsize));
        n = read(fd, buffer, static_cast<size_t>(bufsize));
    }
    ::close(fd);
    return n > 0 ? 0 : static_cast<int>(written);
}

bool is_app_running(const char* server_path)
{
    Trans_Client client(server_path);
    return client.tryConnectToServer() != -2;
}
