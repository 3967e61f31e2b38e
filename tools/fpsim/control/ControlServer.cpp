#include "ControlServer.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

namespace fpsim
{

ControlServer::ControlServer(ControlInterpreter& interpreter, QObject* parent)
    : QObject(parent)
    , m_interpreter(interpreter)
    , m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &ControlServer::onNewConnection);
}

ControlServer::~ControlServer()
{
    const QString file = m_server->fullServerName();
    m_server->close();
    if (!file.isEmpty())
        QFile::remove(file);
}

bool ControlServer::listen(const QString& path, QString* error)
{
    QLocalServer::removeServer(path);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(path, m_server->errorString());
        return false;
    }
    return true;
}

QString ControlServer::path() const { return m_server->fullServerName(); }

void ControlServer::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void ControlServer::onReadyRead(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        const QString line = QString::fromUtf8(socket->readLine()).trimmed();
        QStringList lines;
        QString error;
        const bool ok = m_interpreter.execute(line, &lines, &error);
        QByteArray out;
        for (const QString& l : lines)
            out += "* " + l.toUtf8() + '\n';
        out += ok ? QByteArray("OK\n") : "ERR " + error.toUtf8() + '\n';
        socket->write(out);
        socket->flush();
    }
}

} // namespace fpsim
