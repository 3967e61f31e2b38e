#include "PrinterEngine.h"

#include <QCryptographicHash>
#include <QMutexLocker>

namespace fpsim
{

namespace
{
    constexpr int kLogLimit = 20000;

    const char* operationName(int op)
    {
        static const char* names[] = { "none", "verify", "enrol-first", "enrol-second", "import", "export" };
        return names[op];
    }
} // namespace

QString FrameLogEntry::toString() const
{
    const QString code = bytes.size() >= 4 ? wire::codeText(bytes.left(4)) : QStringLiteral("-");
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(timeMs)
        .arg(via, code, bytes.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(bytes.left(64).toHex()), verdict);
}

PrinterEngine::PrinterEngine(const PrinterConfig& config, SimClock& clock)
    : m_config(config)
    , m_clock(clock)
    , m_store(config.capacity)
    , m_autoFinger(config.autoFinger)
    , m_random(config.seed)
{
}

// ---------------------------------------------------------------------------------------------
// Time

void PrinterEngine::advance(qint64 now)
{
    for (;;) {
        enum { None, Press, Auto, Import, Export, VerifyTimeout } kind = None;
        qint64 at = now + 1;
        int pressIndex = -1;
        for (int i = 0; i < m_presses.size(); ++i) {
            if (m_presses[i].atMs >= 0 && m_presses[i].atMs < at) {
                at = m_presses[i].atMs;
                kind = Press;
                pressIndex = i;
            }
        }
        if (m_waiting && m_autoPressAt >= 0 && m_autoPressAt < at) {
            at = m_autoPressAt;
            kind = Auto;
        }
        if (m_importDoneAt >= 0 && m_importDoneAt < at) {
            at = m_importDoneAt;
            kind = Import;
        }
        if (m_exportReadyAt >= 0 && m_exportReadyAt < at) {
            at = m_exportReadyAt;
            kind = Export;
        }
        if (m_waiting && m_verifyDeadline >= 0 && m_verifyDeadline < at) {
            at = m_verifyDeadline;
            kind = VerifyTimeout;
        }
        switch (kind) {
        case None:
            return;
        case Press: {
            const ScheduledPress press = m_presses.takeAt(pressIndex);
            if (m_waiting)
                applyPress(press.who, press.user, at);
            else
                log(at, QStringLiteral("finger"), QByteArray(),
                    QStringLiteral("finger of '%1' pressed while the reader was idle: ignored")
                        .arg(QString::fromLatin1(press.user)));
            break;
        }
        case Auto: {
            m_autoPressAt = -1;
            if (m_operation == Operation::Verify) {
                if (!m_store.records().isEmpty())
                    applyPress(FingerPress::Who::User, m_store.records().first().name, at);
                else
                    applyPress(FingerPress::Who::Unknown, QByteArray(), at);
            } else {
                applyPress(FingerPress::Who::User, m_enrolName, at);
            }
            break;
        }
        case VerifyTimeout:
            m_verifyDeadline = -1;
            m_waiting = false;
            m_autoPressAt = -1;
            m_status = 2;
            log(at, QStringLiteral("finger"), QByteArray(), QStringLiteral("no finger: the verification wait ran out"));
            decideJob(JobState::Dropped, at, QStringLiteral("the verification wait ran out"));
            break;
        case Import:
            m_importDoneAt = -1;
            finishImport(at);
            break;
        case Export: {
            m_exportReadyAt = -1;
            QByteArray data;
            for (const wire::Record& r : m_exportSnapshot)
                data.append(wire::encodeRecord(r));
            m_bulkIn.clear();
            m_bulkIn.append(
                wire::statusRecord(wire::AckAccepted, quint16(m_exportSnapshot.size()), 0, wire::CodeExport));
            m_bulkIn.append(data);
            m_exportSnapshot.clear();
            log(at, QStringLiteral("export"), QByteArray(), QStringLiteral("export record ready"));
            break;
        }
        }
    }
}

void PrinterEngine::startWaiting(qint64 now)
{
    m_waiting = true;
    m_autoPressAt = -1;
    m_verifyDeadline
        = m_operation == Operation::Verify && m_config.verifyTimeoutMs > 0 ? now + m_config.verifyTimeoutMs : -1;
    for (ScheduledPress& p : m_presses) {
        if (p.atMs < 0) {
            p.atMs = now + qMax(0, p.delayAfterWait);
            break; // one scripted press per wait
        }
    }
    if (m_autoFinger) {
        const int lo = qMax(0, m_config.autoFingerMinMs);
        const int hi = qMax(lo, m_config.autoFingerMaxMs);
        m_autoPressAt = now + lo + (hi > lo ? int(m_random.bounded(hi - lo + 1)) : 0);
    }
}

QByteArray PrinterEngine::fingerTemplateOf(const QByteArray& user)
{
    QByteArray feature;
    for (int block = 0; feature.size() < wire::TemplateSize; ++block) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(QByteArrayLiteral("fpsim finger "));
        hash.addData(user);
        hash.addData(QByteArray::number(block));
        feature.append(hash.result());
    }
    return feature.left(wire::TemplateSize);
}

