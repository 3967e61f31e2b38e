#include "NetFrontend.h"
#include "PrinterInstance.h"
#include "Runner.h"

#include <QCoreApplication>
#include <cstdio>

namespace fpsim
{

int runNet(const Options& options)
{
    quitOnTerminationSignals();
    if (options.exitWithParent)
        exitWithParent();
    SteadyClock clock;
    PrinterInstance printer(options, QByteArray(), clock);
    QString error;
    if (!printer.setUp(options, options.controlPaths.value(0), &error)) {
        std::fprintf(stderr, "fpsim: %s\n", qPrintable(error));
        return 1;
    }
    NetConfig net;
    net.address = options.address;
    net.tcpPort = options.tcpPort;
    net.snmpPort = options.snmpPort;
    net.printPort = options.printPort;
    NetFrontend frontend(printer.engine(), clock, net);
    printer.engine().setChangeListener(
        [&frontend] { QMetaObject::invokeMethod(&frontend, &NetFrontend::pump, Qt::QueuedConnection); });
    if (!frontend.start(&error)) {
        std::fprintf(stderr, "fpsim: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "fpsim: network printer on %s, TCP %u, SNMP %u, print %u%s%s\n",
        qPrintable(options.address.toString()), frontend.tcpPort(), frontend.snmpPort(), frontend.printPort(),
        printer.controlPath().isEmpty() ? "" : ", control ", qPrintable(printer.controlPath()));
    const int rc = QCoreApplication::exec();
    printer.engine().setChangeListener({});
    if (options.verbose) {
        for (const FrameLogEntry& e : printer.engine().frameLog())
            std::fprintf(stderr, "fpsim: %s\n", qPrintable(e.toString()));
    }
    return rc;
}

} // namespace fpsim
