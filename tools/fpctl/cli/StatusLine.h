#ifndef FPCTL_STATUSLINE_H
#define FPCTL_STATUSLINE_H

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <thread>

// One self-updating line on a terminal while the program waits: what it waits for and the time so
// far ("waiting for the printer's records… 0:42"), redrawn in place every second from a thread of
// its own and wiped when the wait ends, so that the answer starts on a clean line.
class StatusLine
{
public:
    // Draws on descriptor fd.
    explicit StatusLine(int fd);
    ~StatusLine();

    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // Shows the line for `what` at 0:00 and keeps it up to date; a running line is replaced.
    void start(const QString& what);
    // Wipes the line. Nothing happens when none is shown.
    void stop();

    // The bytes that draw the line for `what` after elapsedMs: back to the start of the line, the
    // text and the time, then the rest of the line cleared.
    static QByteArray frame(const QString& what, qint64 elapsedMs);
    // The bytes that wipe the line.
    static QByteArray wipe();
    // Writes all of `bytes` to fd, resuming after interruptions; gives up on an error.
    static void writeAll(int fd, const QByteArray& bytes);

private:
    void draw(const QByteArray& bytes);

    int m_fd;
    std::thread m_ticker;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};

#endif
