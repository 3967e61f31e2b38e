#include "VerifyArgument.h"

#include <QUrl>
#include <QUrlQuery>

namespace
{

// The printer is the text after the first "://" up to the first "?" after its first character.
QString printerOf(const QString& argument)
{
    const int scheme = argument.indexOf(QLatin1String("://"));
    const QString rest = scheme < 0 ? argument : argument.mid(scheme + 3);
    const int query = rest.indexOf(QLatin1Char('?'), 1);
    return query < 0 ? rest : rest.left(query);
}

int decimalItem(const QUrlQuery& query, const QString& key, int fallback)
{
    bool ok = false;
    const int value = query.queryItemValue(key, QUrl::FullyDecoded).toInt(&ok, 10);
    return ok ? value : fallback;
}

} // namespace

VerifyArgument parseVerifyArgument(const QString& argument)
{
    VerifyArgument parsed;
    parsed.printer = printerOf(argument);
    const QUrlQuery query(QUrl(argument, QUrl::TolerantMode));
    parsed.jobId = decimalItem(query, QStringLiteral("jobid"), 0);
    parsed.seconds = decimalItem(query, QStringLiteral("time_val"), kDefaultVerifySeconds);
    if (parsed.seconds <= 9)
        parsed.seconds = kDefaultVerifySeconds;
    return parsed;
}
