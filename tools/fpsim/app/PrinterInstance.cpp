#include "PrinterInstance.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fpsim
{

PrinterInstance::PrinterInstance(const Options& options, const QByteArray& serial, SimClock& clock)
{
    PrinterConfig config = options.printer;
    config.serial = serial;
    m_engine = std::make_unique<PrinterEngine>(config, clock);
    m_interpreter = std::make_unique<ControlInterpreter>(*m_engine);
    m_interpreter->setQuitHandler(
        [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); });
}

bool PrinterInstance::setUp(const Options& options, const QString& controlPath, QString* error)
{
    if (!options.storeFile.isEmpty()) {
        QFile file(options.storeFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1").arg(options.storeFile);
            return false;
        }
        QString why;
        if (!m_engine->loadStore(file.readAll(), &why)) {
            *error = QStringLiteral("%1: %2").arg(options.storeFile, why);
            return false;
        }
    }
    if (options.state >= 0)
        m_engine->setAuthState(options.state);
    for (const FaultRule& rule : options.faults)
        m_engine->addFault(rule);
    if (!controlPath.isEmpty()) {
        m_server = std::make_unique<ControlServer>(*m_interpreter);
        if (!m_server->listen(controlPath, error))
            return false;
    }
    return true;
}

QString PrinterInstance::controlPath() const { return m_server ? m_server->path() : QString(); }

namespace
{
    int g_signalPipe[2] = { -1, -1 };
    std::atomic<int> g_lastSignal { 0 };

    void onSignal(int sig)
    {
        g_lastSignal = sig;
        const char c = char(sig);
        [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
    }
} // namespace

void quitOnTerminationSignals()
{
    if (g_signalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

int lastTerminationSignal() { return g_lastSignal.load(); }

void exitWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() == 1)
        ::raise(SIGTERM);
}

} // namespace fpsim
