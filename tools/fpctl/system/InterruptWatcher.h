#ifndef FPCTL_INTERRUPTWATCHER_H
#define FPCTL_INTERRUPTWATCHER_H

#include <functional>
#include <thread>

// Turns Ctrl-C (SIGINT) and SIGTERM into a call of a handler on a thread of its own, so that the
// handler may take locks and call the library while the main thread is blocked in it. A second
// signal ends the process at once with exit code 7 and a line on the given descriptor.
class InterruptWatcher
{
public:
    InterruptWatcher() = default;
    ~InterruptWatcher();

    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // Installs the signal handlers and starts the thread. False when that failed.
    bool start(std::function<void()> onInterrupt, int errorFd);

private:
    std::thread m_thread;
    int m_pipe[2] = { -1, -1 };
};

#endif
