#ifndef TRANSCLIENT_H
#define TRANSCLIENT_H

#include "vrkt7xexport.h"

// The client side of the local request/reply channel (see TransServer.h).
class VRKT_EXPORT Trans_Client {
public:
    // Keeps server_path (at most 255 characters; null gives an empty path).
    explicit Trans_Client(const char* server_path);

    // Connects and closes at once. 0 connected; -1 no path ("cannot get server path") or no
    // socket ("cannot creat socket"); -2 the connection failed ("cannot connect server").
    int tryConnectToServer();
    // Sends the zero-terminated text in buffer (without its terminator, at most bufsize bytes),
    // then zeroes buffer and reads the reply once, up to bufsize bytes. 0 when a reply arrived;
    // -1 / -2 as tryConnectToServer; -3 when the write failed ("cannot write to server"); when
    // the server closed without replying, the number of request bytes written.
    int writeThenRead(char* buffer, int bufsize);

    char path[256];

private:
    // A connected socket, or -1 / -2 as tryConnectToServer.
    int connectToServer();
};

#endif
