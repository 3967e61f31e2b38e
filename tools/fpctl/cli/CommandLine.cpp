#include "CommandLine.h"

#include <QCommandLineParser>

const QList<CommandInfo>& commandList()
{
    static const QList<CommandInfo> list = {
        { "printers", {}, "list the supported USB printers (--all: every CUPS queue)" },
        { "status", { QStringLiteral("PRINTER") }, "show whether fingerprint authentication is on" },
        { "on", { QStringLiteral("PRINTER") }, "switch fingerprint authentication on" },
        { "off", { QStringLiteral("PRINTER") }, "switch fingerprint authentication off" },
        { "enrol", { QStringLiteral("PRINTER"), QStringLiteral("NAME") }, "enrol a finger for NAME (two presses)" },
        { "check", { QStringLiteral("PRINTER"), QStringLiteral("NAME") }, "tell whether NAME has an enrolled finger" },
        { "delete", { QStringLiteral("PRINTER"), QStringLiteral("NAME") }, "delete the fingerprints of NAME" },
        { "delete-all", { QStringLiteral("PRINTER") }, "delete every fingerprint of the printer" },
        { "export", { QStringLiteral("PRINTER"), QStringLiteral("FILE") }, "save the printer's fingerprints to FILE" },
        { "import", { QStringLiteral("PRINTER"), QStringLiteral("FILE") },
            "load the fingerprints of FILE into the printer" },
        { "records", { QStringLiteral("FILE") }, "list the names and IDs in a fingerprint data file" },
        { "verify", { QStringLiteral("PRINTER") }, "wait for a finger and tell whose it is" },
        { "help", {}, "show the manual, or the help of one command" },
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

namespace
{

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

// The options of fpctl; each option's last name is its long one.
struct Options {
    QCommandLineOption json { { QStringLiteral("j"), QStringLiteral("json") } };
    QCommandLineOption verbose { { QStringLiteral("v"), QStringLiteral("verbose") } };
    QCommandLineOption help { { QStringLiteral("h"), QStringLiteral("help") } };
    QCommandLineOption version { QStringLiteral("version") };
    QCommandLineOption all { { QStringLiteral("a"), QStringLiteral("all") } };
    QCommandLineOption yes { { QStringLiteral("y"), QStringLiteral("yes") } };
    QCommandLineOption timeout { { QStringLiteral("t"), QStringLiteral("timeout") }, QString(),
        QStringLiteral("SECONDS") };

    QList<QCommandLineOption> list() const { return { json, verbose, help, version, all, yes, timeout }; }
    QList<QCommandLineOption> commandOptions() const { return { all, yes, timeout }; }
};

QString longName(const QCommandLineOption& option) { return QLatin1String("--") + option.names().constLast(); }

bool isOptionWord(const QString& word) { return word.startsWith(QLatin1Char('-')) && word.size() > 1; }

// The name an option word gives ("json" for "--json=x" and "-json").
QString nameOf(const QString& word)
{
    return word.mid(word.startsWith(QLatin1String("--")) ? 2 : 1).section(QLatin1Char('='), 0, 0);
}

// Why the parser refused the command line, worded as fpctl says it (and not as Qt does: its texts
// are translated). words are the arguments before "--".
QString optionError(const QCommandLineParser& parser, const Options& options, const QStringList& words)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        for (const QString& word : words) {
            if (isOptionWord(word) && nameOf(word) == unknown.first())
                return QStringLiteral("unknown option %1").arg(word);
        }
        return QStringLiteral("unknown option --%1").arg(unknown.first());
    }
    for (const QString& word : words) {
        if (!isOptionWord(word) || !word.contains(QLatin1Char('=')))
            continue;
        for (const QCommandLineOption& option : options.list()) {
            if (option.valueName().isEmpty() && option.names().contains(nameOf(word)))
                return QStringLiteral("option %1 takes no value").arg(longName(option));
        }
    }
    // The one option with a value, at the end of the line.
    return QStringLiteral("option %1 needs a value").arg(longName(options.timeout));
}

// Qt takes any name after one dash or two, and a value after "=" either way; fpctl spells its
// options "-j" and "--json" only ("--timeout=N", not "-t=N"). Empty when every option word before
// "--" is so spelt. json tells whether --json was among them (known before any error, so that
// the error can be reported as JSON).
QString spellingError(const Options& options, const QStringList& words, bool* json)
{
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words.at(i);
        if (!isOptionWord(word))
            continue;
        const QString name = nameOf(word);
        if (word.startsWith(QLatin1String("--")) ? name.size() < 2 : word.size() != 2)
            return QStringLiteral("unknown option %1").arg(word);
        if (options.json.names().contains(name) && !word.contains(QLatin1Char('=')))
            *json = true;
        if (options.timeout.names().contains(name) && !word.contains(QLatin1Char('=')))
            ++i; // its value, whatever it looks like
    }
    return QString();
}

} // namespace

bool parseCommandLine(const QStringList& args, Invocation* inv, QString* error)
{
    const Options options;
    QCommandLineParser parser;
    // "-j" and "--json" alike; a word of several letters after one dash is one option, not several.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOptions(options.list());
    const bool parsed = parser.parse(QStringList { QStringLiteral("fpctl") } + args);
    const QStringList words = args.mid(0, args.indexOf(QStringLiteral("--")));
    *error = spellingError(options, words, &inv->json);
    if (!error->isEmpty())
        return false;
    if (!parsed) {
        *error = optionError(parser, options, words);
        return false;
    }
    inv->verbose = parser.isSet(options.verbose);
    inv->help = parser.isSet(options.help);
    inv->version = parser.isSet(options.version);

    const QStringList positional = parser.positionalArguments(); // command and arguments
    if (positional.isEmpty()) {
        if (inv->help || inv->version)
            return true;
        *error = QStringLiteral("no command given");
        return false;
    }
    const CommandInfo* info = findCommand(positional.first());
    if (!info) {
        *error = QStringLiteral("unknown command '%1'").arg(positional.first());
        return false;
    }
    inv->command = QLatin1String(info->name);
    inv->arguments = positional.mid(1);

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

    // The command's own options, in the order they were given.
    for (const QString& given : parser.optionNames()) {
        for (const QCommandLineOption& option : options.commandOptions()) {
            if (option.names().contains(given) && !commandTakes(inv->command, longName(option))) {
                *error = QStringLiteral("does not take the option %1").arg(longName(option));
                return false;
            }
        }
    }
    inv->all = parser.isSet(options.all);
    inv->yes = parser.isSet(options.yes);
    if (parser.isSet(options.timeout)) {
        bool ok = false;
        const int seconds = parser.value(options.timeout).toInt(&ok);
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
