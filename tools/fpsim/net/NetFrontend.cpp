#include "NetFrontend.h"

#include "SnmpCodec.h"

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <memory>

namespace fpsim
{

NetFrontend::NetFrontend(PrinterEngine& engine, SimClock& clock, const NetConfig& config, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_clock(clock)
    , m_config(config)
    , m_tcp(new QTcpServer(this))
    , m_print(new QTcpServer(this))
    , m_udp(new QUdpSocket(this))
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &NetFrontend::pump);
    connect(m_tcp, &QTcpServer::newConnection, this, &NetFrontend::onNewConnection);
    connect(m_print, &QTcpServer::newConnection, this, &NetFrontend::onNewPrintConnection);
    connect(m_udp, &QUdpSocket::readyRead, this, &NetFrontend::onSnmp);
}

NetFrontend::~NetFrontend() { qDeleteAll(m_connections); }

bool NetFrontend::start(QString* error)
{
    m_boundTcpPort = m_config.tcpPort;
    m_boundSnmpPort = m_config.snmpPort;
    m_boundPrintPort = m_config.printPort;
    if (!listen(error))
        return false;
    m_boundTcpPort = m_tcp->serverPort();
    m_boundSnmpPort = m_udp->localPort();
    m_boundPrintPort = m_print->serverPort();
    return true;
}

quint16 NetFrontend::tcpPort() const { return m_boundTcpPort; }

quint16 NetFrontend::snmpPort() const { return m_boundSnmpPort; }

quint16 NetFrontend::printPort() const { return m_boundPrintPort; }

bool NetFrontend::listen(QString* error)
{
    if (!m_tcp->listen(m_config.address, m_boundTcpPort)) {
        *error = QStringLiteral("TCP %1:%2: %3")
                     .arg(m_config.address.toString())
                     .arg(m_boundTcpPort)
                     .arg(m_tcp->errorString());
        return false;
    }
    if (!m_udp->bind(m_config.address, m_boundSnmpPort)) {
        *error = QStringLiteral("UDP %1:%2: %3")
                     .arg(m_config.address.toString())
                     .arg(m_boundSnmpPort)
                     .arg(m_udp->errorString());
        m_tcp->close();
        return false;
    }
    if (!m_print->listen(m_config.address, m_boundPrintPort)) {
        *error = QStringLiteral("TCP %1:%2 (print): %3")
                     .arg(m_config.address.toString())
                     .arg(m_boundPrintPort)
                     .arg(m_print->errorString());
        m_tcp->close();
        m_udp->close();
        return false;
    }
    m_listening = true;
    return true;
}

void NetFrontend::stopListening()
{
    m_tcp->close();
    m_udp->close();
    m_print->close();
    for (QTcpSocket* s : m_print->findChildren<QTcpSocket*>())
        s->abort();
    for (Connection* c : std::as_const(m_connections)) {
        if (c->socket)
            c->socket->abort();
    }
    m_listening = false;
}

NetFrontend::Connection* NetFrontend::find(QTcpSocket* socket)
{
    for (Connection* c : std::as_const(m_connections)) {
        if (c->socket == socket)
            return c;
    }
    return nullptr;
}

void NetFrontend::onNewConnection()
{
    while (QTcpSocket* socket = m_tcp->nextPendingConnection()) {
        auto* c = new Connection;
        c->socket = socket;
        c->assembly = new QTimer(socket);
        c->assembly->setSingleShot(true);
        m_connections.append(c);
        connect(c->assembly, &QTimer::timeout, this, [this, socket] {
            if (Connection* conn = find(socket))
                process(conn, true);
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (Connection* conn = find(socket))
                onReadyRead(conn);
        });
        connect(
            socket, &QTcpSocket::disconnected, this,
            [this, socket] {
                if (Connection* conn = find(socket)) {
                    process(conn, true);
                    m_connections.removeOne(conn);
                    delete conn;
                }
                socket->deleteLater();
            },
            Qt::QueuedConnection);
    }
}