QByteArray PrinterEngine::templateForPress(FingerPress::Who who, const QByteArray& user)
{
    if (who == FingerPress::Who::Unknown)
        return fingerTemplateOf(QByteArrayLiteral("\x01unknown finger ") + QByteArray::number(++m_unknownFingers));
    if (const auto enrolled = m_store.findByName(user))
        return enrolled->feature;
    return fingerTemplateOf(user);
}

void PrinterEngine::applyPress(FingerPress::Who who, const QByteArray& user, qint64 at)
{
    const QByteArray feature = templateForPress(who, user);
    const QString whose = who == FingerPress::Who::Unknown
        ? QStringLiteral("an unknown finger")
        : QStringLiteral("finger of '%1'").arg(QString::fromLatin1(user));
    m_waiting = false;
    m_autoPressAt = -1;
    m_verifyDeadline = -1;
    QString outcome;
    switch (m_operation) {
    case Operation::Verify: {
        const auto match = m_store.findByFeature(feature);
        if (match && !m_failInjected) {
            m_status = 1;
            m_result = match;
            outcome = QStringLiteral("matched '%1' (ID %2)").arg(QString::fromLatin1(match->name)).arg(match->id);
        } else {
            m_status = 2;
            outcome = QStringLiteral("no match");
        }
        log(at, QStringLiteral("finger"), QByteArray(), whose + QStringLiteral(": ") + outcome);
        decideJob(m_status == 1 ? JobState::Printed : JobState::Dropped, at, outcome);
        return;
    }
    case Operation::EnrolFirst:
        m_firstTemplate = feature;
        m_status = m_failInjected ? 2 : 1;
        outcome = m_status == 1 ? QStringLiteral("first press taken") : QStringLiteral("first press failed");
        break;
    case Operation::EnrolSecond: {
        if (m_failInjected) {
            m_status = 2;
            outcome = QStringLiteral("enrolment failed (fault)");
        } else if (feature != m_firstTemplate) {
            m_status = 2;
            outcome = QStringLiteral("enrolment failed: the two presses differ");
        } else if (const auto stored = m_store.put(m_enrolName, feature)) {
            m_status = 1;
            m_result = stored;
            outcome = QStringLiteral("enrolled '%1' as ID %2").arg(QString::fromLatin1(stored->name)).arg(stored->id);
        } else {
            m_status = 2;
            outcome = QStringLiteral("enrolment failed: the store is full");
        }
        break;
    }
    default:
        outcome = QStringLiteral("ignored");
        break;
    }
    log(at, QStringLiteral("finger"), QByteArray(), whose + QStringLiteral(": ") + outcome);
}

void PrinterEngine::finishImport(qint64 now)
{
    const int num = (m_importExpected - wire::HeaderSize) / wire::RecordSize;
    QString outcome;
    QList<wire::Record> records;
    bool ok = !m_failInjected;
    if (!ok)
        outcome = QStringLiteral("import failed (fault)");
    wire::Header h;
    if (ok && (!wire::parseHeader(m_importStream, &h) || h.code != "IMPT" || h.importCount() != num)) {
        ok = false;
        outcome = QStringLiteral("import failed: the stream does not start with the IMPT header");
    }
    for (int i = 0; ok && i < num; ++i) {
        wire::Record r = wire::decodeRecord(m_importStream.constData() + wire::HeaderSize + i * wire::RecordSize);
        if (r.name.isEmpty()) {
            ok = false;
            outcome = QStringLiteral("import failed: record %1 has no name").arg(i);
        }
        records.append(r);
    }
    if (ok && !m_store.putAll(records)) {
        ok = false;
        outcome = QStringLiteral("import failed: the store is full");
    }
    if (ok)
        outcome = QStringLiteral("imported %1 records").arg(num);
    m_status = ok ? 1 : 2;
    m_importStream.clear();
    log(now, QStringLiteral("import"), QByteArray(), outcome);
}

