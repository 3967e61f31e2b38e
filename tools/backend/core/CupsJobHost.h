#ifndef CUPSJOBHOST_H
#define CUPSJOBHOST_H

#include "AgentLink.h"
#include "JobHost.h"

#include <QByteArray>
#include <QList>

// The job host of the installed backend: the inner backend run with fork and exec, the owner's
// agent, SIGTERM from CUPS, messages on standard error, one syslog line per verification.
class CupsJobHost : public JobHost
{
public:
    // innerBackend: the program to run; argv: the backend's own arguments (job-id user title
    // copies options [file]), passed on unchanged with the inner URI as argv[0].
    CupsJobHost(const QByteArray& innerBackend, const QByteArray& innerUri, const QList<QByteArray>& arguments);
    ~CupsJobHost() override;

    // Installs the SIGTERM handler (once per process).
    static bool installSignalHandling();

    int runInnerBackend() override;
    // Asks the local cupsd (CUPS_SERVER, as cupsd passes it) for the job's
    // job-originating-host-name with Get-Job-Attributes.
    bool jobIsLocal(int jobId) override;
    std::unique_ptr<OwnerWindow> openWindow(const JobRequest& request, QString* why) override;
    void waitEvents(int ms) override;
    void wake() override;
    bool terminated() override;
    void report(const QByteArray& line) override;
    void logVerification(
        const JobRequest& request, const QByteArray& outcome, const QString& userName, int seconds) override;
    // The marks live in CUPS's state folder as cupsd passes it (CUPS_STATEDIR, /run/cups), in a
    // folder of root's: vrkt7x/QUEUE.held. Without that folder no mark is kept.
    bool heldJobMark(const JobRequest& request) override;
    void setHeldJobMark(const JobRequest& request, bool held) override;
    void logError(const JobRequest& request, const QByteArray& what) override;

    static constexpr int kAgentAnswerMs = 5000;
    static constexpr int kCupsAnswerMs = 5000;

private:
    QByteArray m_innerBackend;
    QByteArray m_innerUri;
    QList<QByteArray> m_arguments;
    AgentLink* m_agent = nullptr; // owned by the job
};

// Printable text for a log line: control characters become '?', at most maxChars characters.
QString loggable(const QString& text, int maxChars = 128);
// One value of the audit line's "name=value" fields, which others choose (a job's owner comes from
// the submitting client, a user name from the printer): also spaces and the invisible formatting
// characters (bidirectional overrides, zero-width ones) become '?', so that a value cannot pass
// for further fields; "-" for an empty one.
QString logField(const QString& text);

#endif
