#include "NetIO.h"

#include "SnmpDeviceId.h"
#include "system/CupsQueries.h"

#include <QDeadlineTimer>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr char kDnssdScheme[] = "dnssd://";
constexpr int kIsConnectedScratchSize = 1024;

// A TCP connection attempt that runs beside the SNMP query: started at once, looked at without
// blocking (a QTcpSocket gives up a pending connection on its first timed-out wait).
class TcpProbe
{
public:
    TcpProbe(const QHostAddress& address, quint16 port)
    {
        sockaddr_storage peer {};
        socklen_t size = 0;
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            auto* in = reinterpret_cast<sockaddr_in*>(&peer);
            in->sin_family = AF_INET;
            in->sin_port = htons(port);
            in->sin_addr.s_addr = htonl(address.toIPv4Address());
            size = sizeof(sockaddr_in);
        } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&peer);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(port);
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            memcpy(&in6->sin6_addr, &bytes, sizeof(bytes));
            const QString scope = address.scopeId();
            if (!scope.isEmpty()) {
                bool numeric = false;
                const uint index = scope.toUInt(&numeric);
                in6->sin6_scope_id = numeric ? index : if_nametoindex(scope.toLatin1().constData());
            }
            size = sizeof(sockaddr_in6);
        } else {
            return;
        }
        m_fd = ::socket(peer.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return;
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&peer), size) == 0)
            m_state = State::Accepted;
        else if (errno == EINPROGRESS)
            m_state = State::Pending;
    }
    ~TcpProbe()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TcpProbe(const TcpProbe&) = delete;
    TcpProbe& operator=(const TcpProbe&) = delete;

    // True once the connection was accepted; a pending one is waited for up to waitMs.
    bool accepted(int waitMs = 0)
    {
        if (m_state == State::Pending) {
            pollfd p { m_fd, POLLOUT, 0 };
            const int ready = ::poll(&p, 1, waitMs);
            if (ready > 0) {
                int error = 0;
                socklen_t size = sizeof(error);
                const bool ok = getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
                m_state = ok ? State::Accepted : State::Refused;
            } else if (ready < 0 && errno != EINTR) {
                m_state = State::Refused;
            }
        }
        return m_state == State::Accepted;
    }

private:
    enum class State { Refused, Pending, Accepted };
    int m_fd = -1;
    State m_state = State::Refused;
};

} // namespace

QHostAddress get_ip_address(const QString& host)
{
    if (host.isEmpty())
        return QHostAddress();
    // A literal needs no lookup (QHostInfo would make a reverse lookup of it).
    QHostAddress literal;
    if (literal.setAddress(host))
        return literal;

    const QHostInfo info = QHostInfo::fromName(host);
    if (info.error() != QHostInfo::NoError)
        return QHostAddress();
    const QList<QHostAddress> addresses = info.addresses();
    for (const QHostAddress& a : addresses)
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            return a;
    for (const QHostAddress& a : addresses)
        if (a.protocol() == QAbstractSocket::IPv6Protocol)
            return a;
    return addresses.isEmpty() ? QHostAddress() : addresses.first();
}

NetIO::NetIO()
    : tcpSocket(nullptr)
    , m_resolveUri(cups_resolve_uri)
{
    ifdelay = 0;
}

NetIO::~NetIO() { delete tcpSocket; }

void NetIO::forgetResolution()
{
    device_uri[0] = '\0';
    hostAddress.clear();
    resolved_url.clear();
}

int NetIO::resolveUrl(const char* url)
{
    if (!url)
        return -1;
    // A lookup that found nothing is made again, so a name server that was down once does not
    // leave the printer unreachable for the life of the object.
    if (device_uri[0] != '\0' && strcmp(device_uri, url) == 0 && !hostAddress.isNull())
        return 0;
    if (DeviceIO::resolveUrl(url) != 0) {
        forgetResolution();
        return -1;
    }

    QUrl working;
    if (strncmp(url, kDnssdScheme, sizeof(kDnssdScheme) - 1) == 0 && m_resolveUri) {
        char resolved[kFieldSize] = {};
        if (m_resolveUri(url, resolved, sizeof(resolved)) == 0) {
            resolved[sizeof(resolved) - 1] = '\0';
            working = QUrl(QString::fromUtf8(resolved));
        }
    }
    if (working.isEmpty() || working.host().isEmpty())
        working = QUrl(QString::fromUtf8(url));

    const QString host = working.host();
    if (host.isEmpty()) {
        // Forgotten, so that the same URI fails again instead of reaching an earlier printer.
        forgetResolution();
        return -1;
    }
    hostAddress = get_ip_address(host);
    const std::string address = hostAddress.toString().toStdString();
    if (hostAddress.protocol() == QAbstractSocket::IPv6Protocol)
        resolved_url = "socket://[" + address + "]";
    else
        resolved_url = "socket://" + address;
    return 0;
}

