#pragma once
// Command line of the fpsim program.
//
//   fpsim net --address 127.0.0.x [--port 10001] [--snmp-port 161] [--print-port 9100] [common options]
//   fpsim usb --serial SIM0001 [--serial SIM0002 ...] [common options] -- program [args...]
//
// Common options: --control PATH (repeatable; USB: one per serial, in order), --auto-finger,
// --auto-finger-delay MIN[-MAX], --export-delay MS, --import-time MS, --verify-timeout MS,
// --time-scale FACTOR, --device-id-delay MS (USB),
// --model TEXT, --store FILE.fdl, --state N, --capacity N, --fault "RULE" (repeatable),
// --exit-with-parent, --verbose.

#include "FaultPlan.h"
#include "PrinterEngine.h"

#include <QHostAddress>
#include <QStringList>

namespace fpsim
{

struct Options {
    enum class Mode { Net, Usb } mode = Mode::Net;
    PrinterConfig printer; // serial left empty; set per device
    QHostAddress address;
    quint16 tcpPort = 10001;
    quint16 snmpPort = 161;
    quint16 printPort = 9100;
    QStringList serials;
    QStringList controlPaths;
    QString storeFile;
    int state = -1;
    QList<FaultRule> faults;
    QStringList program; // USB: the program to run and its arguments
    bool exitWithParent = false;
    bool verbose = false;
    bool deviceIdLengthInclusive = true; // USB GET_DEVICE_ID length counts its own two bytes
};

// Parses argv (argv[0] is the program). False with a message in `error` for bad usage.
bool parseOptions(const QStringList& arguments, Options* options, QString* error);
QString usageText();

} // namespace fpsim
