#ifndef AGENTSESSION_H
#define AGENTSESSION_H

#include "StatusFile.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QTimer>

class QLocalSocket;

// One job on one connection from the backend: SHOW starts fpverify for the job, the window's
// "status" goes back as STATUS lines as soon as it changes, RESULT is written into the job's
// group of the status file. A connection that ends (or breaks the protocol) before RESULT leaves
// "result" = 4, so no window waits out its countdown.
class AgentSession : public QObject
{
    Q_OBJECT
public:
    // processParent owns the fpverify processes, which outlive the connection (the window shows
    // its message after the result).
    AgentSession(QLocalSocket* socket, const QString& fpverify, const QString& statusFile, QObject* processParent,
        QObject* parent = nullptr);
    ~AgentSession() override;

    // Bytes of an unfinished line from the backend; never more than AgentMessages::kMaxLineBytes.
    qsizetype bufferedBytes() const { return m_buffer.size(); }

    static constexpr int kStatusPollMs = 200;
    static constexpr int kResultOnLostConnection = 4;

signals:
    void finished();

private:
    void onReadyRead();
    void onDisconnected();
    void pollStatus();
    void handleLine(const QByteArray& line);
    void show(int jobId, const QString& argument);
    void send(const QByteArray& line);
    void end(const char* why);
    void writeResult(int value);

    QLocalSocket* m_socket;
    QString m_fpverify;
    AgentStatusFile m_statusFile;
    QObject* m_processParent;
    QByteArray m_buffer;
    QTimer m_poll;
    int m_jobId = 0;
    bool m_asked = false; // SHOW came
    bool m_window = false; // fpverify runs for the job
    bool m_resultWritten = false;
    bool m_ended = false;
    int m_lastStatus = 0;
};

#endif
