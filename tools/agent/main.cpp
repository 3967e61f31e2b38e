// vrkt7x-agent: shows fpverify on this desktop for print jobs of this user that wait for a finger.
#include "AgentPaths.h"
#include "AgentServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

namespace
{

int g_signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vrkt7x-agent"));
    openlog("vrkt7x-agent", LOG_PID, LOG_USER);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the fingerprint verification window for this user's print jobs."));
    parser.addHelpOption();
    const QCommandLineOption fpverifyOption(QStringLiteral("fpverify"),
        QStringLiteral("The verification window program (default %1).")
            .arg(QLatin1String(AgentPaths::kFpverifyProgram)),
        QStringLiteral("PATH"), QLatin1String(AgentPaths::kFpverifyProgram));
    parser.addOption(fpverifyOption);
    parser.process(app);

    AgentServer::Config config;
    config.runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    config.fpverify = parser.value(fpverifyOption);
    AgentServer server(config);
    if (!server.listen()) {
        fprintf(stderr, "vrkt7x-agent: %s\n", qPrintable(server.errorString()));
        syslog(LOG_ERR, "%s", qPrintable(server.errorString()));
        return 1;
    }

    // SIGTERM and SIGINT end the event loop, so that the socket goes away with the server.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
    return app.exec();
}