// ---------------------------------------------------------------------------------------------
// Frames

void PrinterEngine::startOperation(Operation op)
{
    m_operation = op;
    m_status = 0;
    m_waiting = false;
    m_autoPressAt = -1;
    m_verifyDeadline = -1;
    m_result.reset();
    m_failInjected = false;
    m_importStream.clear();
    m_importExpected = 0;
    m_importDoneAt = -1;
}

QByteArray PrinterEngine::refuse(QString* verdict, const QString& why)
{
    *verdict = QStringLiteral("refused: ") + why;
    return wire::statusRecord(wire::AckRefused, 0, 0);
}

QByteArray PrinterEngine::execute(
    const wire::Header& h, const QByteArray& frame, bool failInjected, qint64 now, QString* verdict)
{
    const QByteArray& code = h.code;
    const int expected = wire::expectedFrameSize(h);
    const bool hasNamePayload
        = expected > wire::HeaderSize || code == "CHCK" || code == "ADDF" || (code == "DELE" && h.deleteMode() == 0);
    static const QList<QByteArray> known
        = { "FING", "CHCK", "DELE", "CANL", "DISC", "STUS", "GETR", "ADDF", "ADDS", "IMPT", "EXPT" };
    if (!known.contains(code))
        return refuse(verdict, QStringLiteral("unknown code"));
    if (frame.size() < expected)
        return refuse(verdict, QStringLiteral("payload cut short (%1 of %2 bytes)").arg(frame.size()).arg(expected));
    if (frame.size() > expected)
        return refuse(verdict, QStringLiteral("wrong length (%1 bytes, %2 expected)").arg(frame.size()).arg(expected));
    if (hasNamePayload && h.length() > wire::NameSize)
        return refuse(verdict, QStringLiteral("name longer than 32 bytes"));
    const QByteArray name = frame.mid(wire::HeaderSize);
    *verdict = QStringLiteral("accepted");

    if (code == "FING") {
        if (h.funcMode() == 'R') {
            *verdict = QStringLiteral("accepted: state %1").arg(m_authState);
            return wire::statusRecord(wire::AckAccepted, 0, quint8(m_authState));
        }
        if (h.funcMode() == 'W') {
            if (h.funcValue() > 1)
                return refuse(verdict, QStringLiteral("state %1 cannot be set").arg(h.funcValue()));
            m_authState = h.funcValue();
            *verdict = QStringLiteral("accepted: state set to %1").arg(m_authState);
            return wire::statusRecord(wire::AckAccepted, 0, quint8(m_authState));
        }
        return refuse(verdict, QStringLiteral("unknown FING mode"));
    }
    if (code == "CHCK") {
        const bool enrolled = !name.isEmpty() && m_store.findByName(name).has_value();
        *verdict = enrolled ? QStringLiteral("accepted: enrolled") : QStringLiteral("accepted: not enrolled");
        return wire::statusRecord(wire::AckAccepted, 0, enrolled ? 1 : 0);
    }
    if (code == "DELE") {
        if (h.deleteMode() == 1) {
            *verdict = QStringLiteral("accepted: deleted all %1 records").arg(m_store.count());
            m_store.clear();
            return wire::statusRecord(wire::AckAccepted, 0, 0);
        }
        if (h.deleteMode() != 0)
            return refuse(verdict, QStringLiteral("unknown DELE mode"));
        if (name.isEmpty() || !m_store.remove(name))
            return refuse(verdict, QStringLiteral("user not enrolled"));
        *verdict = QStringLiteral("accepted: deleted");
        return wire::statusRecord(wire::AckAccepted, 0, 0);
    }
    if (code == "CANL") {
        if (m_operation == Operation::Verify && m_status == 0)
            decideJob(JobState::Dropped, now, QStringLiteral("verification cancelled"));
        else
            cancelHeldJob(now);
        startOperation(Operation::None);
        m_exportReadyAt = -1;
        m_exportSnapshot.clear();
        m_bulkIn.clear();
        return wire::statusRecord(wire::AckAccepted, 0, 0);
    }
    if (code == "DISC") {
        startOperation(Operation::Verify);
        m_failInjected = failInjected;
        startWaiting(now);
        *verdict = QStringLiteral("accepted: waiting for a finger");
        return wire::statusRecord(wire::AckAccepted, 0, 0);
    }
    if (code == "STUS") {
        *verdict = QStringLiteral("accepted: status %1").arg(m_status);
        return wire::statusRecord(wire::AckAccepted, 0, quint8(m_status));
    }
    if (code == "GETR") {
        if (!m_result || m_status != 1) {
            *verdict = QStringLiteral("accepted: no result");
            return wire::statusRecord(wire::AckAccepted, 0, 0);
        }
        *verdict
            = QStringLiteral("accepted: result '%1' ID %2").arg(QString::fromLatin1(m_result->name)).arg(m_result->id);
        return wire::statusRecord(wire::AckAccepted, wire::ResultSize, 1)
            + wire::resultPayload(m_result->name, m_result->id);
    }
    if (code == "ADDF") {
        if (name.isEmpty())
            return refuse(verdict, QStringLiteral("empty name"));
        startOperation(Operation::EnrolFirst);
        m_failInjected = failInjected;
        m_enrolName = name;
        m_firstTemplate.clear();
        startWaiting(now);
        *verdict = QStringLiteral("accepted: enrolling, waiting for the first press");
        return wire::statusRecord(wire::AckAccepted, 0, 0);
    }
    if (code == "ADDS") {
        if (m_operation != Operation::EnrolFirst || m_status != 1)
            return refuse(verdict, QStringLiteral("out of order: no first press taken"));
        startOperation(Operation::EnrolSecond);
        m_failInjected = failInjected;
        startWaiting(now);
        *verdict = QStringLiteral("accepted: waiting for the second press");
        return wire::statusRecord(wire::AckAccepted, 0, 0);
    }
    if (code == "IMPT") {
        const int num = h.importCount();
        if (num > m_store.capacity())
            return refuse(verdict, QStringLiteral("%1 records exceed the capacity").arg(num));
        startOperation(Operation::Import);
        m_failInjected = failInjected;
        m_importExpected = wire::HeaderSize + num * wire::RecordSize;
        *verdict = QStringLiteral("accepted: expecting %1 bytes").arg(m_importExpected);
        return wire::statusRecord(wire::AckAccepted, 0, 0);
    }
    // EXPT
    startOperation(Operation::Export);
    m_bulkIn.clear();
    m_exportSnapshot = m_store.records();
    const quint16 count = quint16(m_exportSnapshot.size());
    m_exportReadyAt = count > 0 ? now + qMax(0, m_config.exportDelayMs) : -1;
    m_status = 1;
    *verdict = QStringLiteral("accepted: exporting %1 records").arg(count);
    return wire::statusRecord(wire::AckAccepted, count, 0);
}

