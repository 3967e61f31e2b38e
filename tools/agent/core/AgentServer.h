#ifndef AGENTSERVER_H
#define AGENTSERVER_H

#include <QLocalServer>
#include <QObject>
#include <QString>

// Listens on RUNTIME_DIR/vrkt7x/agent.socket (folder 0700, socket 0600) and takes one job per
// connection, from peers with uid 0 only: every other peer is refused (the connection closed)
// and logged. The status file of the windows it starts is RUNTIME_DIR/vrkt7x/status.conf.
class AgentServer : public QObject
{
    Q_OBJECT
public:
    struct Config {
        QString runtimeDir; // $XDG_RUNTIME_DIR
        QString fpverify;
        uint acceptedUid = 0; // the backend runs as root
    };

    explicit AgentServer(const Config& config, QObject* parent = nullptr);
    ~AgentServer() override;

    // Creates the folder and starts listening. False with errorString() when that fails, also
    // when another agent of this user already answers on the socket.
    bool listen();
    QString errorString() const { return m_error; }
    QString socketPath() const;
    QString statusFilePath() const;

    static QString socketPathFor(const QString& runtimeDir);
    static QString statusFilePathFor(const QString& runtimeDir);

private:
    void onNewConnection();
    bool prepareFolder(const QString& folder);

    Config m_config;
    QLocalServer m_server;
    QString m_error;
};

#endif
