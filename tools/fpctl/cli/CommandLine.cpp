#include "CommandLine.h"

const QList<CommandInfo>& commandList()
{
    static const QList<CommandInfo> list = {
        {"printers", {}, "list the supported USB printers (--all: every CUPS queue)"},
        {"status", {QStringLiteral("PRINTER")}, "show whether fingerprint authentication is on"},
        {"on", {QStringLiteral("PRINTER")}, "switch fingerprint authentication on"},
        {"off", {QStringLiteral("PRINTER")}, "switch fingerprint authentication off"},
        {"enrol", {QStringLiteral("PRINTER"), QStringLiteral("NAME")}, "enrol a finger for NAME (two presses)"},
        {"check", {QStringLiteral("PRINTER"), QStringLiteral("NAME")}, "tell whether NAME has an enrolled finger"},
        {"delete", {QStringLiteral("PRINTER"), QStringLiteral("NAME")}, "delete the fingerprints of NAME"},
        {"delete-all", {QStringLiteral("PRINTER")}, "delete every fingerprint of the printer"},
        {"export", {QStringLiteral("PRINTER"), QStringLiteral("FILE")}, "save the printer's fingerprints to FILE"},
        {"import", {QStringLiteral("PRINTER"), QStringLiteral("FILE")}, "load the fingerprints of FILE into the printer"},
        {"records", {QStringLiteral("FILE")}, "list the names and IDs in a fingerprint data file"},
        {"verify", {QStringLiteral("PRINTER")}, "wait for a finger and tell whose it is"},
        {"help", {}, "show the manual, or the help of one command"},
    };
    return list;
}

const CommandInfo* findCommand(const QString& name)
{
    const QString canonical = name == QLatin1String("enroll") ? QStringLiteral("enrol") : name;
    for (const CommandInfo& info : commandList()) {
        if (canonical == QLatin1String(info.name))
            return &info;
    }
    return nullptr;
}

namespace {

// Options each command accepts besides the global ones.
bool commandTakes(const QString& command, const QString& option)
{
    if (option == QLatin1String("--all"))
        return command == QLatin1String("printers");
    if (option == QLatin1String("--yes"))
        return command == QLatin1String("delete-all");
    if (option == QLatin1String("--timeout"))
        return command == QLatin1String("verify");
    return false;
}

} // namespace

bool parseCommandLine(const QStringList& args, Invocation* inv, QString* error)
{
    QStringList words;        // command and positional arguments
    QStringList commandOptions; // options to check once the command is known
    QString timeoutText;
    bool optionsEnded = false;

    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            words << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = arg;
        QString value;
        bool hasValue = false;
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && eq > 0) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
            hasValue = true;
        }
        if (name == QLatin1String("-j"))
            name = QStringLiteral("--json");
        else if (name == QLatin1String("-v"))
            name = QStringLiteral("--verbose");
        else if (name == QLatin1String("-h"))
            name = QStringLiteral("--help");
        else if (name == QLatin1String("-y"))
            name = QStringLiteral("--yes");
        else if (name == QLatin1String("-a"))
            name = QStringLiteral("--all");
        else if (name == QLatin1String("-t"))
            name = QStringLiteral("--timeout");

        const bool takesValue = name == QLatin1String("--timeout");
        if (hasValue && !takesValue) {
            *error = QStringLiteral("option %1 takes no value").arg(name);
            return false;
        }
        if (name == QLatin1String("--json")) {
            inv->json = true;
        } else if (name == QLatin1String("--verbose")) {
            inv->verbose = true;
        } else if (name == QLatin1String("--help")) {
            inv->help = true;
        } else if (name == QLatin1String("--version")) {
            inv->version = true;
        } else if (name == QLatin1String("--all") || name == QLatin1String("--yes")
                   || name == QLatin1String("--timeout")) {
            if (takesValue && !hasValue) {
                if (i + 1 >= args.size()) {
                    *error = QStringLiteral("option %1 needs a value").arg(name);
                    return false;
                }
                value = args.at(++i);
            }
            if (name == QLatin1String("--timeout"))
                timeoutText = value;
            commandOptions << name;
        } else {
            *error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        }
    }

    if (words.isEmpty()) {
        if (inv->help || inv->version)
            return true;
        *error = QStringLiteral("no command given");
        return false;
    }
    const CommandInfo* info = findCommand(words.first());
    if (!info) {
        *error = QStringLiteral("unknown command '%1'").arg(words.first());
        return false;
    }
    inv->command = QLatin1String(info->name);
    inv->arguments = words.mid(1);

    if (inv->command == QLatin1String("help")) {
        const bool helpOfHelp = inv->help; // "fpctl help --help"
        inv->help = true;
        if (inv->arguments.size() > 1) {
            *error = QStringLiteral("help takes at most one command name");
            return false;
        }
        if (!inv->arguments.isEmpty()) {
            const CommandInfo* about = findCommand(inv->arguments.first());
            if (!about) {
                *error = QStringLiteral("unknown command '%1'").arg(inv->arguments.first());
                return false;
            }
            inv->command = QLatin1String(about->name);
            inv->arguments.clear();
        } else if (!helpOfHelp) {
            inv->command.clear();
        }
        return true;
    }

    for (const QString& option : commandOptions) {
        if (!commandTakes(inv->command, option)) {
            *error = QStringLiteral("does not take the option %1").arg(option);
            return false;
        }
    }
    if (commandOptions.contains(QStringLiteral("--all")))
        inv->all = true;
    if (commandOptions.contains(QStringLiteral("--yes")))
        inv->yes = true;
    if (commandOptions.contains(QStringLiteral("--timeout"))) {
        bool ok = false;
        const int seconds = timeoutText.toInt(&ok);
        if (!ok || seconds < 1 || seconds > kMaxVerifyTimeout) {
            *error = QStringLiteral("--timeout wants a whole number of seconds from 1 to %1").arg(kMaxVerifyTimeout);
            return false;
        }
        inv->timeoutSeconds = seconds;
    }
    if (inv->help)
        return true;

    if (inv->arguments.size() != info->argumentNames.size()) {
        if (info->argumentNames.isEmpty())
            *error = QStringLiteral("takes no arguments");
        else
            *error = QStringLiteral("expects %1").arg(info->argumentNames.join(QLatin1Char(' ')));
        return false;
    }
    return true;
}
