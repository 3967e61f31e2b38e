#include "PrinterInstance.h"
#include "Runner.h"
#include "UsbFrontend.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace fpsim
{

namespace
{
    constexpr char kPreloadLibrary[] = "libumockdev-preload.so.0";
    constexpr char kStageVariable[] = "FPSIM_USB_PRELOADED";

    // The testbed's uevents reach libudev only in a process that runs with the preload, so the
    // launcher runs itself under it first.
    void reexecUnderPreload(char** argv)
    {
        QByteArray preload = kPreloadLibrary;
        const QByteArray existing = qgetenv("LD_PRELOAD");
        if (!existing.isEmpty())
            preload += ':' + existing;
        qputenv("LD_PRELOAD", preload);
        QByteArray asan = qgetenv("ASAN_OPTIONS");
        if (!asan.contains("verify_asan_link_order"))
            qputenv("ASAN_OPTIONS",
                asan.isEmpty() ? QByteArray("verify_asan_link_order=0") : asan + ":verify_asan_link_order=0");
        qputenv(kStageVariable, "1");
        std::fflush(nullptr);
        ::execv("/proc/self/exe", argv);
        std::perror("fpsim: cannot re-execute under the umockdev preload");
    }
} // namespace

int runUsb(const Options& options, char** argv)
{
    if (qgetenv(kStageVariable) != "1") {
        reexecUnderPreload(argv);
        return 1;
    }
    qunsetenv(kStageVariable);
    quitOnTerminationSignals();
    if (options.exitWithParent)
        exitWithParent();

    SteadyClock clock;
    std::vector<std::unique_ptr<PrinterInstance>> printers; // outlives the front-end that uses them
    UsbFrontend usb(clock);
    QString error;
    if (!usb.start(&error)) {
        std::fprintf(stderr, "fpsim: %s\n", qPrintable(error));
        return 1;
    }
    QString tmp = QDir::tempPath();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (int i = 0; i < options.serials.size(); ++i) {
        const QString& serial = options.serials[i];
        QString control = options.controlPaths.value(i);
        if (control.isEmpty())
            control = QStringLiteral("%1/fpsim-%2-%3.sock").arg(tmp).arg(::getpid()).arg(serial);
        auto printer = std::make_unique<PrinterInstance>(options, serial.toLatin1(), clock);
        if (!printer->setUp(options, control, &error)
            || !usb.addPrinter(printer->engine(), options.deviceIdLengthInclusive, &error)) {
            std::fprintf(stderr, "fpsim: %s\n", qPrintable(error));
            return 1;
        }
        env.insert(QStringLiteral("FPSIM_CONTROL_") + serial, printer->controlPath());
        if (i == 0)
            env.insert(QStringLiteral("FPSIM_CONTROL"), printer->controlPath());
        printers.push_back(std::move(printer));
    }

    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setInputChannelMode(QProcess::ForwardedInputChannel);
    int exitCode = 0;
    QObject::connect(&program, &QProcess::finished, qApp, [&exitCode](int code, QProcess::ExitStatus status) {
        exitCode = status == QProcess::NormalExit ? code : 128 + code;
        QCoreApplication::quit();
    });
    QObject::connect(&program, &QProcess::errorOccurred, qApp, [&program, &exitCode](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            std::fprintf(stderr, "fpsim: cannot start %s: %s\n", qPrintable(program.program()),
                qPrintable(program.errorString()));
            exitCode = 127;
            QCoreApplication::quit();
        }
    });
    program.start(options.program.first(), options.program.mid(1));
    QCoreApplication::exec();
    if (program.state() != QProcess::NotRunning) {
        // Ended by a signal or "quit": the program goes too.
        program.terminate();
        if (!program.waitForFinished(3000)) {
            program.kill();
            program.waitForFinished(3000);
        }
        exitCode = lastTerminationSignal() ? 128 + lastTerminationSignal() : 1;
    }
    if (options.verbose) {
        for (const auto& p : printers) {
            for (const FrameLogEntry& e : p->engine().frameLog())
                std::fprintf(
                    stderr, "fpsim %s: %s\n", p->engine().config().serial.constData(), qPrintable(e.toString()));
        }
    }
    return exitCode;
}

} // namespace fpsim
