#ifndef NETPEERS_H
#define NETPEERS_H

// Plain-socket peers for the network transport's tests: a TCP listener and a UDP responder, each
// on a thread of its own, so that the transport's blocking calls on the test thread have someone
// to talk to. Built on POSIX sockets rather than Qt, so that nothing of the code under test is
// also on the far side.

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// One accepted TCP connection, as the peer's script sees it.
class PeerConnection
{
public:
    explicit PeerConnection(int fd, const std::atomic<bool>& stopping);
    ~PeerConnection();

    // Up to n bytes, waiting at most timeoutMs for all of them; fewer on EOF or time-out.
    QByteArray receive(int n, int timeoutMs = 5000);
    // Everything until the client closes (or timeoutMs passes).
    QByteArray receiveUntilClosed(int timeoutMs = 10000);
    bool send(const QByteArray& bytes);
    void pauseMs(int ms);
    // Waits until the client closes or the peer is stopped; true on the client's close.
    bool waitForClientClose(int timeoutMs = 60000);
    void close();

private:
    int m_fd;
    const std::atomic<bool>& m_stopping;
};

class TcpPeer
{
public:
    using Script = std::function<void(PeerConnection&)>;

    // Listens on address (an IPv4 or IPv6 literal) and port (0: any free one).
    explicit TcpPeer(const QString& address = QStringLiteral("127.0.0.1"), quint16 port = 0);
    ~TcpPeer();

    bool isListening() const { return m_fd >= 0; }
    quint16 port() const { return m_port; }
    // Runs script on every accepted connection, one after the other, on the peer's thread.
    void start(Script script);
    // Closes the listening socket (later connections are refused); running scripts go on.
    void stopListening();

    int connections() const { return m_connections.load(); }
    // Waits until at least n connections were accepted.
    bool waitForConnections(int n, int timeoutMs = 5000) const;

private:
    void run();

    std::atomic<int> m_fd { -1 };
    quint16 m_port = 0;
    Script m_script;
    std::thread m_thread;
    std::atomic<bool> m_stopping { false };
    std::atomic<int> m_connections { 0 };
};

// Answers every datagram it receives with the datagrams the responder function returns.
class UdpPeer
{
public:
    using Responder = std::function<QList<QByteArray>(const QByteArray& request)>;

    explicit UdpPeer(const QString& address = QStringLiteral("127.0.0.1"), quint16 port = 0);
    ~UdpPeer();

    bool isBound() const { return m_fd >= 0; }
    quint16 port() const { return m_port; }
    void start(Responder responder);

    QList<QByteArray> received() const;
    bool waitForRequests(int n, int timeoutMs = 5000) const;
    // Waits until the answers to n requests were all sent.
    bool waitForAnswers(int n, int timeoutMs = 5000) const;

private:
    void run();

    int m_fd = -1;
    quint16 m_port = 0;
    Responder m_responder;
    std::thread m_thread;
    std::atomic<bool> m_stopping { false };
    mutable std::mutex m_mutex;
    QList<QByteArray> m_received;
    std::atomic<int> m_answered { 0 };
};

#endif
