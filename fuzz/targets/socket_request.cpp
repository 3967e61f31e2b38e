// Requests on the local socket channel, as any local process may send them: Trans_Server's
// readThenWrite serves one connection (a socket pair here) with a callback that answers the way
// the input's first byte says (echo, fill the whole buffer, refuse).
//
// Properties checked besides memory safety: the reply never exceeds the 1024-byte buffer nor runs
// past it, it is the request's text up to its first zero byte when echoed, nothing is sent for a
// refused request, and the connection is closed afterwards.

#include "FuzzInput.h"
#include "FuzzSupport.h"
#include "ipc/TransServer.h"

#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

int echo(void*, char*, int) { return 0; }

int fill(void*, char* buffer, int bufsize)
{
    memset(buffer, 'R', bufsize); // no terminator left
    return 0;
}

int refuse(void*, char* buffer, int bufsize)
{
    memset(buffer, 'X', bufsize);
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int mode = in.byte() % 3;
    const std::string request = in.rest().substr(0, 64 * 1024);

    int fds[2];
    FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0);
    if (!request.empty())
        FUZZ_CHECK(write(fds[0], request.data(), request.size()) == static_cast<ssize_t>(request.size()));
    shutdown(fds[0], SHUT_WR);

    Trans_Server server;
    const CALLBACK_Server callbacks[] = { echo, fill, refuse };
    FUZZ_CHECK(server.readThenWrite(fds[1], callbacks[mode], nullptr) == 0);

    std::string reply;
    char piece[4096];
    for (;;) {
        const ssize_t n = read(fds[0], piece, sizeof piece);
        if (n <= 0)
            break;
        reply.append(piece, static_cast<size_t>(n));
    }
    close(fds[0]);

    FUZZ_CHECK(reply.size() <= static_cast<size_t>(Trans_Server::kBufferSize));
    const std::string firstRead = request.substr(0, Trans_Server::kBufferSize);
    switch (mode) {
    case 0:
        FUZZ_CHECK(reply == firstRead.substr(0, strnlen(firstRead.c_str(), firstRead.size())));
        break;
    case 1:
        FUZZ_CHECK(request.empty() ? reply.empty() : reply == std::string(Trans_Server::kBufferSize, 'R'));
        break;
    case 2:
        FUZZ_CHECK(reply.empty());
        break;
    }
    // The server's end is closed: another close must fail.
    FUZZ_CHECK(close(fds[1]) == -1);
    return 0;
}
