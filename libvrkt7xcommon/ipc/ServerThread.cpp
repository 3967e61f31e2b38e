#include "ServerThread.h"

#include "TransClient.h"

#include <cstdio>
#include <unistd.h>

ServerThread::ServerThread(const char* server_path, QObject* parent)
    : QThread(parent)
    , abort(false)
    , m_server_path(server_path ? server_path : "")
{
    trans_server.createServer(server_path);
    fprintf(stderr, "create server:%s\n", m_server_path.c_str());
}

ServerThread::~ServerThread()
{
    fprintf(stderr, "delete server:%s\n", m_server_path.c_str());
    abort = true;
    while (isRunning()) {
        // accept() does not see the flag: a connection of our own wakes it.
        Trans_Client client(m_server_path.c_str());
        client.tryConnectToServer();
        wait(100);
    }
    if (!m_server_path.empty() && access(m_server_path.c_str(), F_OK) == 0)
        unlink(m_server_path.c_str());
}

Trans_Server* ServerThread::get_trans_server() { return &trans_server; }

void ServerThread::run()
{
    while (!abort) {
        int fd = trans_server.any_client_connected();
        if (fd < 0) {
            // No listening socket (or a failed accept): try again, without spinning.
            if (!abort)
                msleep(10);
            continue;
        }
        if (abort) {
            // The connection that woke us to stop, or one that came too late to be served.
            ::close(fd);
            break;
        }
        emit client_connect(fd);
    }
    abort = false;
}