void PrinterEngine::receiveFrame(const QByteArray& frame, const QString& via)
{
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = m_clock.nowMs();
        advance(now);
        if (m_unplugged) {
            log(now, via, frame, QStringLiteral("ignored: unplugged"));
            return;
        }
        m_replies.clear();
        wire::Header h;
        QString verdict;
        if (!wire::parseHeader(frame, &h)) {
            const QByteArray answer = refuse(&verdict, QStringLiteral("shorter than a header"));
            m_replies.append({ ReplyMessage { answer }, now });
            log(now, via, frame, verdict);
        } else {
            bool busy = false, refused = false, drop = false, unplug = false, fail = false;
            bool malformed = false, stall = false;
            int notReady = 0, progress = 0, delay = 0, shortTo = -1, oversize = 0;
            QStringList applied;
            for (const FaultRule& rule : m_faults.take(h.code)) {
                applied << rule.toString();
                switch (rule.kind) {
                case FaultKind::Busy:
                    busy = true;
                    break;
                case FaultKind::Refuse:
                    refused = true;
                    break;
                case FaultKind::Drop:
                    drop = true;
                    break;
                case FaultKind::Unplug:
                    unplug = true;
                    break;
                case FaultKind::Fail:
                    fail = true;
                    break;
                case FaultKind::Malformed:
                    malformed = true;
                    break;
                case FaultKind::StallBulk:
                    stall = true;
                    break;
                case FaultKind::NotReady:
                    notReady += rule.argumentOr(1);
                    break;
                case FaultKind::Progress:
                    progress += rule.argumentOr(1);
                    break;
                case FaultKind::Delay:
                    delay += rule.argumentOr(1000);
                    break;
                case FaultKind::Short:
                    shortTo = rule.argumentOr(5);
                    break;
                case FaultKind::Oversize:
                    oversize += rule.argumentOr(32);
                    break;
                }
            }
            const QString faultNote = applied.isEmpty()
                ? QString()
                : QStringLiteral(" [fault: %1]").arg(applied.join(QStringLiteral(", ")));
            if (unplug) {
                m_unplugged = true;
                startOperation(Operation::None);
                log(now, via, frame, QStringLiteral("not executed: unplugged") + faultNote);
            } else if (drop) {
                m_replies.append({ ReplyMessage { QByteArray(), true }, now + delay });
                log(now, via, frame, QStringLiteral("not executed: connection dropped") + faultNote);
            } else {
                QByteArray answer;
                if (busy) {
                    answer = wire::statusRecord(wire::AckBusy, 0, 0);
                    verdict = QStringLiteral("busy");
                } else if (refused) {
                    answer = refuse(&verdict, QStringLiteral("fault"));
                } else {
                    answer = execute(h, frame, fail, now, &verdict);
                }
                if (h.code == "IMPT" || h.code == "EXPT")
                    m_bulkStalled = stall;
                else if (stall)
                    m_bulkStalled = true;
                if (malformed)
                    answer.replace(0, 4, QByteArrayLiteral("STAX"));
                if (shortTo >= 0)
                    answer.truncate(shortTo);
                if (oversize > 0)
                    answer.append(QByteArray(oversize, '\x5A'));
                qint64 at = now + delay;
                for (int i = 0; i < progress; ++i, at += m_config.messageGapMs)
                    m_replies.append({ ReplyMessage { wire::progressPacket() }, at });
                for (int i = 0; i < notReady; ++i, at += m_config.messageGapMs)
                    m_replies.append({ ReplyMessage { wire::statusRecord(wire::AckNotReady, 0, 0) }, at });
                m_replies.append({ ReplyMessage { answer }, at });
                log(now, via, frame, verdict + faultNote);
            }
        }
    }
    notify();
}

