#pragma once
// Serves the control language (ControlInterpreter) on a Unix-domain stream socket: each line is a
// command; the answer is its data lines, each prefixed with "* ", then "OK" or "ERR <reason>".

#include "ControlInterpreter.h"

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace fpsim
{

class ControlServer : public QObject
{
    Q_OBJECT
public:
    ControlServer(ControlInterpreter& interpreter, QObject* parent = nullptr);
    ~ControlServer() override;

    // Listens on `path`, replacing a stale socket file there.
    bool listen(const QString& path, QString* error);
    QString path() const;

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    ControlInterpreter& m_interpreter;
    QLocalServer* m_server;
};

} // namespace fpsim
