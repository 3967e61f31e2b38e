#include "ControlInterpreter.h"

#include <QFile>
#include <QSaveFile>
#include <climits>

namespace fpsim
{

namespace
{
    bool fail(QString* error, const QString& why)
    {
        *error = why;
        return false;
    }

    bool parseInt(const QString& text, int* value, int min, int max)
    {
        bool ok = false;
        const int v = text.toInt(&ok);
        if (!ok || v < min || v > max)
            return false;
        *value = v;
        return true;
    }

    const char kHelp[]
        = "ping | info | status | state [N] | quit\n"
          "store list | store count | store add NAME [ID] | store remove NAME | store clear\n"
          "store load PATH | store save PATH | store capacity N\n"
          "finger press NAME [now|after=MS|next|waiting [delay=MS]] | finger unknown [the same]\n"
          "finger none | finger auto on|off\n"
          "fault KIND[=ARG] [code=CODE] [count=N] | fault list | fault clear\n"
          "  KIND: busy notready refuse progress malformed short oversize delay drop unplug stall fail importfail\n"
          "jobs | jobs save N PATH | jobs clear\n"
          "log | log clear | unplug | plug | device-id-delay [MS]";
} // namespace

ControlInterpreter::ControlInterpreter(PrinterEngine& engine)
    : m_engine(engine)
{
}

QByteArray ControlInterpreter::decodeName(const QString& text)
{
    return QByteArray::fromPercentEncoding(text.toUtf8());
}

QString ControlInterpreter::encodeName(const QByteArray& name) { return QString::fromLatin1(name.toPercentEncoding()); }

bool ControlInterpreter::execute(const QString& line, QStringList* lines, QString* error)
{
    const QString trimmed = line.trimmed();
    const QStringList words = trimmed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return fail(error, QStringLiteral("empty command"));
    const QString& verb = words.first();
    const QStringList args = words.mid(1);

    if (verb == QLatin1String("ping"))
        return true;
    if (verb == QLatin1String("help")) {
        *lines = QString::fromLatin1(kHelp).split(QLatin1Char('\n'));
        return true;
    }
    if (verb == QLatin1String("info")) {
        const PrinterConfig& c = m_engine.config();
        lines->append(QStringLiteral("model=%1").arg(QString::fromLatin1(c.model)));
        lines->append(QStringLiteral("serial=%1").arg(QString::fromLatin1(c.serial)));
        lines->append(QStringLiteral("deviceid=%1").arg(QString::fromLatin1(m_engine.deviceId())));
        return true;
    }
    if (verb == QLatin1String("status")) {
        lines->append(m_engine.describe());
        return true;
    }
    if (verb == QLatin1String("state")) {
        if (args.size() > 1)
            return fail(error, QStringLiteral("usage: state [N]"));
        if (args.size() == 1) {
            int v = 0;
            if (!parseInt(args[0], &v, 0, 255))
                return fail(error, QStringLiteral("state is a number 0-255"));
            m_engine.setAuthState(v);
        }
        lines->append(QStringLiteral("state=%1").arg(m_engine.authState()));
        return true;
    }
    if (verb == QLatin1String("store"))
        return store(args, lines, error);
    if (verb == QLatin1String("finger"))
        return finger(args, lines, error);
    if (verb == QLatin1String("fault"))
        return fault(args, trimmed.mid(verb.size()).trimmed(), lines, error);
    if (verb == QLatin1String("jobs"))
        return jobs(args, lines, error);
    if (verb == QLatin1String("log")) {
        if (args.value(0) == QLatin1String("clear")) {
            m_engine.clearFrameLog();
            return true;
        }
        if (!args.isEmpty())
            return fail(error, QStringLiteral("usage: log [clear]"));
        for (const FrameLogEntry& e : m_engine.frameLog())
            lines->append(e.toString());
        return true;
    }
    if (verb == QLatin1String("device-id-delay")) {
        int ms = 0;
        if (args.size() > 1 || (args.size() == 1 && !parseInt(args[0], &ms, 0, 60000)))
            return fail(error, QStringLiteral("usage: device-id-delay [MS], 0-60000"));
        if (args.size() == 1)
            m_engine.setDeviceIdDelay(ms);
        lines->append(QStringLiteral("device-id-delay=%1").arg(m_engine.deviceIdDelay()));
        return true;
    }
    if (verb == QLatin1String("unplug") || verb == QLatin1String("plug")) {
        m_engine.setUnplugged(verb == QLatin1String("unplug"));
        return true;
    }
    if (verb == QLatin1String("quit")) {
        if (m_quit)
            m_quit();
        return true;
    }
    return fail(error, QStringLiteral("unknown command '%1' (try help)").arg(verb));
}

bool ControlInterpreter::store(const QStringList& args, QStringList* lines, QString* error)
{
    const QString sub = args.value(0);
    if (sub == QLatin1String("list") && args.size() == 1) {
        for (const wire::Record& r : m_engine.records())
            lines->append(QStringLiteral("id=%1 name=%2").arg(r.id).arg(encodeName(r.name)));
        return true;
    }
    if (sub == QLatin1String("count") && args.size() == 1) {
        lines->append(QStringLiteral("count=%1 capacity=%2 next=%3")
                          .arg(m_engine.records().size())
                          .arg(m_engine.capacity())
                          .arg(m_engine.nextFreeId()));
        return true;
    }
    if (sub == QLatin1String("add") && (args.size() == 2 || args.size() == 3)) {
        const QByteArray name = decodeName(args[1]);
        int id = 0;
        if (args.size() == 3 && !parseInt(args[2], &id, 1, 65535))
            return fail(error, QStringLiteral("ID is a number 1-65535"));
        if (name.isEmpty() || name.size() > wire::NameSize)
            return fail(error, QStringLiteral("a name has 1 to 32 bytes"));
        const auto record = m_engine.addUser(name, quint16(id));
        if (!record)
            return fail(error, QStringLiteral("store full"));
        lines->append(QStringLiteral("id=%1 name=%2").arg(record->id).arg(encodeName(record->name)));
        return true;
    }
    if (sub == QLatin1String("remove") && args.size() == 2) {
        if (!m_engine.removeUser(decodeName(args[1])))
            return fail(error, QStringLiteral("not enrolled"));
        return true;
    }
    if (sub == QLatin1String("clear") && args.size() == 1) {
        m_engine.clearStore();
        return true;
    }
    if (sub == QLatin1String("capacity") && args.size() == 2) {
        int n = 0;
        if (!parseInt(args[1], &n, 0, 65535))
            return fail(error, QStringLiteral("capacity is a number 0-65535"));
        m_engine.setCapacity(n);
        return true;
    }
    if (sub == QLatin1String("load") && args.size() == 2) {
        QFile file(args[1]);
        if (!file.open(QIODevice::ReadOnly))
            return fail(error, QStringLiteral("cannot read %1").arg(args[1]));
        QString why;
        if (!m_engine.loadStore(file.readAll(), &why))
            return fail(error, QStringLiteral("bad store file: %1").arg(why));
        lines->append(QStringLiteral("count=%1").arg(m_engine.records().size()));
        return true;
    }
    if (sub == QLatin1String("save") && args.size() == 2) {
        QSaveFile file(args[1]);
        if (!file.open(QIODevice::WriteOnly) || file.write(m_engine.storeBytes()) < 0 || !file.commit())
            return fail(error, QStringLiteral("cannot write %1").arg(args[1]));
        return true;
    }
    return fail(error,
        QStringLiteral("usage: store list|count|add NAME [ID]|remove NAME|clear|load PATH|save PATH|capacity N"));
}

bool ControlInterpreter::jobs(const QStringList& args, QStringList* lines, QString* error)
{
    if (args.isEmpty()) {
        for (const PrintJob& j : m_engine.jobs())
            lines->append(j.toString());
        return true;
    }
    if (args[0] == QLatin1String("clear") && args.size() == 1) {
        m_engine.clearJobs();
        return true;
    }
    if (args[0] == QLatin1String("save") && args.size() >= 3) {
        const QString path = args.mid(2).join(QLatin1Char(' '));
        int id = 0;
        if (!parseInt(args[1], &id, 1, INT_MAX))
            return fail(error, QStringLiteral("a job number is 1 or more"));
        const auto job = m_engine.job(id);
        if (!job)
            return fail(error, QStringLiteral("no job %1").arg(id));
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(job->data) != job->data.size() || !file.commit())
            return fail(error, QStringLiteral("cannot write %1").arg(path));
        lines->append(job->toString());
        return true;
    }
    return fail(error, QStringLiteral("usage: jobs | jobs save N PATH | jobs clear"));
}

