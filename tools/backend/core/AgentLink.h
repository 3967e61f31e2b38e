#ifndef AGENTLINK_H
#define AGENTLINK_H

#include "JobHost.h"

#include <QByteArray>
#include <QString>
#include <memory>

// The backend's end of a conversation with the desktop agent of a job's owner. The agent is found
// from the owner's name (RUNTIME_ROOT/UID/vrkt7x/agent.socket) and trusted only when both the
// socket file and the process that answers on it belong to that user.
class AgentLink : public OwnerWindow
{
public:
    ~AgentLink() override;

    // Connects to the owner's agent, sends SHOW and waits up to timeoutMs for its answer. Null
    // when there is no window: no such user, no agent, an agent of someone else, NOWINDOW, no or
    // a malformed answer (*why tells which, in fixed words of the backend's own).
    static std::unique_ptr<AgentLink> open(
        const JobRequest& request, const QString& runtimeRoot, int timeoutMs, QString* why);

    // The second half of open(): on a socket already connected to the agent (the link takes it
    // over), sends SHOW and waits up to timeoutMs for the answer.
    static std::unique_ptr<AgentLink> converse(int fd, const JobRequest& request, int timeoutMs, QString* why);

    // The socket, for waiting on it; -1 once the conversation ended.
    int fd() const { return m_fd; }
    // Bytes of an unfinished line from the agent; always fewer than AgentMessages::kMaxLineBytes.
    qsizetype bufferedBytes() const { return m_buffer.size(); }

    int status() override;
    void sendResult(int result) override;

private:
    explicit AgentLink(int fd);
    // Reads what arrived without blocking; false once the connection is gone or broke the protocol.
    bool readAvailable();
    void close();

    int m_fd;
    QByteArray m_buffer;
    int m_status = 0;
};

#endif