Availability PrinterEngine::replyAvailability(qint64* readyAtMs)
{
    QMutexLocker lock(&m_mutex);
    const qint64 now = m_clock.nowMs();
    advance(now);
    if (m_replies.isEmpty())
        return Availability::Nothing;
    if (readyAtMs)
        *readyAtMs = m_replies.first().readyAtMs;
    return m_replies.first().readyAtMs <= now ? Availability::Ready : Availability::Later;
}

std::optional<ReplyMessage> PrinterEngine::takeReply()
{
    QMutexLocker lock(&m_mutex);
    const qint64 now = m_clock.nowMs();
    advance(now);
    if (m_replies.isEmpty() || m_replies.first().readyAtMs > now)
        return std::nullopt;
    return m_replies.takeFirst().message;
}

bool PrinterEngine::expectsBulkOut()
{
    QMutexLocker lock(&m_mutex);
    return m_operation == Operation::Import && m_importExpected > 0 && m_importStream.size() < m_importExpected;
}

BulkOutResult PrinterEngine::receiveBulk(const QByteArray& data, const QString& via)
{
    BulkOutResult result;
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = m_clock.nowMs();
        advance(now);
        if (m_unplugged || m_operation != Operation::Import || m_importExpected == 0
            || m_importStream.size() >= m_importExpected) {
            log(now, via, data, QStringLiteral("bulk data not expected: ignored"));
            return BulkOutResult::NotExpected;
        }
        if (m_bulkStalled) {
            log(now, via, data, QStringLiteral("bulk data stalled [fault]"));
            return BulkOutResult::Stalled;
        }
        const int room = m_importExpected - int(m_importStream.size());
        m_importStream.append(data.left(room));
        QString verdict = QStringLiteral("import data %1 of %2 bytes").arg(m_importStream.size()).arg(m_importExpected);
        if (data.size() > room)
            verdict += QStringLiteral(" (%1 surplus bytes ignored)").arg(data.size() - room);
        if (m_importStream.size() == m_importExpected)
            m_importDoneAt = now + qMax(0, m_config.importTimeMs);
        log(now, via, data, verdict);
        result = BulkOutResult::Accepted;
    }
    notify();
    return result;
}