// Print data: the connection's bytes are one job, complete when the host closes its side (the
// printer then closes too, which is what a raw-port client waits for).
void NetFrontend::onNewPrintConnection()
{
    while (QTcpSocket* socket = m_print->nextPendingConnection()) {
        socket->setParent(m_print);
        auto jobId = std::make_shared<int>(-1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, jobId] {
            const QByteArray data = socket->readAll();
            if (data.isEmpty())
                return;
            if (*jobId < 0)
                *jobId = m_engine.beginJob(QStringLiteral("net"));
            m_engine.receiveJobData(*jobId, data);
        });
        connect(
            socket, &QTcpSocket::disconnected, this,
            [this, socket, jobId] {
                const QByteArray rest = socket->readAll();
                if (!rest.isEmpty()) {
                    if (*jobId < 0)
                        *jobId = m_engine.beginJob(QStringLiteral("net"));
                    m_engine.receiveJobData(*jobId, rest);
                }
                if (*jobId >= 0)
                    m_engine.endJob(*jobId);
                socket->deleteLater();
            },
            Qt::QueuedConnection);
    }
}

void NetFrontend::onReadyRead(Connection* c)
{
    c->buffer += c->socket->readAll();
    process(c, false);
}

void NetFrontend::process(Connection* c, bool flushIncomplete)
{
    while (!c->buffer.isEmpty()) {
        if (c->importing && m_engine.expectsBulkOut()) {
            if (m_engine.receiveBulk(c->buffer, QStringLiteral("tcp-bulk")) == BulkOutResult::Stalled)
                return; // the printer does not take it; keep it for when the stall is lifted
            c->buffer.clear();
            break;
        }
        c->importing = false;
        wire::Header h;
        int size = int(c->buffer.size());
        if (wire::parseHeader(c->buffer, &h))
            size = wire::expectedFrameSize(h);
        if (c->buffer.size() < size || c->buffer.size() < wire::HeaderSize) {
            if (!flushIncomplete) {
                c->assembly->start(m_config.frameAssemblyMs);
                return;
            }
            size = int(c->buffer.size());
        }
        const QByteArray frame = c->buffer.left(size);
        c->buffer.remove(0, size);
        m_replyOwner = c->socket;
        if (h.code == "IMPT" && frame.size() == wire::HeaderSize)
            c->importing = true;
        if (h.code == "EXPT")
            m_exportOwner = c->socket;
        m_engine.receiveFrame(frame, QStringLiteral("tcp"));
        if (c->importing && !m_engine.expectsBulkOut())
            c->importing = false; // refused
    }
    c->assembly->stop();
    pump();
}

void NetFrontend::onSnmp()
{
    while (m_udp->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_udp->receiveDatagram();
        if (m_engine.isUnplugged())
            continue;
        if (const auto reply = snmp::answer(datagram.data(), m_engine.deviceId()))
            m_udp->writeDatagram(*reply, datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}

void NetFrontend::pump()
{
    const bool unplugged = m_engine.isUnplugged();
    if (unplugged && m_listening)
        stopListening();
    if (!unplugged && !m_listening) {
        QString error;
        if (!listen(&error))
            qWarning("fpsim: cannot listen again: %s", qPrintable(error));
    }
    qint64 wakeAt = -1;
    for (;;) {
        qint64 at = 0;
        const Availability a = m_engine.replyAvailability(&at);
        if (a == Availability::Later)
            wakeAt = at;
        if (a != Availability::Ready)
            break;
        const auto message = m_engine.takeReply();
        if (!message || !m_replyOwner)
            continue;
        if (message->dropConnection) {
            m_replyOwner->abort();
            continue;
        }
        m_replyOwner->write(message->bytes);
    }
    while (m_exportOwner) {
        qint64 at = 0;
        const Availability a = m_engine.bulkInAvailability(&at);
        if (a == Availability::Later && at >= 0)
            wakeAt = wakeAt < 0 ? at : qMin(wakeAt, at);
        if (a != Availability::Ready)
            break;
        m_exportOwner->write(m_engine.takeBulkIn(1 << 20));
    }
    if (wakeAt >= 0)
        m_timer->start(int(qBound(qint64(0), wakeAt - m_clock.nowMs(), qint64(1) << 30)));
}

} // namespace fpsim