bool ControlInterpreter::finger(const QStringList& args, QStringList* lines, QString* error)
{
    const QString sub = args.value(0);
    if (sub == QLatin1String("none") && args.size() == 1) {
        m_engine.clearFingerScript();
        return true;
    }
    if (sub == QLatin1String("auto") && args.size() == 2
        && (args[1] == QLatin1String("on") || args[1] == QLatin1String("off"))) {
        m_engine.setAutoFinger(args[1] == QLatin1String("on"));
        return true;
    }
    FingerPress press;
    int next = 0;
    if (sub == QLatin1String("press") && args.size() >= 2) {
        press.who = FingerPress::Who::User;
        press.user = decodeName(args[1]);
        if (press.user.isEmpty())
            return fail(error, QStringLiteral("missing user name"));
        next = 2;
    } else if (sub == QLatin1String("unknown")) {
        press.who = FingerPress::Who::Unknown;
        next = 1;
    } else {
        return fail(error,
            QStringLiteral(
                "usage: finger press NAME [when] | finger unknown [when] | finger none | finger auto on|off"));
    }
    press.when = FingerPress::When::Now;
    press.delayMs = -1;
    for (int i = next; i < args.size(); ++i) {
        const QString& w = args[i];
        int ms = 0;
        if (w == QLatin1String("now")) {
            press.when = FingerPress::When::Now;
        } else if (w == QLatin1String("next")) {
            press.when = FingerPress::When::NextWait;
        } else if (w == QLatin1String("waiting")) {
            press.when = FingerPress::When::Waiting;
        } else if (w.startsWith(QLatin1String("after=")) && parseInt(w.mid(6), &ms, 0, 86400000)) {
            press.when = FingerPress::When::AfterDelay;
            press.delayMs = ms;
        } else if (w.startsWith(QLatin1String("delay=")) && parseInt(w.mid(6), &ms, 0, 86400000)) {
            press.delayMs = ms;
        } else {
            return fail(error, QStringLiteral("bad word '%1': now, next, waiting, after=MS or delay=MS").arg(w));
        }
    }
    m_engine.pressFinger(press);
    Q_UNUSED(lines);
    return true;
}

bool ControlInterpreter::fault(const QStringList& args, const QString& rest, QStringList* lines, QString* error)
{
    if (args.value(0) == QLatin1String("clear") && args.size() == 1) {
        m_engine.clearFaults();
        return true;
    }
    if (args.value(0) == QLatin1String("list") && args.size() == 1) {
        for (const FaultRule& r : m_engine.faults())
            lines->append(r.toString());
        return true;
    }
    QString why;
    const auto rule = FaultRule::parse(rest, &why);
    if (!rule)
        return fail(error, why);
    m_engine.addFault(*rule);
    return true;
}

} // namespace fpsim