Availability PrinterEngine::bulkInAvailability(qint64* readyAtMs)
{
    QMutexLocker lock(&m_mutex);
    advance(m_clock.nowMs());
    if (m_bulkStalled && (m_exportReadyAt >= 0 || !m_bulkIn.isEmpty())) {
        if (readyAtMs)
            *readyAtMs = -1;
        return Availability::Later;
    }
    if (!m_bulkIn.isEmpty())
        return Availability::Ready;
    if (m_exportReadyAt >= 0) {
        if (readyAtMs)
            *readyAtMs = m_exportReadyAt;
        return Availability::Later;
    }
    return Availability::Nothing;
}

QByteArray PrinterEngine::takeBulkIn(int maxLength)
{
    QMutexLocker lock(&m_mutex);
    advance(m_clock.nowMs());
    if (m_bulkStalled || m_bulkIn.isEmpty() || maxLength <= 0)
        return QByteArray();
    QByteArray& front = m_bulkIn.first();
    const QByteArray piece = front.left(maxLength);
    front.remove(0, piece.size());
    if (front.isEmpty())
        m_bulkIn.removeFirst();
    return piece;
}

QByteArray PrinterEngine::deviceId() const
{
    QByteArray id = "MFG:" + m_config.manufacturer + ";CMD:PJL;MDL:" + m_config.model + ";CLS:PRINTER;";
    if (!m_config.serial.isEmpty())
        id += "SN:" + m_config.serial + ";";
    return id;
}

int PrinterEngine::deviceIdDelay() const
{
    QMutexLocker lock(&m_mutex);
    return m_deviceIdDelayMs;
}

void PrinterEngine::setDeviceIdDelay(int ms)
{
    QMutexLocker lock(&m_mutex);
    m_deviceIdDelayMs = ms;
}

bool PrinterEngine::isUnplugged() const
{
    QMutexLocker lock(&m_mutex);
    return m_unplugged;
}

void PrinterEngine::setUnplugged(bool unplugged)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_unplugged == unplugged)
            return;
        m_unplugged = unplugged;
        // Losing power ends whatever the unit was doing; the store survives.
        startOperation(Operation::None);
        m_replies.clear();
        m_bulkIn.clear();
        m_exportReadyAt = -1;
        const qint64 now = m_clock.nowMs();
        log(now, QStringLiteral("control"), QByteArray(),
            unplugged ? QStringLiteral("unplugged") : QStringLiteral("plugged in"));
        // A job cut off half way is lost; the held ones stay in the printer's memory.
        for (PrintJob& j : m_jobs) {
            if (unplugged && j.state == JobState::Receiving) {
                j.state = JobState::Dropped;
                log(now, QStringLiteral("job"), QByteArray(), QStringLiteral("job %1 dropped: cut off").arg(j.id));
            }
        }
    }
    notify();
}

void PrinterEngine::poke()
{
    {
        QMutexLocker lock(&m_mutex);
        advance(m_clock.nowMs());
    }
    notify();
}

// ---------------------------------------------------------------------------------------------
// Print jobs

QString PrintJob::stateName(JobState state)
{
    switch (state) {
    case JobState::Receiving:
        return QStringLiteral("receiving");
    case JobState::Held:
        return QStringLiteral("held");
    case JobState::Printed:
        return QStringLiteral("printed");
    case JobState::Dropped:
        return QStringLiteral("dropped");
    }
    return QString();
}

QString PrintJob::toString() const
{
    return QStringLiteral("id=%1 state=%2 bytes=%3 via=%4").arg(id).arg(stateName(state)).arg(data.size()).arg(via);
}

PrintJob* PrinterEngine::findJob(int jobId)
{
    for (PrintJob& j : m_jobs) {
        if (j.id == jobId)
            return &j;
    }
    return nullptr;
}

