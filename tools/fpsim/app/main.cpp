// fpsim: a simulated printer with a fingerprint unit, on the network or on USB (umockdev).

#include "Options.h"
#include "Runner.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    fpsim::Options options;
    QString error;
    if (!fpsim::parseOptions(app.arguments(), &options, &error)) {
        std::fprintf(stderr, "fpsim: %s\n%s", qPrintable(error), qPrintable(fpsim::usageText()));
        return 2;
    }
    return options.mode == fpsim::Options::Mode::Net ? fpsim::runNet(options) : fpsim::runUsb(options, argv);
}
