#pragma once
// The connections through which umockdev's preload in client processes reaches a simulated device.
//
// The kernel releases what a process claimed on a device node once the node is closed, whatever the
// process was doing. umockdev 0.17 does not always tell: a client that dies while the device is
// answering one of its requests, or after such a death, stays "connected" for good, and what it
// claimed would stay claimed. Its socket does tell: the other end closes when the client process
// is gone. A client is matched with its socket when it first shows up (the one live connection to
// the device that no known client has), and its socket is then asked whether the other end is
// still there.

#include <QByteArray>
#include <QList>
#include <sys/types.h>

namespace fpsim
{

// One accepted connection of this process: the descriptor and the socket's inode (a descriptor
// number that umockdev closed may come back for another socket).
struct ClientConnection {
    int fd = -1;
    ino_t inode = 0;

    bool isKnown() const { return fd >= 0; }
    // Whether the socket is still open here and its other end has not closed.
    bool peerPresent() const;
};

// The live connection to the device listening at `socketPath` that none of `known` is; an unknown
// one when there is not exactly one such connection.
ClientConnection newClientConnection(const QByteArray& socketPath, const QList<ClientConnection>& known);

} // namespace fpsim