void PrinterEngine::decideJob(JobState outcome, qint64 now, const QString& why)
{
    ++m_decisionEpoch;
    for (PrintJob& j : m_jobs) {
        if (j.state == JobState::Held) {
            j.state = outcome;
            log(now, QStringLiteral("job"), QByteArray(),
                QStringLiteral("job %1 %2: %3").arg(j.id).arg(PrintJob::stateName(outcome), why));
            return;
        }
    }
    for (const PrintJob& j : std::as_const(m_jobs)) {
        if (j.state == JobState::Receiving) {
            m_pendingDecision = outcome;
            log(now, QStringLiteral("job"), QByteArray(),
                QStringLiteral("job %1 to be %2 once received: %3").arg(j.id).arg(PrintJob::stateName(outcome), why));
            return;
        }
    }
}

// "CANL" outside a running verification: drops the oldest job held since the last decision, so
// that a cancel which follows a failed verification does not take the next job with it.
void PrinterEngine::cancelHeldJob(qint64 now)
{
    m_pendingDecision.reset();
    for (PrintJob& j : m_jobs) {
        if (j.state == JobState::Held && j.heldEpoch == m_decisionEpoch) {
            j.state = JobState::Dropped;
            ++m_decisionEpoch;
            log(now, QStringLiteral("job"), QByteArray(), QStringLiteral("job %1 dropped: cancelled").arg(j.id));
            return;
        }
    }
}

int PrinterEngine::beginJob(const QString& via)
{
    QMutexLocker lock(&m_mutex);
    PrintJob job;
    job.id = m_nextJobId++;
    job.via = via;
    m_jobs.append(job);
    log(m_clock.nowMs(), QStringLiteral("job"), QByteArray(),
        QStringLiteral("job %1 arriving over %2").arg(job.id).arg(via));
    return job.id;
}

void PrinterEngine::receiveJobData(int jobId, const QByteArray& data)
{
    QMutexLocker lock(&m_mutex);
    PrintJob* j = findJob(jobId);
    if (j && j->state == JobState::Receiving)
        j->data.append(data);
}

void PrinterEngine::endJob(int jobId)
{
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = m_clock.nowMs();
        advance(now);
        PrintJob* j = findJob(jobId);
        if (!j || j->state != JobState::Receiving)
            return;
        QString why;
        if (m_authState != 1) {
            j->state = JobState::Printed;
            why = QStringLiteral("authentication off");
        } else if (m_pendingDecision) {
            j->state = *m_pendingDecision;
            m_pendingDecision.reset();
            why = QStringLiteral("decided while arriving");
        } else {
            j->state = JobState::Held;
            j->heldEpoch = m_decisionEpoch;
            why = QStringLiteral("waiting for a finger");
        }
        log(now, QStringLiteral("job"), QByteArray(),
            QStringLiteral("job %1 %2 (%3 bytes): %4")
                .arg(j->id)
                .arg(PrintJob::stateName(j->state))
                .arg(j->data.size())
                .arg(why));
    }
    notify();
}

QList<PrintJob> PrinterEngine::jobs() const
{
    QMutexLocker lock(&m_mutex);
    const_cast<PrinterEngine*>(this)->advance(m_clock.nowMs());
    return m_jobs;
}

std::optional<PrintJob> PrinterEngine::job(int jobId) const
{
    QMutexLocker lock(&m_mutex);
    const_cast<PrinterEngine*>(this)->advance(m_clock.nowMs());
    for (const PrintJob& j : m_jobs) {
        if (j.id == jobId)
            return j;
    }
    return std::nullopt;
}

void PrinterEngine::clearJobs()
{
    QMutexLocker lock(&m_mutex);
    m_jobs.clear();
    m_pendingDecision.reset();
}

// ---------------------------------------------------------------------------------------------
// State, store, finger, faults, log

int PrinterEngine::authState() const
{
    QMutexLocker lock(&m_mutex);
    return m_authState;
}

void PrinterEngine::setAuthState(int rawState)
{
    QMutexLocker lock(&m_mutex);
    m_authState = rawState & 0xFF;
}

QList<wire::Record> PrinterEngine::records() const
{
    QMutexLocker lock(&m_mutex);
    return m_store.records();
}

int PrinterEngine::capacity() const
{
    QMutexLocker lock(&m_mutex);
    return m_store.capacity();
}

