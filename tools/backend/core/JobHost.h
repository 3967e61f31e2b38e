#ifndef JOBHOST_H
#define JOBHOST_H

#include <QByteArray>
#include <QString>
#include <memory>

// The window on the job owner's desktop, through the owner's agent.
class OwnerWindow
{
public:
    virtual ~OwnerWindow() = default;
    // The window's latest "status" (3 the user cancelled, 5 the time ran out), 0 while none came.
    virtual int status() = 0;
    // Hands the outcome to the window; the conversation ends with it.
    virtual void sendResult(int result) = 0;
};

struct JobRequest {
    QString queue; // may be empty when the queue name cannot be shown
    int jobId = 0;
    QString owner;
    QByteArray innerUri;
    int seconds = 30; // the window's countdown
};

// What a job runs on: the inner backend, the owner's agent, CUPS's messages, signals and syslog.
class JobHost
{
public:
    virtual ~JobHost() = default;
    // Sends the job through the inner backend; its exit status.
    virtual int runInnerBackend() = 0;
    // True when the local cupsd says the job was submitted on this computer; false when it came
    // from another one or when that cannot be told. Only such jobs get a window.
    virtual bool jobIsLocal(int jobId) = 0;
    // Asks the owner's agent to show the window; null when there is no window (*why says why, in
    // the backend's own words).
    virtual std::unique_ptr<OwnerWindow> openWindow(const JobRequest& request, QString* why) = 0;
    // Waits up to ms milliseconds, less when something may have happened (a signal, a message
    // from the agent, wake()).
    virtual void waitEvents(int ms) = 0;
    // Ends a waitEvents early; may be called from another thread.
    virtual void wake() = 0;
    // True once CUPS asked the job to stop (SIGTERM).
    virtual bool terminated() = 0;
    // One line for CUPS ("STATE: ...", "INFO: ...", "ERROR: ...").
    virtual void report(const QByteArray& line) = 0;
    // The one log line of a verification.
    virtual void logVerification(
        const JobRequest& request, const QByteArray& outcome, const QString& userName, int seconds)
        = 0;
    // The mark of a job the printer may hold undecided: set before the job is sent, cleared once it
    // printed or was dropped. A mark found when a job starts was left by a run of the queue that
    // ended without deciding (killed, crashed, stopped with cupsd).
    virtual bool heldJobMark(const JobRequest& request) = 0;
    virtual void setHeldJobMark(const JobRequest& request, bool held) = 0;
    // A fault an administrator must look at, logged as an error; what is the backend's own text.
    virtual void logError(const JobRequest& request, const QByteArray& what) = 0;
};

#endif
