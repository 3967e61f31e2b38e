#include "OutcomeWriter.h"

#include <QJsonDocument>

QByteArray errorLine(const QString& command, const QString& message)
{
    QString line = command.isEmpty() ? QStringLiteral("fpctl: %1").arg(message)
                                     : QStringLiteral("fpctl: %1: %2").arg(command, message);
    // One line, whatever a name or a file name held.
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line.toUtf8() + '\n';
}

WrittenOutcome writeOutcome(const QString& command, bool json, const Outcome& outcome)
{
    WrittenOutcome written;
    if (!outcome.error.isEmpty())
        written.err = errorLine(command, outcome.error);
    if (!json) {
        for (const QString& line : outcome.lines)
            written.out += line.toUtf8() + '\n';
        return written;
    }
    QJsonObject object = outcome.data;
    object.insert(QStringLiteral("command"), command);
    object.insert(QStringLiteral("ok"), outcome.ok());
    object.insert(QStringLiteral("exit_code"), static_cast<int>(outcome.exitCode));
    if (!outcome.ok()) {
        object.insert(QStringLiteral("error_kind"),
            outcome.errorKind.isEmpty() ? exitCodeName(outcome.exitCode) : outcome.errorKind);
        if (!outcome.error.isEmpty())
            object.insert(QStringLiteral("error"), outcome.error);
    }
    if (outcome.libraryCode != INT_MIN)
        object.insert(QStringLiteral("library_code"), outcome.libraryCode);
    written.out = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return written;
}
