#include "AgentMessages.h"

#include <QStringDecoder>

namespace AgentMessages
{

namespace
{

    // A decimal number without sign or leading zero, within [low, high].
    bool parseNumber(const QByteArray& text, int low, int high, int* value)
    {
        if (text.isEmpty() || text.size() > 9 || (text.size() > 1 && text.startsWith('0')))
            return false;
        for (char c : text) {
            if (c < '0' || c > '9')
                return false;
        }
        const int n = text.toInt();
        if (n < low || n > high)
            return false;
        *value = n;
        return true;
    }

    bool decodeUtf8(const QByteArray& bytes, QString* text)
    {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        *text = decoder.decode(bytes);
        return !decoder.hasError();
    }

    bool hasControl(const QString& text)
    {
        for (QChar c : text) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                return true;
        }
        return false;
    }

    Message parseShow(const QByteArray& rest)
    {
        Message m;
        static const QByteArray scheme = "start://";
        static const QByteArray jobKey = "?jobid=";
        static const QByteArray timeKey = "&time_val=";
        if (!rest.startsWith(scheme))
            return m;
        // The queue name cannot hold '?', so the first one ends it.
        const int question = rest.indexOf('?', scheme.size());
        if (question < 0 || rest.mid(question, jobKey.size()) != jobKey)
            return m;
        const int amp = rest.indexOf('&', question);
        if (amp < 0 || rest.mid(amp, timeKey.size()) != timeKey)
            return m;
        QString queue;
        if (!decodeUtf8(rest.mid(scheme.size(), question - scheme.size()), &queue) || !isQueueName(queue))
            return m;
        int jobId = 0;
        int seconds = 0;
        if (!parseNumber(rest.mid(question + jobKey.size(), amp - question - jobKey.size()), 1, 999999999, &jobId))
            return m;
        if (!parseNumber(rest.mid(amp + timeKey.size()), kMinSeconds, kMaxSeconds, &seconds))
            return m;
        m.kind = Message::Show;
        m.queue = queue;
        m.jobId = jobId;
        m.seconds = seconds;
        return m;
    }

} // namespace

bool isQueueName(const QString& name)
{
    const QByteArray bytes = name.toUtf8();
    if (bytes.isEmpty() || bytes.size() > 127)
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u == 0x7f || u == '/' || u == '\\' || u == '?' || u == '\'' || u == '"' || u == '#')
            return false;
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    }
    return true;
}

bool isResultCode(int code)
{
    return code == 1 || code == 2 || code == 3 || code == 4 || code == 5 || code == 7 || code == 8;
}

bool isStatusCode(int code) { return code == 3 || code == 5; }

QString verifyArgument(const QString& queue, int jobId, int seconds)
{
    if (!isQueueName(queue) || jobId <= 0 || seconds < kMinSeconds || seconds > kMaxSeconds)
        return QString();
    return QStringLiteral("start://%1?jobid=%2&time_val=%3").arg(queue).arg(jobId).arg(seconds);
}

QByteArray showLine(const QString& queue, int jobId, int seconds)
{
    const QString argument = verifyArgument(queue, jobId, seconds);
    if (argument.isEmpty())
        return QByteArray();
    return "SHOW " + argument.toUtf8() + '\n';
}

QByteArray shownLine() { return "SHOWN\n"; }

QByteArray noWindowLine(const QString& reason)
{
    // One line of printable text, cut to fit.
    QString clean;
    for (QChar c : reason)
        clean += (c.unicode() < 0x20 || c.unicode() == 0x7f) ? QChar(u' ') : c;
    QByteArray bytes = clean.toUtf8();
    const int room = kMaxLineBytes - 10; // "NOWINDOW " and "\n"
    if (bytes.size() > room) {
        bytes.truncate(room);
        // Do not end inside a multi-byte sequence.
        while (!bytes.isEmpty() && (static_cast<unsigned char>(bytes.back()) & 0xC0) == 0x80)
            bytes.chop(1);
        if (!bytes.isEmpty() && (static_cast<unsigned char>(bytes.back()) & 0x80))
            bytes.chop(1);
    }
    return "NOWINDOW " + bytes + '\n';
}

QByteArray statusLine(int status)
{
    return isStatusCode(status) ? "STATUS " + QByteArray::number(status) + '\n' : QByteArray();
}

QByteArray resultLine(int result)
{
    return isResultCode(result) ? "RESULT " + QByteArray::number(result) + '\n' : QByteArray();
}

Message parse(const QByteArray& line)
{
    Message m;
    if (line.size() >= kMaxLineBytes || line.contains('\n') || line.contains('\0'))
        return m;
    const int space = line.indexOf(' ');
    const QByteArray word = space < 0 ? line : line.left(space);
    const QByteArray rest = space < 0 ? QByteArray() : line.mid(space + 1);
    if (word == "SHOW" && space >= 0)
        return parseShow(rest);
    if (word == "SHOWN" && space < 0) {
        m.kind = Message::Shown;
        return m;
    }
    if (word == "NOWINDOW" && space >= 0) {
        QString reason;
        if (!decodeUtf8(rest, &reason) || hasControl(reason))
            return m;
        m.kind = Message::NoWindow;
        m.reason = reason;
        return m;
    }
    if ((word == "STATUS" || word == "RESULT") && space >= 0) {
        int value = 0;
        if (!parseNumber(rest, 1, 99, &value))
            return m;
        const bool status = word == "STATUS";
        if (status ? !isStatusCode(value) : !isResultCode(value))
            return m;
        m.kind = status ? Message::Status : Message::Result;
        m.value = value;
        return m;
    }
    return m;
}

QByteArray takeLine(QByteArray* buffer, bool* overflow)
{
    *overflow = false;
    const int newline = buffer->indexOf('\n');
    if (newline < 0) {
        *overflow = buffer->size() >= kMaxLineBytes;
        return QByteArray();
    }
    if (newline + 1 > kMaxLineBytes) {
        *overflow = true;
        return QByteArray();
    }
    QByteArray line = buffer->left(newline);
    buffer->remove(0, newline + 1);
    if (line.isNull())
        line = QByteArray("", 0); // an empty line is still a line
    return line;
}

} // namespace AgentMessages
