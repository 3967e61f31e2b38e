#ifndef AGENTMESSAGES_H
#define AGENTMESSAGES_H

#include <QByteArray>
#include <QString>

// The line protocol between the backend (root) and the desktop agent of a job's owner, over a
// stream socket. One job per connection; every line is UTF-8 text ending in "\n", at most
// kMaxLineBytes bytes with the newline.
//   backend -> agent   SHOW start://QUEUE?jobid=N&time_val=S
//   agent -> backend   SHOWN | NOWINDOW <reason> | STATUS <n>
//   backend -> agent   RESULT <n>         (then the connection ends)
namespace AgentMessages
{

inline constexpr int kMaxLineBytes = 512;
inline constexpr int kMinSeconds = 10;
inline constexpr int kMaxSeconds = 600;

struct Message {
    enum Kind { Invalid, Show, Shown, NoWindow, Status, Result };
    Kind kind = Invalid;
    // Show: the queue, job id and seconds of the request.
    QString queue;
    int jobId = 0;
    int seconds = 0;
    // Status and Result: the number; NoWindow: the reason.
    int value = 0;
    QString reason;
};

// True when name is a queue name as CUPS allows it: 1 to 127 bytes of UTF-8, no blanks or control
// characters, none of / \ ? ' " #.
bool isQueueName(const QString& name);

// The argument fpverify is started with, for a valid queue name, job id > 0 and seconds within
// the bounds.
QString verifyArgument(const QString& queue, int jobId, int seconds);

// Lines as they go on the wire (newline included). Empty when the content is not valid.
QByteArray showLine(const QString& queue, int jobId, int seconds);
QByteArray shownLine();
QByteArray noWindowLine(const QString& reason);
QByteArray statusLine(int status);
QByteArray resultLine(int result);

// Parses one line without its newline. Anything not exactly as above (unknown word, wrong
// numbers, too long, not UTF-8) is Invalid.
Message parse(const QByteArray& line);

// Splits lines off the front of buffer. Returns the next complete line without its newline
// (and removes it from the buffer); sets *overflow when the buffer holds kMaxLineBytes bytes or
// more without a newline. Returns a null array when no line is complete.
QByteArray takeLine(QByteArray* buffer, bool* overflow);

// The result codes that RESULT carries: what fpverify shows for them.
bool isResultCode(int code);
// The status codes that STATUS carries (fpverify's "status": 3 cancelled, 5 timed out).
bool isStatusCode(int code);

} // namespace AgentMessages

#endif
