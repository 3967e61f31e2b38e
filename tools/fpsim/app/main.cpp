// fpsim: a simulated printer with a fingerprint unit, on the network or on USB (umockdev).

#include "Options.h"
#include "Runner.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QLatin1String("ctl"))
        return fpsim::runCtl(
            args[2], args.size() > 3 ? QStringList { args.mid(3).join(QLatin1Char(' ')) } : QStringList());
    fpsim::Options options;
    QString error;
    if (!fpsim::parseOptions(args, &options, &error)) {
        std::fprintf(stderr, "fpsim: %s\n%s", qPrintable(error), qPrintable(fpsim::usageText()));
        return 2;
    }
    return options.mode == fpsim::Options::Mode::Net ? fpsim::runNet(options) : fpsim::runUsb(options, argv);
}
