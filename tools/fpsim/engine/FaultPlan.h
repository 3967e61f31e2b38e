#pragma once
// Faults the simulated printer can be told to commit, each for frames of one command code (or any
// code) and for a number of matching frames.

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace fpsim
{

enum class FaultKind {
    Busy, // answer 'B' instead of executing the command
    NotReady, // answer 'N' `argument` times (default 1) before the real answer
    Refuse, // answer with a refusal instead of executing the command
    Progress, // send `argument` progress packets (default 1) before the answer
    Malformed, // the answer's code is not "STA\0"
    Short, // the answer is cut to `argument` bytes (default 5)
    Oversize, // `argument` junk bytes (default 32) follow the answer
    Delay, // the answer is held back `argument` ms (default 1000)
    Drop, // no answer; the network connection is closed (over USB: the device is unplugged)
    Unplug, // the device disappears (USB: ENODEV; network: nothing listens) until plugged again
    StallBulk, // the bulk transfers of the import or export started by this command never move
    Fail, // the operation started by this command ends with status 2 (verification, enrolment, import)
};

struct FaultRule {
    FaultKind kind = FaultKind::Busy;
    int argument = -1; // -1: the kind's default
    QByteArray code; // four letters; empty matches every frame
    int remaining = 1; // matching frames still to hit; 0 = every matching frame until cleared

    int argumentOr(int fallback) const { return argument >= 0 ? argument : fallback; }
    // Text form, as parsed by parse(): "KIND[=ARG] [code=CODE] [count=N]".
    QString toString() const;
    // Parses the text form. KIND is one of busy, notready, refuse, progress, malformed, short,
    // oversize, delay, drop, unplug, stall, fail; "importfail" is "fail code=IMPT".
    static std::optional<FaultRule> parse(const QString& text, QString* error = nullptr);
};

QString faultKindName(FaultKind kind);

class FaultPlan
{
public:
    void add(const FaultRule& rule) { m_rules.append(rule); }
    void clear() { m_rules.clear(); }
    const QList<FaultRule>& rules() const { return m_rules; }
    // Rules that apply to a frame with `code`, each counted once; used-up rules are removed.
    QList<FaultRule> take(const QByteArray& code);

private:
    QList<FaultRule> m_rules;
};

} // namespace fpsim
