#include "HelpText.h"

#include "CommandLine.h"

namespace
{

const char kPrinterText[]
    = "PRINTER is a CUPS queue name (its device URI is looked up through CUPS, and the queue must be of\n"
      "the supported model, ZPH6100RMX) or a device URI such as usb://Maker/ZPH6100RMX?serial=ABC123 or\n"
      "socket://192.168.1.20.\n";

const char kExitCodes[] = "EXIT CODES\n"
                          "  0  success\n"
                          "  1  the printer refused the command or reported a failure\n"
                          "  2  bad usage: unknown command or option, wrong arguments, a name that cannot be sent\n"
                          "  3  not enrolled: the name has no fingerprint, or verify identified nobody\n"
                          "  4  the printer's fingerprint unit is busy\n"
                          "  5  printer not found or not reachable (no such queue, not a supported model, no answer)\n"
                          "  6  time-out\n"
                          "  7  cancelled (Ctrl-C, or delete-all not confirmed)\n"
                          "  8  file error: a data file is missing, unreadable, malformed or cannot be written\n";

struct CommandText {
    const char* name;
    const char* usage;
    const char* text;
};

const CommandText kCommands[] = {
    { "printers", "fpctl printers [--all]",
        "Lists the supported printers attached by USB, as the library finds them through CUPS: queue\n"
        "name and device URI. Printers that are switched off are listed too. When a queue prints\n"
        "through the fingerprint backend (device URI 'vrkt7x:' followed by the printer's own URI),\n"
        "a BACKEND column says so ('vrkt7x'); the DEVICE URI is always the printer's own.\n"
        "\n"
        "  -a, --all   list every CUPS queue instead, with its model, device URI, connection (usb or\n"
        "              network) and whether it is of the supported model; '*' marks the default queue\n" },
    { "status", "fpctl status PRINTER",
        "Shows whether fingerprint authentication is on (print jobs wait for a finger), off, or whether\n"
        "the fingerprint unit is busy. Exits 0 whenever the printer answered.\n" },
    { "on", "fpctl on PRINTER",
        "Switches fingerprint authentication on: from now on the printer holds every job until an\n"
        "enrolled finger is pressed on its reader.\n" },
    { "off", "fpctl off PRINTER", "Switches fingerprint authentication off.\n" },
    { "enrol", "fpctl enrol PRINTER NAME",
        "Enrols a finger for NAME in two steps: press the finger on the printer's reader when asked,\n"
        "lift it, and press it again. Each step waits up to about 30 seconds for the press. NAME is\n"
        "typed in UTF-8 and stored in the printer in GB18030, where it may take at most 32 bytes\n"
        "(for example 32 Latin letters or 16 Chinese characters); longer names are refused before the\n"
        "printer is touched. Also spelt 'enroll'.\n" },
    { "check", "fpctl check PRINTER NAME",
        "Tells whether NAME has an enrolled fingerprint on the printer. Exits 0 when it has, 3 when\n"
        "it has not.\n" },
    { "delete", "fpctl delete PRINTER NAME",
        "Deletes the fingerprints of NAME. Exits 3 when the printer does not know the name.\n" },
    { "delete-all", "fpctl delete-all PRINTER [--yes]",
        "Deletes every fingerprint stored in the printer. Asks for confirmation on standard input\n"
        "first ('y' or 'yes'); anything else, or the end of input, cancels (exit code 7).\n"
        "\n"
        "  -y, --yes   do not ask\n" },
    { "export", "fpctl export PRINTER FILE",
        "Saves every fingerprint record of a USB printer to FILE (a fingerprint data file, *.fdl).\n"
        "Waiting for the printer may take minutes when it holds many records. An existing FILE is\n"
        "replaced only once the new one is complete; when the printer holds no fingerprints, FILE is\n"
        "not touched (exit code 0, reported as 0 records).\n" },
    { "import", "fpctl import PRINTER FILE",
        "Loads the fingerprint records of FILE into the printer and waits until the printer has\n"
        "taken them (up to about 3 minutes). FILE must be a fingerprint data file: whole 546-byte\n"
        "records, at least one; anything else is refused before the printer is touched.\n" },
    { "records", "fpctl records FILE",
        "Lists the records of a fingerprint data file (*.fdl): the ID and the user name of each, in\n"
        "file order. No printer is touched. Bytes after the last whole record are reported.\n" },
    { "verify", "fpctl verify PRINTER [--timeout SECONDS]",
        "Waits for a finger on the printer's reader the way a print job does, and tells whose finger\n"
        "it was. Authentication must be switched on. Ctrl-C (or SIGTERM) cancels the wait cleanly:\n"
        "the printer is told to stop waiting, which takes up to 5 seconds; a second Ctrl-C quits at\n"
        "once. Exits 0 when an enrolled user was identified, 3 when nobody was, 6 on time-out, 7 when\n"
        "cancelled.\n"
        "\n"
        "  -t, --timeout SECONDS   give up after SECONDS (1 to 45; default 45; the printer's own\n"
        "                          limit is about 50 seconds)\n" },
    { "help", "fpctl help [COMMAND]", "Shows the manual, or the help of one command.\n" },
};

const CommandText* findText(const QString& command)
{
    for (const CommandText& text : kCommands) {
        if (command == QLatin1String(text.name))
            return &text;
    }
    return nullptr;
}

} // namespace

