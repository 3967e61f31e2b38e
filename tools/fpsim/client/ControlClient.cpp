#include "ControlClient.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>

namespace fpsim
{

ControlClient::ControlClient() = default;
ControlClient::~ControlClient() = default;

QString ControlClient::encodeName(const QByteArray& name) { return QString::fromLatin1(name.toPercentEncoding()); }

QByteArray ControlClient::decodeName(const QString& text) { return QByteArray::fromPercentEncoding(text.toUtf8()); }

bool ControlClient::connectTo(const QString& socketPath, int timeoutMs)
{
    disconnect();
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(socketPath);
        if (socket->waitForConnected(int(qMax<qint64>(1, qMin<qint64>(1000, deadline.remainingTime()))))) {
            m_socket = std::move(socket);
            m_error.clear();
            return true;
        }
        m_error = socket->errorString();
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
}

bool ControlClient::isConnected() const { return m_socket && m_socket->state() == QLocalSocket::ConnectedState; }

void ControlClient::disconnect() { m_socket.reset(); }

bool ControlClient::command(const QString& line, QStringList* lines)
{
    if (!isConnected()) {
        m_error = QStringLiteral("not connected");
        return false;
    }
    m_socket->write(line.toUtf8() + '\n');
    if (!m_socket->waitForBytesWritten(m_timeoutMs) && m_socket->bytesToWrite() > 0) {
        m_error = QStringLiteral("write failed: ") + m_socket->errorString();
        return false;
    }
    QDeadlineTimer deadline(m_timeoutMs);
    for (;;) {
        while (m_socket->canReadLine()) {
            const QString l = QString::fromUtf8(m_socket->readLine()).chopped(1);
            if (l.startsWith(QLatin1String("* "))) {
                if (lines)
                    lines->append(l.mid(2));
            } else if (l == QLatin1String("OK")) {
                m_error.clear();
                return true;
            } else if (l.startsWith(QLatin1String("ERR"))) {
                m_error = l.mid(4);
                return false;
            }
        }
        if (deadline.hasExpired() || !m_socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            m_error = QStringLiteral("no answer to '%1': %2").arg(line, m_socket->errorString());
            return false;
        }
    }
}

int ControlClient::state()
{
    QStringList lines;
    if (!command(QStringLiteral("state"), &lines) || lines.isEmpty())
        return -1;
    return lines.first().section(QLatin1Char('='), 1).toInt();
}

bool ControlClient::setState(int rawState) { return command(QStringLiteral("state %1").arg(rawState)); }

QList<ControlClient::User> ControlClient::users()
{
    QList<User> result;
    QStringList lines;
    if (!command(QStringLiteral("store list"), &lines))
        return result;
    for (const QString& l : lines) {
        User u;
        u.id = quint16(l.section(QLatin1Char(' '), 0, 0).section(QLatin1Char('='), 1).toUInt());
        u.name = decodeName(l.section(QLatin1Char(' '), 1, 1).section(QLatin1Char('='), 1));
        result.append(u);
    }
    return result;
}

quint16 ControlClient::addUser(const QByteArray& name, quint16 id)
{
    QStringList lines;
    const QString line = id ? QStringLiteral("store add %1 %2").arg(encodeName(name)).arg(id)
                            : QStringLiteral("store add %1").arg(encodeName(name));
    if (!command(line, &lines) || lines.isEmpty())
        return 0;
    return quint16(lines.first().section(QLatin1Char(' '), 0, 0).section(QLatin1Char('='), 1).toUInt());
}

bool ControlClient::removeUser(const QByteArray& name)
{
    return command(QStringLiteral("store remove %1").arg(encodeName(name)));
}

bool ControlClient::setCapacity(int records) { return command(QStringLiteral("store capacity %1").arg(records)); }

bool ControlClient::loadStore(const QString& fdlPath) { return command(QStringLiteral("store load %1").arg(fdlPath)); }

bool ControlClient::saveStore(const QString& fdlPath) { return command(QStringLiteral("store save %1").arg(fdlPath)); }

bool ControlClient::pressFinger(const QByteArray& user)
{
    return command(QStringLiteral("finger press %1 now").arg(encodeName(user)));
}

bool ControlClient::pressFingerAfter(const QByteArray& user, int delayMs)
{
    return command(QStringLiteral("finger press %1 after=%2").arg(encodeName(user)).arg(delayMs));
}

bool ControlClient::pressFingerAtNextWait(const QByteArray& user, int delayMs)
{
    QString line = QStringLiteral("finger press %1 next").arg(encodeName(user));
    if (delayMs >= 0)
        line += QStringLiteral(" delay=%1").arg(delayMs);
    return command(line);
}

bool ControlClient::pressUnknownFinger() { return command(QStringLiteral("finger unknown now")); }

bool ControlClient::pressUnknownFingerAtNextWait(int delayMs)
{
    QString line = QStringLiteral("finger unknown next");
    if (delayMs >= 0)
        line += QStringLiteral(" delay=%1").arg(delayMs);
    return command(line);
}

bool ControlClient::setAutoFinger(bool on)
{
    return command(on ? QStringLiteral("finger auto on") : QStringLiteral("finger auto off"));
}

bool ControlClient::injectFault(const QString& rule) { return command(QStringLiteral("fault ") + rule); }

bool ControlClient::jobs(QStringList* lines) { return command(QStringLiteral("jobs"), lines); }

QList<SimJob> ControlClient::jobList()
{
    QList<SimJob> result;
    QStringList lines;
    if (!jobs(&lines))
        return result;
    for (const QString& l : lines) {
        SimJob j;
        for (const QString& field : l.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString key = field.section(QLatin1Char('='), 0, 0);
            const QString value = field.section(QLatin1Char('='), 1);
            if (key == QLatin1String("id"))
                j.id = value.toInt();
            else if (key == QLatin1String("state"))
                j.state = value;
            else if (key == QLatin1String("bytes"))
                j.bytes = value.toLongLong();
            else if (key == QLatin1String("via"))
                j.via = value;
        }
        result.append(j);
    }
    return result;
}

bool ControlClient::saveJob(int id, const QString& path)
{
    return command(QStringLiteral("jobs save %1 %2").arg(id).arg(path));
}

QStringList ControlClient::frameLog()
{
    QStringList lines;
    command(QStringLiteral("log"), &lines);
    return lines;
}

QStringList ControlClient::receivedCodes()
{
    QStringList codes;
    for (const QString& l : frameLog()) {
        const QString via = l.section(QLatin1Char(' '), 1, 1);
        if (via == QLatin1String("finger") || via == QLatin1String("import") || via == QLatin1String("export")
            || via == QLatin1String("control") || via == QLatin1String("job") || via.endsWith(QLatin1String("bulk")))
            continue;
        codes.append(l.section(QLatin1Char(' '), 2, 2));
    }
    return codes;
}

QString ControlClient::status()
{
    QStringList lines;
    if (!command(QStringLiteral("status"), &lines) || lines.isEmpty())
        return QString();
    return lines.first();
}

} // namespace fpsim
