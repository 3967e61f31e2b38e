#ifndef TRANSSERVER_H
#define TRANSSERVER_H

// The server side of the local request/reply channel: a Unix-domain stream socket at a path.
// Each connection carries one request (up to 1024 bytes, read once) and one reply (the text the
// callback leaves in the same buffer, up to its first zero byte), then closes.

#include "vrkt7xexport.h"

// Receives the request in buffer (bufsize bytes, zero-filled before the read) and writes its
// zero-terminated reply into the same buffer. Returns 0 to have the reply sent, anything else to
// send nothing.
typedef int (*CALLBACK_Server)(void* para, char* buffer, int bufsize);

class VRKT_EXPORT Trans_Server {
public:
    // The size of the request/reply buffer of readThenWrite.
    static constexpr int kBufferSize = 1024;

    Trans_Server();
    ~Trans_Server();

    Trans_Server(const Trans_Server&) = delete;
    Trans_Server& operator=(const Trans_Server&) = delete;

    // Creates the listening socket at server_path (at most 107 characters are used): removes any
    // file there first, binds, listens (backlog 1) and makes the socket file mode 0666. Returns
    // the listening descriptor, or -1 (null path, no socket, bind or listen failure; printed).
    int createServer(const char* server_path);
    // Blocks until a client connects; its descriptor, or -1 (also at once when there is no
    // listening socket).
    int any_client_connected();
    // Serves one connection: reads the request once into a zeroed 1024-byte buffer, and when
    // something was read and callback(para, buffer, 1024) returns 0, writes the buffer up to its
    // first zero byte (never beyond the buffer). Closes com_fd in every case. 0; -1 for a
    // negative descriptor.
    int readThenWrite(int com_fd, CALLBACK_Server callback, void* para);
    const char* get_server_path();

    int listen_fd;
    char path[256];
};

// Adds O_NONBLOCK to the descriptor's flags: 0, or -1 when the flags cannot be read or set.
VRKT_EXPORT int setSockNonBlock(int sock);

#endif
