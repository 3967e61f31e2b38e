#include "NetPeers.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr int kStepMs = 20; // how often the peers look at their stop flag

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Fills addr from an IPv4 or IPv6 literal; the length, or 0 when text is neither.
socklen_t makeAddress(const QString& text, quint16 port, sockaddr_storage* addr)
{
    memset(addr, 0, sizeof(*addr));
    const QByteArray ascii = text.toLatin1();
    auto* v4 = reinterpret_cast<sockaddr_in*>(addr);
    if (inet_pton(AF_INET, ascii.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        return sizeof(sockaddr_in);
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(addr);
    if (inet_pton(AF_INET6, ascii.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        return sizeof(sockaddr_in6);
    }
    return 0;
}

// A socket of the given type bound to address:port; -1 on failure. *boundPort gets the port.
int bindSocket(const QString& address, quint16 port, int type, quint16* boundPort)
{
    sockaddr_storage addr;
    const socklen_t len = makeAddress(address, port, &addr);
    if (len == 0)
        return -1;
    const int fd = ::socket(addr.ss_family, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        ::close(fd);
        return -1;
    }
    sockaddr_storage bound;
    socklen_t boundLen = sizeof(bound);
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLen);
    *boundPort = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                                  : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    return fd;
}

bool waitReadable(int fd, int timeoutMs)
{
    pollfd p { fd, POLLIN, 0 };
    return ::poll(&p, 1, timeoutMs) > 0;
}

} // namespace

PeerConnection::PeerConnection(int fd, const std::atomic<bool>& stopping)
    : m_fd(fd)
    , m_stopping(stopping)
{
}

PeerConnection::~PeerConnection() { close(); }

QByteArray PeerConnection::receive(int n, int timeoutMs)
{
    QByteArray data;
    const int64_t deadline = nowMs() + timeoutMs;
    while (m_fd >= 0 && data.size() < n && !m_stopping) {
        const int64_t left = deadline - nowMs();
        if (left <= 0)
            break;
        if (!waitReadable(m_fd, static_cast<int>(std::min<int64_t>(left, kStepMs))))
            continue;
        char chunk[4096];
        const ssize_t got = ::recv(m_fd, chunk, std::min<qsizetype>(sizeof(chunk), n - data.size()), 0);
        if (got <= 0)
            break;
        data.append(chunk, got);
    }
    return data;
}

QByteArray PeerConnection::receiveUntilClosed(int timeoutMs)
{
    QByteArray data;
    const int64_t deadline = nowMs() + timeoutMs;
    while (m_fd >= 0 && !m_stopping && nowMs() < deadline) {
        if (!waitReadable(m_fd, kStepMs))
            continue;
        char chunk[65536];
        const ssize_t got = ::recv(m_fd, chunk, sizeof(chunk), 0);
        if (got <= 0)
            break;
        data.append(chunk, got);
    }
    return data;
}

bool PeerConnection::send(const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (m_fd >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return sent == bytes.size();
}

void PeerConnection::pauseMs(int ms)
{
    const int64_t deadline = nowMs() + ms;
    while (!m_stopping && nowMs() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(kStepMs, deadline - nowMs())));
}

bool PeerConnection::waitForClientClose(int timeoutMs)
{
    const int64_t deadline = nowMs() + timeoutMs;
    while (m_fd >= 0 && !m_stopping && nowMs() < deadline) {
        if (!waitReadable(m_fd, kStepMs))
            continue;
        char chunk[4096];
        if (::recv(m_fd, chunk, sizeof(chunk), 0) <= 0)
            return true;
    }
    return false;
}

void PeerConnection::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

TcpPeer::TcpPeer(const QString& address, quint16 port)
{
    int fd = bindSocket(address, port, SOCK_STREAM, &m_port);
    if (fd >= 0 && ::listen(fd, 16) != 0) {
        ::close(fd);
        fd = -1;
    }
    m_fd = fd;
}

TcpPeer::~TcpPeer()
{
    m_stopping = true;
    if (m_thread.joinable())
        m_thread.join();
    stopListening();
}

void TcpPeer::start(Script script)
{
    m_script = std::move(script);
    m_thread = std::thread([this] { run(); });
}

void TcpPeer::stopListening()
{
    // Only the test thread closes the listening socket; the peer's thread merely polls it.
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
}

bool TcpPeer::waitForConnections(int n, int timeoutMs) const
{
    const int64_t deadline = nowMs() + timeoutMs;
    while (m_connections.load() < n && nowMs() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return m_connections.load() >= n;
}

void TcpPeer::run()
{
    while (!m_stopping) {
        const int listener = m_fd;
        if (listener < 0)
            break;
        if (!waitReadable(listener, kStepMs))
            continue;
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++m_connections;
        PeerConnection connection(fd, m_stopping);
        if (m_script)
            m_script(connection);
    }
}

UdpPeer::UdpPeer(const QString& address, quint16 port) { m_fd = bindSocket(address, port, SOCK_DGRAM, &m_port); }

UdpPeer::~UdpPeer()
{
    m_stopping = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

void UdpPeer::start(Responder responder)
{
    m_responder = std::move(responder);
    m_thread = std::thread([this] { run(); });
}

QList<QByteArray> UdpPeer::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

bool UdpPeer::waitForRequests(int n, int timeoutMs) const
{
    const int64_t deadline = nowMs() + timeoutMs;
    while (received().size() < n && nowMs() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return received().size() >= n;
}

bool UdpPeer::waitForAnswers(int n, int timeoutMs) const
{
    const int64_t deadline = nowMs() + timeoutMs;
    while (m_answered.load() < n && nowMs() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return m_answered.load() >= n;
}

void UdpPeer::run()
{
    while (!m_stopping && m_fd >= 0) {
        if (!waitReadable(m_fd, kStepMs))
            continue;
        char datagram[65536];
        sockaddr_storage from;
        socklen_t fromLen = sizeof(from);
        const ssize_t got
            = ::recvfrom(m_fd, datagram, sizeof(datagram), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (got < 0)
            continue;
        const QByteArray request(datagram, got);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received.append(request);
        }
        if (m_responder) {
            for (const QByteArray& reply : m_responder(request))
                ::sendto(m_fd, reply.constData(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
        }
        ++m_answered;
    }
}
