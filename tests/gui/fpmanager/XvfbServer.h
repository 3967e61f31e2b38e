#ifndef XVFBSERVER_H
#define XVFBSERVER_H

// Xvfb on a display of its choosing (-displayfd), for the life of a test program that shows real
// windows on it. The server gets no LD_PRELOAD (a test running under "fpsim usb" has one).

#include <QByteArray>

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class XvfbServer {
public:
    ~XvfbServer() { stop(); }

    bool start(const char* screen = "1024x768x24")
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        m_pid = ::fork();
        if (m_pid < 0)
            return false;
        if (m_pid == 0) {
            ::close(fds[0]);
            ::unsetenv("LD_PRELOAD");
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp", "-br",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        QByteArray number;
        pollfd reader{fds[0], POLLIN, 0};
        while (!number.endsWith('\n') && ::poll(&reader, 1, 15000) > 0) {
            char c;
            if (::read(fds[0], &c, 1) != 1)
                break;
            number.append(c);
        }
        ::close(fds[0]);
        m_display = ":" + number.trimmed();
        return number.endsWith('\n');
    }

    void stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

    QByteArray display() const { return m_display; }

private:
    pid_t m_pid = -1;
    QByteArray m_display;
};

#endif