int NetIO::open(int port)
{
    if (device_is_open) {
        fprintf(stderr, "device is opened\n");
        return -1;
    }
    // A socket belongs to the thread that made it; a later user on another thread gets its own.
    if (tcpSocket && tcpSocket->thread() != QThread::currentThread()) {
        delete tcpSocket;
        tcpSocket = nullptr;
    }
    if (!tcpSocket) {
        tcpSocket = new QTcpSocket;
        tcpSocket->setProxy(QNetworkProxy::NoProxy);
    }
    if (tcpSocket->state() != QAbstractSocket::UnconnectedState)
        tcpSocket->abort();

    if (hostAddress.isNull() || port <= 0 || port > 0xFFFF) {
        fprintf(stderr, "tcpsocket error code:%d\n", static_cast<int>(QAbstractSocket::HostNotFoundError));
        fprintf(stderr, "tcpsocket error:%s\n", hostAddress.isNull() ? "no address to connect to" : "invalid port");
        return -1;
    }
    tcpSocket->connectToHost(hostAddress, static_cast<quint16>(port), QIODevice::ReadWrite);
    if (!tcpSocket->waitForConnected(m_waits.connectMs)) {
        fprintf(stderr, "tcpsocket error code:%d\n", static_cast<int>(tcpSocket->error()));
        fprintf(stderr, "tcpsocket error:%s\n", qPrintable(tcpSocket->errorString()));
        tcpSocket->abort();
        return -1;
    }
    device_is_open = true;
    return 0;
}

int NetIO::close()
{
    if (!tcpSocket)
        return -1;
    if (!device_is_open)
        return 0;
    device_is_open = false;
    // write() leaves nothing queued unless it timed out; what a timed-out write left is dropped.
    tcpSocket->abort();
    return 0;
}

int NetIO::write(char* buffer, int bufsize)
{
    if (!tcpSocket || !device_is_open || !buffer || bufsize < 0)
        return -1;
    if (bufsize == 0)
        return 0;
    const qint64 accepted = tcpSocket->write(buffer, bufsize);
    if (accepted < 0)
        return -1;
    // waitForBytesWritten returns after the first chunk went out: wait until none is left, so
    // that a close right after a large write cannot drop its tail.
    QDeadlineTimer deadline(m_waits.writeMs);
    while (tcpSocket->bytesToWrite() > 0) {
        if (deadline.hasExpired() || !tcpSocket->waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            fprintf(stderr, "tcp_socket write timeout\n");
            return -1;
        }
    }
    return static_cast<int>(accepted);
}

int NetIO::read(char* buffer, int bufsize)
{
    if (!tcpSocket || !device_is_open || !buffer || bufsize < 0)
        return -1;
    if (bufsize == 0)
        return 0;
    int total = 0;
    for (;;) {
        qint64 waiting = tcpSocket->bytesAvailable();
        if (waiting <= 0) {
            if (!tcpSocket->waitForReadyRead(m_waits.readMs)) {
                fprintf(stderr, "reading error:\n");
                break;
            }
            waiting = tcpSocket->bytesAvailable();
        }
        const qint64 take = std::min<qint64>(bufsize - total, waiting);
        if (take <= 0)
            break;
        const qint64 got = tcpSocket->read(buffer + total, take);
        if (got <= 0)
            break;
        total += static_cast<int>(got);
        if (total >= bufsize)
            break;
    }
    return total == bufsize ? bufsize : -1;
}

int NetIO::write_bulk(char* buffer, int bufsize, unsigned int) { return write(buffer, bufsize); }

int NetIO::read_bulk(char* buffer, int bufsize, unsigned int) { return read(buffer, bufsize); }

int NetIO::getDeviceId_without_open(char* buffer, int bufsize)
{
    return _platform_net_get_device_id(resolved_url.c_str(), buffer, bufsize);
}

int NetIO::getDeviceId(char* buffer, int bufsize)
{
    return _platform_net_get_device_id(resolved_url.c_str(), buffer, bufsize);
}

bool NetIO::isConnected()
{
    // The printer answers when a reply to the SNMP query actually comes back (the query gives 0
    // whenever the request could be sent), or when its fingerprint port accepts a connection: a
    // printer whose SNMP is switched off or filtered is still there for the print side. Both
    // are tried at once, within the one wait of the query.
    const QHostAddress address = get_ip_address(QUrl(QString::fromStdString(resolved_url)).host());
    if (address.isNull())
        return false;
    TcpProbe probe(address, kFingerprintPort);
    char scratch[kIsConnectedScratchSize] = {};
    bool answered = false;
    const int queried = snmpQueryDeviceId(
        address, kSnmpPort, scratch, sizeof(scratch), &answered, [&probe] { return probe.accepted(); });
    if (queried == 0 && answered)
        return true;
    // The query's wait is over (or no query could be sent: the connection gets that wait alone).
    return probe.accepted(queried == 0 ? 0 : kSnmpPolls * kSnmpPollIntervalUs / 1000);
}

const char* NetIO::getDeviceAddress()
{
    m_addressText = hostAddress.toString().toStdString();
    return m_addressText.c_str();
}