void PrinterEngine::setCapacity(int capacity)
{
    QMutexLocker lock(&m_mutex);
    m_store.setCapacity(capacity);
}

quint16 PrinterEngine::nextFreeId() const
{
    QMutexLocker lock(&m_mutex);
    return m_store.nextFreeId();
}

std::optional<wire::Record> PrinterEngine::addUser(const QByteArray& name, quint16 preferredId)
{
    QMutexLocker lock(&m_mutex);
    if (name.isEmpty() || name.size() > wire::NameSize)
        return std::nullopt;
    return m_store.put(name, fingerTemplateOf(name), preferredId);
}

bool PrinterEngine::removeUser(const QByteArray& name)
{
    QMutexLocker lock(&m_mutex);
    return m_store.remove(name);
}

void PrinterEngine::clearStore()
{
    QMutexLocker lock(&m_mutex);
    m_store.clear();
}

QByteArray PrinterEngine::storeBytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_store.serialize();
}

bool PrinterEngine::loadStore(const QByteArray& bytes, QString* error)
{
    QMutexLocker lock(&m_mutex);
    return m_store.deserialize(bytes, error);
}

void PrinterEngine::pressFinger(const FingerPress& press)
{
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = m_clock.nowMs();
        advance(now);
        ScheduledPress scheduled { press.who, press.user, -1,
            press.delayMs >= 0 ? press.delayMs : m_config.nextWaitPressDelayMs };
        if (press.when == FingerPress::When::Now || (press.when == FingerPress::When::Waiting && m_waiting))
            scheduled.atMs = now;
        else if (press.when == FingerPress::When::AfterDelay)
            scheduled.atMs = now + qMax(0, press.delayMs);
        m_presses.append(scheduled);
        advance(now);
    }
    notify();
}

void PrinterEngine::clearFingerScript()
{
    QMutexLocker lock(&m_mutex);
    m_presses.clear();
}

void PrinterEngine::setAutoFinger(bool on)
{
    QMutexLocker lock(&m_mutex);
    advance(m_clock.nowMs());
    m_autoFinger = on;
    if (!on) {
        m_autoPressAt = -1;
    } else if (m_waiting && m_autoPressAt < 0) {
        const int lo = qMax(0, m_config.autoFingerMinMs);
        const int hi = qMax(lo, m_config.autoFingerMaxMs);
        m_autoPressAt = m_clock.nowMs() + lo + (hi > lo ? int(m_random.bounded(hi - lo + 1)) : 0);
    }
}

bool PrinterEngine::autoFinger() const
{
    QMutexLocker lock(&m_mutex);
    return m_autoFinger;
}

void PrinterEngine::addFault(const FaultRule& rule)
{
    QMutexLocker lock(&m_mutex);
    m_faults.add(rule);
}

void PrinterEngine::clearFaults()
{
    {
        QMutexLocker lock(&m_mutex);
        m_faults.clear();
        m_bulkStalled = false;
    }
    notify();
}

QList<FaultRule> PrinterEngine::faults() const
{
    QMutexLocker lock(&m_mutex);
    return m_faults.rules();
}

QList<FrameLogEntry> PrinterEngine::frameLog() const
{
    QMutexLocker lock(&m_mutex);
    return m_log;
}

void PrinterEngine::clearFrameLog()
{
    QMutexLocker lock(&m_mutex);
    m_log.clear();
}

QString PrinterEngine::describe() const
{
    QMutexLocker lock(&m_mutex);
    const_cast<PrinterEngine*>(this)->advance(m_clock.nowMs());
    return QStringLiteral("state=%1 operation=%2 status=%3 waiting=%4 records=%5 unplugged=%6 auto=%7")
        .arg(m_authState)
        .arg(QString::fromLatin1(operationName(int(m_operation))))
        .arg(m_status)
        .arg(m_waiting ? 1 : 0)
        .arg(m_store.count())
        .arg(m_unplugged ? 1 : 0)
        .arg(m_autoFinger ? 1 : 0);
}

void PrinterEngine::log(qint64 now, const QString& via, const QByteArray& bytes, const QString& verdict)
{
    if (m_log.size() >= kLogLimit)
        m_log.removeFirst();
    m_log.append({ now, via, bytes, verdict });
}

void PrinterEngine::notify()
{
    if (m_listener)
        m_listener();
}

} // namespace fpsim
