// The desktop agent reading what comes in on its socket: the backend's SHOW and RESULT lines, or
// anything else a peer sends, in any split. The input is a mode byte (bit 0: a window program that
// starts; otherwise the status file cannot be used and no window is shown), then chunks as the
// peer sends them (a length byte, then that many bytes; length 0: the peer hangs up). The real
// AgentSession serves the connection; the peer is a local socket in this process.
//
// Properties checked besides memory safety: the agent never holds an unfinished line of more than
// kMaxLineBytes; everything it answers is a valid reply (SHOWN or NOWINDOW first, then STATUS
// lines only); whatever it leaves as the job's "result" is a result code fpverify knows.

#include "AgentMessages.h"
#include "AgentServer.h"
#include "AgentSession.h"
#include "FuzzInput.h"
#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace
{

void pump()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzEnsureCoreApplication();
    static QLocalServer* server = nullptr;
    const QString runtimeDir = fuzzTempDir();
    if (!server) {
        server = new QLocalServer;
        QDir().mkpath(runtimeDir + QStringLiteral("/vrkt7x"));
        FUZZ_CHECK(server->listen(AgentServer::socketPathFor(runtimeDir)));
    }
    FuzzInput input(data, size);
    const bool window = input.byte() & 1;
    const QString statusFile = AgentServer::statusFilePathFor(runtimeDir);
    QFile::remove(statusFile);
    QDir().rmdir(statusFile);
    if (!window)
        QDir().mkdir(statusFile); // not a plain file: no window
    const QString program = window ? QStringLiteral("/bin/true") : QStringLiteral("/nonexistent");

    QLocalSocket backend;
    backend.connectToServer(server->fullServerName());
    FUZZ_CHECK(backend.waitForConnected(1000));
    FUZZ_CHECK(server->waitForNewConnection(1000));
    QLocalSocket* accepted = server->nextPendingConnection();
    FUZZ_CHECK(accepted);
    auto* processes = new QObject;
    auto* session = new AgentSession(accepted, program, statusFile, processes);

    QByteArray answers;
    while (backend.state() == QLocalSocket::ConnectedState && !input.atEnd()) {
        const uint8_t length = input.byte();
        if (length == 0)
            break;
        const std::string bytes = input.bytes(length);
        backend.write(bytes.data(), static_cast<qint64>(bytes.size()));
        backend.flush();
        pump();
        FUZZ_CHECK(session->bufferedBytes() <= AgentMessages::kMaxLineBytes);
        answers += backend.readAll();
    }
    backend.disconnectFromServer();
    pump();
    answers += backend.readAll();
    delete session;
    delete processes; // ends the window programs that are still running

    bool first = true;
    for (const QByteArray& line : answers.split('\n')) {
        if (line.isEmpty())
            continue;
        const AgentMessages::Message reply = AgentMessages::parse(line);
        if (first)
            FUZZ_CHECK(reply.kind == AgentMessages::Message::Shown || reply.kind == AgentMessages::Message::NoWindow);
        else
            FUZZ_CHECK(reply.kind == AgentMessages::Message::Status);
        first = false;
    }
    FUZZ_CHECK(answers.isEmpty() || answers.endsWith('\n'));
    QFile written(statusFile);
    if (window && written.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : written.readAll().split('\n')) {
            if (line.startsWith("result="))
                FUZZ_CHECK(AgentMessages::isResultCode(line.mid(7).toInt()));
        }
    }
    return 0;
}
