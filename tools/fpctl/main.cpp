// fpctl: the administrator's command-line tool for the fingerprint authentication of printers.

#include "cli/CommandLine.h"
#include "cli/HelpText.h"
#include "cli/OutcomeWriter.h"
#include "commands/Fpctl.h"
#include "library/LinkedLibrary.h"
#include "system/InterruptWatcher.h"
#include "system/Terminal.h"

#include <QCoreApplication>
#include <QStringDecoder>

int main(int argc, char** argv)
{
    Terminal terminal;

    // Arguments are taken as UTF-8, strictly: a user name must reach the printer as typed.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        const QString arg = utf8(QByteArrayView(argv[i]));
        if (utf8.hasError()) {
            terminal.writeErr(errorLine(QString(), QStringLiteral("argument %1 is not valid UTF-8").arg(i)));
            return static_cast<int>(ExitCode::Usage);
        }
        args << arg;
    }

    Invocation invocation;
    QString error;
    if (!parseCommandLine(args, &invocation, &error)) {
        Outcome outcome;
        outcome.fail(ExitCode::Usage,
            error
                + (invocation.command.isEmpty() ? QStringLiteral(" (see 'fpctl --help')")
                                                : QStringLiteral(" (see 'fpctl %1 --help')").arg(invocation.command)));
        const WrittenOutcome written = writeOutcome(invocation.command, invocation.json, outcome);
        terminal.writeOut(written.out);
        terminal.writeErr(written.err);
        return static_cast<int>(ExitCode::Usage);
    }
    if (invocation.version) {
        terminal.writeOut(versionText().toUtf8());
        return 0;
    }
    if (invocation.help) {
        terminal.writeOut((invocation.command.isEmpty() ? manualText() : commandHelp(invocation.command)).toUtf8());
        return 0;
    }

    if (!invocation.verbose)
        terminal.silenceDiagnostics();
    terminal.setPromptsToStderr(invocation.json);
    // A status line only for a person at a terminal: never in JSON output, and not among the
    // library's diagnostic lines.
    terminal.showWaits(terminal.errorIsTerminal() && !invocation.json && !invocation.verbose);
    QCoreApplication app(argc, argv);

    LinkedLibrary library;
    Fpctl fpctl(library, terminal);
    InterruptWatcher interrupts;
    if (invocation.command == QLatin1String("verify"))
        interrupts.start([&fpctl] { fpctl.requestCancel(); }, terminal.errorDescriptor());

    const Outcome outcome = fpctl.run(invocation);
    const WrittenOutcome written = writeOutcome(invocation.command, invocation.json, outcome);
    terminal.writeOut(written.out);
    terminal.writeErr(written.err);
    return static_cast<int>(outcome.exitCode);
}
