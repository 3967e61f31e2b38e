#ifndef SERVERTHREAD_H
#define SERVERTHREAD_H

#include "TransServer.h"
#include "vrkt7xexport.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <string>

// Runs the accept loop of a Trans_Server on a thread of its own and announces every accepted
// connection with client_connect(fd). The receiver (through a queued connection, on its own
// thread) serves the descriptor once with get_trans_server()->readThenWrite(fd, callback, para).
//
//     ServerThread server("/tmp/.myserver", nullptr);
//     QObject::connect(&server, &ServerThread::client_connect, receiver, [&](int fd) {
//         server.get_trans_server()->readThenWrite(fd, answer, &state);
//     });
//     server.start();
//
// Destroying it stops the loop (waking the blocked accept) and removes the socket file.
class VRKT_EXPORT ServerThread : public QThread {
    Q_OBJECT
public:
    // Creates the listening socket at server_path at once (a failure leaves a thread that only
    // waits to be stopped).
    ServerThread(const char* server_path, QObject* parent = nullptr);
    ~ServerThread() override;

    Trans_Server* get_trans_server();

signals:
    // A client connected; fd is the connection, to be served once and closed by readThenWrite.
    void client_connect(int fd);
    // Declared for programs that pass parsed commands on; the library never emits it.
    void client_cmd(QString cmd, void* para);

protected:
    void run() override;

public:
    Trans_Server trans_server;
    // Stop request, set by the destroying thread and read by the accept loop between accepts.
    std::atomic<bool> abort;
    std::string m_server_path;
};

#endif
