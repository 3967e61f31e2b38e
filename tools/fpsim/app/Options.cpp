#include "Options.h"

#include <QCommandLineParser>

namespace fpsim
{

QString usageText()
{
    return QStringLiteral(
        "usage: fpsim net --address 127.0.0.x [--port 10001] [--snmp-port 161] [--print-port 9100] [options]\n"
        "       fpsim usb --serial SIM0001 [--serial SIM0002 ...] [options] -- program [args...]\n"
        "       fpsim ctl SOCKET [COMMAND...]   (no command: one per line from standard input)\n"
        "options: --control PATH (repeatable)  --auto-finger  --auto-finger-delay MIN[-MAX]\n"
        "         --export-delay MS  --import-time MS  --verify-timeout MS (0: never)  --time-scale F  --model TEXT  "
        "--store FILE.fdl\n"
        "         --state N  --capacity N  --fault RULE (repeatable)  --device-id-length inclusive|exclusive\n"
        "         --device-id-delay MS"
        "         --exit-with-parent  --verbose\n"
        "The control socket speaks one command per line; send 'help' for the list.\n");
}

bool parseOptions(const QStringList& arguments, Options* o, QString* error)
{
    if (arguments.size() < 2 || (arguments[1] != QLatin1String("net") && arguments[1] != QLatin1String("usb"))) {
        *error = QStringLiteral("first argument must be 'net' or 'usb'");
        return false;
    }
    o->mode = arguments[1] == QLatin1String("net") ? Options::Mode::Net : Options::Mode::Usb;
    QStringList args = arguments;
    args.removeAt(1);
    const int dashdash = int(args.indexOf(QStringLiteral("--")));
    if (dashdash >= 0) {
        o->program = args.mid(dashdash + 1);
        args = args.mid(0, dashdash);
    }

    QCommandLineParser p;
    const QCommandLineOption address(QStringLiteral("address"), QString(), QStringLiteral("ip"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("port"));
    const QCommandLineOption snmpPort(QStringLiteral("snmp-port"), QString(), QStringLiteral("port"));
    const QCommandLineOption printPort(QStringLiteral("print-port"), QString(), QStringLiteral("port"));
    const QCommandLineOption verifyTimeout(QStringLiteral("verify-timeout"), QString(), QStringLiteral("ms"));
    const QCommandLineOption serial(QStringLiteral("serial"), QString(), QStringLiteral("serial"));
    const QCommandLineOption control(QStringLiteral("control"), QString(), QStringLiteral("path"));
    const QCommandLineOption autoFinger(QStringLiteral("auto-finger"));
    const QCommandLineOption autoDelay(QStringLiteral("auto-finger-delay"), QString(), QStringLiteral("ms"));
    const QCommandLineOption exportDelay(QStringLiteral("export-delay"), QString(), QStringLiteral("ms"));
    const QCommandLineOption importTime(QStringLiteral("import-time"), QString(), QStringLiteral("ms"));
    const QCommandLineOption timeScale(QStringLiteral("time-scale"), QString(), QStringLiteral("factor"));
    const QCommandLineOption model(QStringLiteral("model"), QString(), QStringLiteral("text"));
    const QCommandLineOption store(QStringLiteral("store"), QString(), QStringLiteral("file"));
    const QCommandLineOption state(QStringLiteral("state"), QString(), QStringLiteral("n"));
    const QCommandLineOption capacity(QStringLiteral("capacity"), QString(), QStringLiteral("n"));
    const QCommandLineOption fault(QStringLiteral("fault"), QString(), QStringLiteral("rule"));
    const QCommandLineOption idLength(QStringLiteral("device-id-length"), QString(), QStringLiteral("kind"));
    const QCommandLineOption idDelay(QStringLiteral("device-id-delay"), QString(), QStringLiteral("ms"));
    const QCommandLineOption exitWithParent(QStringLiteral("exit-with-parent"));
    const QCommandLineOption verbose(QStringLiteral("verbose"));
    p.addOptions(
        { address, port, snmpPort, printPort, verifyTimeout, serial, control, autoFinger, autoDelay, exportDelay,
            importTime, timeScale, model, store, state, capacity, fault, idLength, idDelay, exitWithParent, verbose });
    if (!p.parse(args)) {
        *error = p.errorText();
        return false;
    }
    if (!p.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first());
        return false;
    }
    auto number = [&](const QCommandLineOption& opt, int min, int max, int* out) {
        if (!p.isSet(opt))
            return true;
        bool ok = false;
        const int v = p.value(opt).toInt(&ok);
        if (!ok || v < min || v > max) {
            *error = QStringLiteral("--%1 wants a number %2-%3").arg(opt.names().first()).arg(min).arg(max);
            return false;
        }
        *out = v;
        return true;
    };
    PrinterConfig& c = o->printer;
    int tcp = o->tcpPort, udp = o->snmpPort, print = o->printPort;
    if (!number(port, 0, 65535, &tcp) || !number(snmpPort, 0, 65535, &udp) || !number(printPort, 0, 65535, &print)
        || !number(verifyTimeout, 0, 3600000, &c.verifyTimeoutMs) || !number(exportDelay, 0, 3600000, &c.exportDelayMs)
        || !number(importTime, 0, 3600000, &c.importTimeMs) || !number(state, 0, 255, &o->state)
        || !number(capacity, 0, 65535, &c.capacity) || !number(idDelay, 0, 60000, &c.deviceIdDelayMs))
        return false;
    o->tcpPort = quint16(tcp);
    o->snmpPort = quint16(udp);
    o->printPort = quint16(print);
    if (p.isSet(autoDelay)) {
        const QStringList parts = p.value(autoDelay).split(QLatin1Char('-'));
        bool ok1 = false, ok2 = true;
        c.autoFingerMinMs = parts.value(0).toInt(&ok1);
        c.autoFingerMaxMs = parts.size() > 1 ? parts[1].toInt(&ok2) : c.autoFingerMinMs;
        if (!ok1 || !ok2 || parts.size() > 2 || c.autoFingerMinMs < 0 || c.autoFingerMaxMs < c.autoFingerMinMs) {
            *error = QStringLiteral("--auto-finger-delay wants MIN or MIN-MAX milliseconds");
            return false;
        }
    }
    if (p.isSet(timeScale)) {
        bool ok = false;
        const double f = p.value(timeScale).toDouble(&ok);
        if (!ok || f <= 0 || f > 1000) {
            *error = QStringLiteral("--time-scale wants a factor above 0");
            return false;
        }
        for (int* ms : { &c.autoFingerMinMs, &c.autoFingerMaxMs, &c.exportDelayMs, &c.importTimeMs,
                 &c.nextWaitPressDelayMs, &c.messageGapMs, &c.verifyTimeoutMs, &c.deviceIdDelayMs })
            *ms = int(*ms * f);
    }
    c.autoFinger = p.isSet(autoFinger);
    if (p.isSet(model))
        c.model = c.product = p.value(model).toUtf8();
    o->storeFile = p.value(store);
    o->controlPaths = p.values(control);
    o->serials = p.values(serial);
    o->exitWithParent = p.isSet(exitWithParent);
    o->verbose = p.isSet(verbose);
    if (p.isSet(idLength)) {
        const QString v = p.value(idLength);
        if (v != QLatin1String("inclusive") && v != QLatin1String("exclusive")) {
            *error = QStringLiteral("--device-id-length is inclusive or exclusive");
            return false;
        }
        o->deviceIdLengthInclusive = v == QLatin1String("inclusive");
    }
    for (const QString& text : p.values(fault)) {
        QString why;
        const auto rule = FaultRule::parse(text, &why);
        if (!rule) {
            *error = QStringLiteral("--fault '%1': %2").arg(text, why);
            return false;
        }
        o->faults.append(*rule);
    }

    if (o->mode == Options::Mode::Net) {
        if (!p.isSet(address) || !o->address.setAddress(p.value(address))) {
            *error = QStringLiteral("net needs --address with an IP address");
            return false;
        }
        if (o->controlPaths.size() > 1 || !o->serials.isEmpty() || !o->program.isEmpty()) {
            *error = QStringLiteral("net takes one --control, no --serial and no program");
            return false;
        }
    } else {
        if (o->serials.isEmpty()) {
            *error = QStringLiteral("usb needs at least one --serial");
            return false;
        }
        if (o->serials.removeDuplicates() > 0) {
            *error = QStringLiteral("every --serial must be different");
            return false;
        }
        for (const QString& s : o->serials) {
            if (s.isEmpty() || s.size() > 126 || s.contains(QLatin1Char('=')) || s.contains(QLatin1Char(' '))) {
                *error = QStringLiteral("bad serial '%1'").arg(s);
                return false;
            }
        }
        if (o->controlPaths.size() > o->serials.size()) {
            *error = QStringLiteral("more --control paths than devices");
            return false;
        }
        if (o->program.isEmpty()) {
            *error = QStringLiteral("usb needs a program after --");
            return false;
        }
        if (p.isSet(address) || p.isSet(port) || p.isSet(snmpPort) || p.isSet(printPort)) {
            *error = QStringLiteral("usb takes no --address, --port, --snmp-port or --print-port");
            return false;
        }
    }
    return true;
}

} // namespace fpsim
