#ifndef NETIO_H
#define NETIO_H

#include "DeviceIO.h"

#include <QHostAddress>
#include <QString>
#include <functional>
#include <string>

class QTcpSocket;

// The transport of every printer whose device URI is not "usb://": the URI's host becomes one IP
// address (IPv4 preferred), a TCP connection goes to the port the caller names, and reads and
// writes block with fixed waits on the caller's thread (no event loop needed). The device-ID
// query goes over SNMP on UDP port 161 instead (SnmpDeviceId.h); the connection test asks SNMP and
// the fingerprint port at once.
class NetIO : public DeviceIO
{
public:
    // Qt socket waits.
    static constexpr int kConnectWaitMs = 5000;
    static constexpr int kWriteWaitMs = 15000;
    static constexpr int kReadWaitMs = 30000; // per wait for more data within one read

    struct Waits {
        int connectMs = kConnectWaitMs;
        int writeMs = kWriteWaitMs;
        int readMs = kReadWaitMs;
    };

    // Turns a "dnssd://" URI into a directly usable one: 0 with the result in buffer, else -1.
    using UriResolver = std::function<int(const char* device_uri, char* buffer, int bufsize)>;

    NetIO();
    ~NetIO() override;

    NetIO(const NetIO&) = delete;
    NetIO& operator=(const NetIO&) = delete;

    int type() override { return kTransportNet; }

    // -1 when no socket was ever created, 0 when not open; otherwise closes the connection
    // (keeping the socket object for the next open) and gives 0.
    int close() override;
    // Sends bufsize bytes and waits until all of them left (up to the write wait). The count
    // written, or -1 when not open or on time-out ("tcp_socket write timeout").
    int write(char* buffer, int bufsize) override;
    // Exactly bufsize bytes: bufsize, or -1 when not open or when the peer went quiet for a whole
    // read wait or closed before that many came ("reading error:"). Bytes that did come stay in
    // buffer. Bytes beyond bufsize stay queued for the next read.
    int read(char* buffer, int bufsize) override;
    // The SNMP device-ID query on the resolved address: 0 (with the ID in buffer when one came
    // back and fits, see copySnmpDeviceId), -1 when no query could be sent. Needs no open.
    int getDeviceId_without_open(char* buffer, int bufsize) override;
    int write_bulk(char* buffer, int bufsize, unsigned int interface) override;
    int read_bulk(char* buffer, int bufsize, unsigned int interface) override;

    using DeviceIO::getDeviceAddress;
    using DeviceIO::getDeviceId;
    using DeviceIO::isConnected;
    using DeviceIO::open;

    // Connects to the resolved address on port (the URI's own port plays no part), waiting up to
    // the connect wait. 0, or -1 when already open ("device is opened") or when the connection
    // fails ("tcpsocket error code:%d" and "tcpsocket error:%s").
    int open(int port) override;
    // Takes url's host (a "dnssd://" URI is first resolved through libcups) and looks it up.
    // 0 when the URI has a host, even if the lookup found nothing (open fails later); -1 for a
    // null url or one without a host, which also forgets any earlier resolution. The same URI
    // again is not looked up again once its lookup gave an address.
    int resolveUrl(const char* url) override;
    // True when, within the SNMP query's wait of about 5 s, the printer answers the device-ID
    // query or accepts a TCP connection on its fingerprint port (10001).
    bool isConnected() override;
    int getDeviceId(char* buffer, int bufsize) override;
    // The resolved address as text (for example 192.168.1.20); "" before a successful lookup.
    const char* getDeviceAddress() override;

    // Test seams: shorter socket waits, and another resolver of "dnssd://" URIs than libcups'.
    void setWaits(const Waits& waits) { m_waits = waits; }
    const Waits& waits() const { return m_waits; }
    void setUriResolver(UriResolver resolver) { m_resolveUri = std::move(resolver); }

    QTcpSocket* tcpSocket;
    QHostAddress hostAddress;
    // "socket://" and the address (in brackets when IPv6), no port.
    std::string resolved_url;

private:
    void forgetResolution();

    Waits m_waits;
    UriResolver m_resolveUri;
    std::string m_addressText;
};

// Looks host up (blocking) and picks the first IPv4 address found, else the first IPv6 one, else
// the first of any kind; a null address when the lookup fails. An address literal is taken as is.
QHostAddress get_ip_address(const QString& host);

#endif
