#include "AgentSession.h"

#include "AgentMessages.h"
#include "IniStatusFile.h"

#include <QLocalSocket>
#include <QProcessEnvironment>
#include <csignal>
#include <sys/prctl.h>
#include <syslog.h>
#include <unistd.h>

AgentSession::AgentSession(
    QLocalSocket* socket, const QString& fpverify, const QString& statusFile, QObject* processParent, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_fpverify(fpverify)
    , m_statusFile(statusFile)
    , m_processParent(processParent)
{
    m_socket->setParent(this);
    // What the backend sends is taken a line's worth at a time: a peer that never ends its line
    // cannot make the agent hold more than that.
    m_socket->setReadBufferSize(AgentMessages::kMaxLineBytes);
    m_poll.setInterval(kStatusPollMs);
    connect(&m_poll, &QTimer::timeout, this, &AgentSession::pollStatus);
    connect(m_socket, &QLocalSocket::readyRead, this, &AgentSession::onReadyRead);
    connect(m_socket, &QLocalSocket::disconnected, this, &AgentSession::onDisconnected);
    if (m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &AgentSession::onReadyRead, Qt::QueuedConnection);
}

AgentSession::~AgentSession() = default;

void AgentSession::onReadyRead()
{
    if (m_ended)
        return;
    for (;;) {
        const qint64 room = AgentMessages::kMaxLineBytes - m_buffer.size();
        if (room > 0)
            m_buffer += m_socket->read(room);
        bool overflow = false;
        const QByteArray line = AgentMessages::takeLine(&m_buffer, &overflow);
        if (overflow) {
            end("line too long");
            return;
        }
        if (line.isNull()) {
            if (m_socket->bytesAvailable() > 0)
                continue;
            return;
        }
        handleLine(line);
        if (m_ended)
            return;
    }
}

void AgentSession::handleLine(const QByteArray& line)
{
    const AgentMessages::Message message = AgentMessages::parse(line);
    if (message.kind == AgentMessages::Message::Show && !m_asked) {
        m_asked = true;
        show(message.jobId, AgentMessages::verifyArgument(message.queue, message.jobId, message.seconds));
        return;
    }
    if (message.kind == AgentMessages::Message::Result && m_asked) {
        if (m_window)
            writeResult(message.value);
        m_resultWritten = true;
        end(nullptr);
        return;
    }
    end("malformed or unexpected message");
}

void AgentSession::show(int jobId, const QString& argument)
{
    m_jobId = jobId;
    const QString unusable = m_statusFile.unusableReason();
    if (!unusable.isEmpty()) {
        syslog(LOG_WARNING, "job %d: no window: %s", jobId, qPrintable(unusable));
        send(AgentMessages::noWindowLine(unusable));
        return;
    }
    if (!m_statusFile.removeJob(jobId)) {
        syslog(LOG_WARNING, "job %d: no window: stale group in the status file cannot be removed", jobId);
        send(AgentMessages::noWindowLine(QStringLiteral("status file cannot be written")));
        return;
    }
    auto* process = new QProcess(m_processParent);
    process->setProgram(m_fpverify);
    process->setArguments({ argument });
    // The window reads and writes this user's own file, not the shared one in /tmp.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(IniStatusFile::kStatusFileVariable), m_statusFile.path());
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // A window outlives no agent: without one, its Cancel reaches nobody and no result comes, so it
    // would count down after its job has ended. (The job goes on at the printer.)
    const pid_t agent = ::getpid();
    process->setChildProcessModifier([agent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != agent)
            ::_exit(1);
    });
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start();
    if (!process->waitForStarted(5000)) {
        syslog(LOG_WARNING, "job %d: no window: %s cannot be started: %s", jobId, qPrintable(m_fpverify),
            qPrintable(process->errorString()));
        delete process;
        send(AgentMessages::noWindowLine(QStringLiteral("fpverify could not be started")));
        return;
    }
    m_window = true;
    send(AgentMessages::shownLine());
    m_poll.start();
}

void AgentSession::pollStatus()
{
    if (!m_window || m_ended)
        return;
    const int status = m_statusFile.readStatus(m_jobId);
    if (status != m_lastStatus && AgentMessages::isStatusCode(status)) {
        m_lastStatus = status;
        send(AgentMessages::statusLine(status));
    }
}

void AgentSession::send(const QByteArray& line)
{
    if (m_socket->state() != QLocalSocket::ConnectedState)
        return;
    m_socket->write(line);
    m_socket->flush();
}

void AgentSession::writeResult(int value)
{
    if (!m_statusFile.writeResult(m_jobId, value))
        syslog(LOG_WARNING, "job %d: result %d could not be written to the status file", m_jobId, value);
}

void AgentSession::onDisconnected() { end(nullptr); }

void AgentSession::end(const char* why)
{
    if (m_ended)
        return;
    m_ended = true;
    m_poll.stop();
    if (why)
        syslog(LOG_WARNING, "connection ended: %s", why);
    if (m_window && !m_resultWritten) {
        m_resultWritten = true;
        writeResult(kResultOnLostConnection);
    }
    disconnect(m_socket, nullptr, this, nullptr);
    if (m_socket->state() == QLocalSocket::ConnectedState)
        m_socket->disconnectFromServer();
    emit finished();
}
