#include "StatusLine.h"

#include <cerrno>
#include <chrono>
#include <unistd.h>

StatusLine::StatusLine(int fd)
    : m_fd(fd)
{
}

StatusLine::~StatusLine() { stop(); }

QByteArray StatusLine::frame(const QString& what, qint64 elapsedMs)
{
    const qint64 seconds = elapsedMs < 0 ? 0 : elapsedMs / 1000;
    const QString time = QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return '\r' + (what + QStringLiteral("\u2026 ") + time).toUtf8() + "\x1b[K";
}

QByteArray StatusLine::wipe() { return "\r\x1b[K"; }

void StatusLine::draw(const QByteArray& bytes) { writeAll(m_fd, bytes); }

void StatusLine::writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    size_t left = static_cast<size_t>(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        left -= static_cast<size_t>(n);
    }
}

void StatusLine::start(const QString& what)
{
    stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
    }
    draw(frame(what, 0));
    m_ticker = std::thread([this, what] {
        using namespace std::chrono;
        const auto begin = steady_clock::now();
        std::unique_lock<std::mutex> lock(m_mutex);
        for (int second = 1;; ++second) {
            if (m_wake.wait_until(lock, begin + seconds(second), [this] { return m_stop; }))
                return;
            draw(frame(what, duration_cast<milliseconds>(steady_clock::now() - begin).count()));
        }
    });
}

void StatusLine::stop()
{
    if (!m_ticker.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_ticker.join();
    draw(wipe());
}
