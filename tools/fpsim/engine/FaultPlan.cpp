#include "FaultPlan.h"

#include <QStringList>

namespace fpsim
{

namespace
{
    struct KindName {
        FaultKind kind;
        const char* name;
    };
    constexpr KindName kKindNames[] = {
        { FaultKind::Busy, "busy" },
        { FaultKind::NotReady, "notready" },
        { FaultKind::Refuse, "refuse" },
        { FaultKind::Progress, "progress" },
        { FaultKind::Malformed, "malformed" },
        { FaultKind::Short, "short" },
        { FaultKind::Oversize, "oversize" },
        { FaultKind::Delay, "delay" },
        { FaultKind::Drop, "drop" },
        { FaultKind::Unplug, "unplug" },
        { FaultKind::StallBulk, "stall" },
        { FaultKind::Fail, "fail" },
    };
} // namespace

QString faultKindName(FaultKind kind)
{
    for (const KindName& k : kKindNames) {
        if (k.kind == kind)
            return QString::fromLatin1(k.name);
    }
    return QStringLiteral("?");
}

QString FaultRule::toString() const
{
    QString text = faultKindName(kind);
    if (argument >= 0)
        text += QStringLiteral("=%1").arg(argument);
    if (!code.isEmpty())
        text += QStringLiteral(" code=%1").arg(QString::fromLatin1(code));
    text += QStringLiteral(" count=%1").arg(remaining);
    return text;
}

std::optional<FaultRule> FaultRule::parse(const QString& text, QString* error)
{
    auto fail = [error](const QString& why) -> std::optional<FaultRule> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return fail(QStringLiteral("missing fault kind"));
    FaultRule rule;
    QString kindWord = words.first();
    QString argText;
    const int eq = kindWord.indexOf(QLatin1Char('='));
    if (eq >= 0) {
        argText = kindWord.mid(eq + 1);
        kindWord = kindWord.left(eq);
    }
    bool known = false;
    if (kindWord == QLatin1String("importfail")) {
        rule.kind = FaultKind::Fail;
        rule.code = "IMPT";
        known = true;
    }
    for (const KindName& k : kKindNames) {
        if (kindWord == QLatin1String(k.name)) {
            rule.kind = k.kind;
            known = true;
        }
    }
    if (!known)
        return fail(QStringLiteral("unknown fault kind '%1'").arg(kindWord));
    if (!argText.isEmpty()) {
        bool ok = false;
        rule.argument = argText.toInt(&ok);
        if (!ok || rule.argument < 0)
            return fail(QStringLiteral("bad fault argument '%1'").arg(argText));
    }
    for (int i = 1; i < words.size(); ++i) {
        const QString& w = words[i];
        if (w.startsWith(QLatin1String("code="))) {
            const QByteArray code = w.mid(5).toLatin1();
            if (code.size() != 4 && code != "any")
                return fail(QStringLiteral("a code has four letters: '%1'").arg(w.mid(5)));
            rule.code = code == "any" ? QByteArray() : code;
        } else if (w.startsWith(QLatin1String("count="))) {
            bool ok = false;
            rule.remaining = w.mid(6).toInt(&ok);
            if (!ok || rule.remaining < 0)
                return fail(QStringLiteral("bad count '%1'").arg(w.mid(6)));
        } else {
            return fail(QStringLiteral("unexpected word '%1'").arg(w));
        }
    }
    return rule;
}

QList<FaultRule> FaultPlan::take(const QByteArray& code)
{
    QList<FaultRule> hits;
    for (int i = 0; i < m_rules.size();) {
        FaultRule& rule = m_rules[i];
        if (!rule.code.isEmpty() && rule.code != code) {
            ++i;
            continue;
        }
        hits.append(rule);
        if (rule.remaining > 0 && --rule.remaining == 0) {
            m_rules.removeAt(i);
            continue;
        }
        ++i;
    }
    return hits;
}

} // namespace fpsim
