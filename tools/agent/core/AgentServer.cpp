#include "AgentServer.h"

#include "AgentPaths.h"
#include "AgentSession.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

AgentServer::AgentServer(const Config& config, QObject* parent)
    : QObject(parent)
    , m_config(config)
{
    connect(&m_server, &QLocalServer::newConnection, this, &AgentServer::onNewConnection);
}

AgentServer::~AgentServer() { m_server.close(); }

QString AgentServer::socketPathFor(const QString& runtimeDir)
{
    return runtimeDir + QLatin1Char('/') + QLatin1String(AgentPaths::kAgentFolder) + QLatin1Char('/')
        + QLatin1String(AgentPaths::kSocketName);
}

QString AgentServer::statusFilePathFor(const QString& runtimeDir)
{
    return runtimeDir + QLatin1Char('/') + QLatin1String(AgentPaths::kAgentFolder) + QLatin1Char('/')
        + QLatin1String(AgentPaths::kStatusFileName);
}

QString AgentServer::socketPath() const { return socketPathFor(m_config.runtimeDir); }

QString AgentServer::statusFilePath() const { return statusFilePathFor(m_config.runtimeDir); }

bool AgentServer::prepareFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        m_error = QStringLiteral("cannot create %1: %2").arg(folder, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        m_error = QStringLiteral("%1 is not a folder of this user").arg(folder);
        return false;
    }
    if ((st.st_mode & 07777) != 0700 && ::chmod(path.constData(), 0700) != 0) {
        m_error = QStringLiteral("cannot restrict %1 to its owner").arg(folder);
        return false;
    }
    return true;
}

bool AgentServer::listen()
{
    if (m_config.runtimeDir.isEmpty() || !QDir::isAbsolutePath(m_config.runtimeDir)) {
        m_error = QStringLiteral("no runtime folder (XDG_RUNTIME_DIR)");
        return false;
    }
    if (!prepareFolder(m_config.runtimeDir + QLatin1Char('/') + QLatin1String(AgentPaths::kAgentFolder)))
        return false;
    const QString path = socketPath();
    {
        // Another agent of this user (a second session) keeps the socket.
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(1000)) {
            m_error = QStringLiteral("another agent answers on %1").arg(path);
            return false;
        }
    }
    QLocalServer::removeServer(path);
    if (!m_server.listen(path)) {
        m_error = QStringLiteral("cannot listen on %1: %2").arg(path, m_server.errorString());
        return false;
    }
    if (::chmod(QFile::encodeName(path).constData(), 0600) != 0) {
        m_error = QStringLiteral("cannot restrict %1 to its owner").arg(path);
        m_server.close();
        return false;
    }
    return true;
}

void AgentServer::onNewConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        struct ucred peer;
        socklen_t size = sizeof(peer);
        const int fd = static_cast<int>(socket->socketDescriptor());
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof(peer)) {
            syslog(LOG_WARNING, "refused a connection whose peer is unknown");
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (peer.uid != m_config.acceptedUid) {
            syslog(LOG_WARNING, "refused a connection from uid %u (pid %d)", static_cast<unsigned>(peer.uid),
                static_cast<int>(peer.pid));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* session = new AgentSession(socket, m_config.fpverify, statusFilePath(), this, this);
        connect(session, &AgentSession::finished, session, &QObject::deleteLater);
    }
}
