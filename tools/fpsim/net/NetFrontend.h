#pragma once
// The printer on the network: the fingerprint protocol on TCP (port 10001), print data on TCP
// (port 9100, raw: one job per connection, ended when the host closes its side) and the SNMP v1
// device-ID agent on UDP (port 161), all on one address.
//
// TCP: bytes are cut into frames by the header (the payload length of "CHCK", "DELE", "ADDF");
// a frame still incomplete after `frameAssemblyMs` is handed over as it is (and refused). The
// answers to a frame go back on the connection that sent it. After an accepted "IMPT" the
// connection's next bytes are the import stream; after "EXPT" the export record and the records
// follow on the same connection when ready. While unplugged nothing listens.

#include "PrinterEngine.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class QTimer;

namespace fpsim
{

struct NetConfig {
    QHostAddress address = QHostAddress(QStringLiteral("127.0.0.1"));
    quint16 tcpPort = 10001;
    quint16 snmpPort = 161;
    quint16 printPort = 9100;
    int frameAssemblyMs = 200;
};

class NetFrontend : public QObject
{
    Q_OBJECT
public:
    NetFrontend(PrinterEngine& engine, SimClock& clock, const NetConfig& config, QObject* parent = nullptr);
    ~NetFrontend() override;

    bool start(QString* error);
    quint16 tcpPort() const;
    quint16 snmpPort() const;
    quint16 printPort() const;

    // Re-examines the engine (answers due, export data, plug state). Thread-safe to request
    // through the engine's change listener; runs on this object's thread.
    void pump();

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        QByteArray buffer;
        QTimer* assembly = nullptr;
        bool importing = false;
    };

    bool listen(QString* error);
    void stopListening();
    void onNewConnection();
    void onReadyRead(Connection* c);
    void process(Connection* c, bool flushIncomplete);
    void onSnmp();
    void onNewPrintConnection();
    Connection* find(QTcpSocket* socket);

    PrinterEngine& m_engine;
    SimClock& m_clock;
    NetConfig m_config;
    QTcpServer* m_tcp;
    QTcpServer* m_print;
    QUdpSocket* m_udp;
    QTimer* m_timer;
    QList<Connection*> m_connections;
    QPointer<QTcpSocket> m_replyOwner;
    QPointer<QTcpSocket> m_exportOwner;
    bool m_listening = false;
    quint16 m_boundTcpPort = 0;
    quint16 m_boundSnmpPort = 0;
    quint16 m_boundPrintPort = 0;
};

} // namespace fpsim
