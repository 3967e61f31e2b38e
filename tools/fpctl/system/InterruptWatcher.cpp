#include "InterruptWatcher.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace
{

volatile sig_atomic_t g_signals = 0;
int g_wakeFd = -1;
int g_errorFd = 2;

void onSignal(int)
{
    const int saved = errno;
    if (++g_signals > 1) {
        static const char line[] = "fpctl: interrupted again; quitting without waiting for the printer\n";
        ssize_t ignored = ::write(g_errorFd, line, sizeof(line) - 1);
        (void)ignored;
        ::_exit(7);
    }
    const char byte = 1;
    ssize_t ignored = ::write(g_wakeFd, &byte, 1);
    (void)ignored;
    errno = saved;
}

} // namespace

InterruptWatcher::~InterruptWatcher()
{
    if (m_pipe[1] >= 0) {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        const char stop = 0;
        ssize_t ignored = ::write(m_pipe[1], &stop, 1);
        (void)ignored;
    }
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
    g_wakeFd = -1;
}

bool InterruptWatcher::start(std::function<void()> onInterrupt, int errorFd)
{
    if (::pipe2(m_pipe, O_CLOEXEC) != 0)
        return false;
    g_wakeFd = m_pipe[1];
    g_errorFd = errorFd;
    g_signals = 0;
    m_thread = std::thread([fd = m_pipe[0], onInterrupt = std::move(onInterrupt)] {
        for (;;) {
            char byte = 0;
            const ssize_t n = ::read(fd, &byte, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || byte == 0)
                return; // closing down
            onInterrupt();
        }
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGINT, &action, nullptr) != 0 || sigaction(SIGTERM, &action, nullptr) != 0)
        return false;
    // A parent may have left the signals blocked (the mask survives exec): take them here.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return pthread_sigmask(SIG_UNBLOCK, &set, nullptr) == 0;
}