QString manualText()
{
    QString text = QStringLiteral("fpctl - administer the fingerprint authentication of ZPH6100RMX printers\n"
                                  "\n"
                                  "USAGE\n"
                                  "  fpctl [--json] [--verbose] COMMAND [OPTIONS] ARGUMENTS...\n"
                                  "  fpctl COMMAND --help\n"
                                  "\n"
                                  "COMMANDS\n");
    for (const CommandInfo& info : commandList()) {
        QString head
            = QStringLiteral("  %1 %2").arg(QLatin1String(info.name), info.argumentNames.join(QLatin1Char(' ')));
        text += head.leftJustified(30) + QLatin1String(info.summary) + QLatin1Char('\n');
    }
    text += QStringLiteral(
        "\n"
        "GLOBAL OPTIONS\n"
        "  -j, --json      print one JSON object on standard output instead of text (errors are\n"
        "                  still also written to standard error); prompts go to standard error\n"
        "  -v, --verbose   let the library's diagnostic lines through to standard error\n"
        "  -h, --help      show this manual, or the help of the command\n"
        "      --version   show the version\n"
        "  --              end of options: what follows are arguments, even when they start with '-'\n"
        "\n");
    text += QLatin1String(kPrinterText);
    text += QStringLiteral(
        "\n"
        "User names are typed in UTF-8 and cross to the printer in GB18030, at most 32 bytes.\n"
        "\n"
        "OUTPUT\n"
        "  Answers go to standard output; each error is one line on standard error, of the form\n"
        "  'fpctl: COMMAND: message'. With --json, standard output carries one object with at least\n"
        "  \"command\", \"ok\" and \"exit_code\", plus \"error\" and \"error_kind\" on failure and\n"
        "  \"library_code\" when the library reported one.\n"
        "  While enrol, export or import wait for the printer, and standard error is a terminal, one\n"
        "  line there says what is awaited and for how long ('waiting for the printer's records… 0:42');\n"
        "  it is wiped before the answer. Not with --json or --verbose, and never when standard error\n"
        "  is not a terminal.\n"
        "\n");
    text += QLatin1String(kExitCodes);
    text += QStringLiteral("\n"
                           "FILES\n"
                           "  fpctl talks to printers through libvrkt7xcommon, which it is linked against. The USB\n"
                           "  transport takes the lock files /tmp/.vrkt_lock and /tmp/.scanner_lock into account.\n"
                           "\n"
                           "EXAMPLES\n"
                           "  fpctl printers\n"
                           "  fpctl on ZPH6100RMX\n"
                           "  fpctl enrol ZPH6100RMX alice\n"
                           "  fpctl export ZPH6100RMX backup.fdl && fpctl records backup.fdl\n"
                           "  fpctl --json check usb://Maker/ZPH6100RMX?serial=ABC123 alice\n");
    return text;
}

QString commandHelp(const QString& command)
{
    const CommandText* text = findText(command);
    if (!text)
        return manualText();
    QString help = QStringLiteral("usage: %1\n\n%2").arg(QLatin1String(text->usage), QLatin1String(text->text));
    const CommandInfo* info = findCommand(command);
    if (info && info->argumentNames.contains(QStringLiteral("PRINTER")))
        help += QLatin1Char('\n') + QLatin1String(kPrinterText);
    help += QStringLiteral("\nGlobal options: --json, --verbose, --help. Exit codes: see 'fpctl --help'.\n");
    return help;
}

QString versionText() { return QStringLiteral("fpctl %1\n").arg(QStringLiteral(FPCTL_VERSION)); }
