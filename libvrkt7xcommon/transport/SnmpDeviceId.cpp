#include "SnmpDeviceId.h"

#include "NetIO.h"
#include "system/Clock.h"

#include <QNetworkProxy>
#include <QUdpSocket>
#include <QUrl>
#include <cstring>

namespace
{

// SNMPv1 GetRequest, BER: community "mbzlqt", request-id 4, one binding of
// 1.3.6.1.4.1.2699.1.2.1.2.1.1.3.1 to NULL.
const unsigned char kRequest[kSnmpRequestSize] = {
    0x30, 0x2D, // SEQUENCE, 45 bytes
    0x02, 0x01, 0x00, // version 1
    0x04, 0x06, 'm', 'b', 'z', 'l', 'q', 't', // community
    0xA0, 0x20, // GetRequest, 32 bytes
    0x02, 0x01, 0x04, // request-id
    0x02, 0x01, 0x00, // error-status
    0x02, 0x01, 0x00, // error-index
    0x30, 0x15, // variable-bindings
    0x30, 0x13, // one binding
    0x06, 0x0F, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x95, // OID
    0x0B, 0x01, 0x02, 0x01, 0x02, 0x01, 0x01, 0x03, 0x01, 0x05, 0x00, // NULL
};

} // namespace

QByteArray snmpDeviceIdRequest() { return QByteArray(reinterpret_cast<const char*>(kRequest), kSnmpRequestSize); }

int copySnmpDeviceId(const QByteArray& reply, char* buffer, int bufsize)
{
    const qint64 size = reply.size();
    if (!buffer || size <= kSnmpReplyOverhead)
        return 0;
    const qint64 count = size - kSnmpReplyOverhead;
    if (bufsize < count)
        return 0;
    // Offset 59 plus (size - 60) bytes ends one byte before the end of the answer.
    memcpy(buffer, reply.constData() + kSnmpDeviceIdOffset, static_cast<size_t>(count));
    if (bufsize > count)
        buffer[count] = '\0';
    return static_cast<int>(count);
}

int snmpQueryDeviceId(const QHostAddress& address, quint16 port, char* buffer, int bufsize, bool* answered,
    const std::function<bool()>& stopWaiting)
{
    if (answered)
        *answered = false;
    if (address.isNull())
        return -1;

    QUdpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(address, port, QIODevice::ReadWrite);
    if (!socket.waitForConnected(kSnmpConnectWaitMs))
        return -1;
    const QByteArray request = snmpDeviceIdRequest();
    if (socket.write(request) < request.size())
        return -1;

    for (int poll = 0; poll < kSnmpPolls && !socket.hasPendingDatagrams(); ++poll) {
        if (stopWaiting && stopWaiting())
            break;
        libClock().sleepMicroseconds(kSnmpPollIntervalUs);
    }

    QByteArray reply;
    int datagrams = 0;
    while (datagrams < kSnmpMaxDatagrams && socket.hasPendingDatagrams()) {
        const qint64 size = socket.pendingDatagramSize();
        if (size < 0)
            break;
        QByteArray datagram(size, '\0');
        const qint64 got = socket.readDatagram(datagram.data(), size);
        if (got < 0)
            break;
        reply.append(datagram.constData(), got);
        ++datagrams;
    }
    socket.close();

    if (answered)
        *answered = datagrams > 0;
    copySnmpDeviceId(reply, buffer, bufsize);
    return 0;
}

int _platform_net_get_device_id(const char* device_uri, char* buffer, int bufsize, bool* answered)
{
    if (answered)
        *answered = false;
    if (!device_uri)
        return -1;
    const QString host = QUrl(QString::fromUtf8(device_uri)).host();
    return snmpQueryDeviceId(get_ip_address(host), kSnmpPort, buffer, bufsize, answered);
}
