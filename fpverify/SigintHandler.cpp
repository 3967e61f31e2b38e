#include "SigintHandler.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// Write end of the pipe, -1 while no application watches it.
std::atomic<int> g_sigintWriteFd { -1 };

} // namespace

void quit(int)
{
    const int fd = g_sigintWriteFd.load();
    if (fd < 0)
        return;
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    errno = savedErrno;
}

void installSigintHandler()
{
    struct sigaction action {
    };
    action.sa_handler = quit;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

void watchSigint(QCoreApplication* app)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        return;
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [fd = fds[0]]() {
        char buffer[16];
        while (::read(fd, buffer, sizeof buffer) > 0) { }
        QCoreApplication::exit(0);
    });
    g_sigintWriteFd.store(fds[1]);
}
