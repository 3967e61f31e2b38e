#include "EngineTransport.h"

#include "system/Clock.h"

#include <algorithm>
#include <cstring>

using fpsim::Availability;
using fpsim::BulkOutResult;

namespace
{
constexpr int kLibusbTimeout = -7;
constexpr int kLibusbNoDevice = -4;
} // namespace

EngineClock::EngineClock()
    : m_originMs(libClock().milliseconds())
{
}

qint64 EngineClock::nowMs() const { return libClock().milliseconds() - m_originMs; }

EngineTransport::EngineTransport(int transportType, fpsim::PrinterEngine& engine, const fpsim::SimClock& clock)
    : m_type(transportType)
    , m_engine(engine)
    , m_clock(clock)
{
    ifdelay = 0;
}

bool EngineTransport::waitFor(qint64 wait, int maxWaitMs)
{
    if (wait <= maxWaitMs) {
        if (wait > 0)
            libClock().sleepMilliseconds(wait);
        return true;
    }
    libClock().sleepMilliseconds(maxWaitMs);
    return false;
}

int EngineTransport::open(int)
{
    if (device_is_open || m_engine.isUnplugged())
        return -1;
    device_is_open = true;
    ++opens;
    m_stream.clear();
    m_dropped = false;
    return 0;
}

int EngineTransport::close()
{
    if (device_is_open) {
        device_is_open = false;
        ++closes;
    }
    m_stream.clear();
    m_dropped = false;
    return 0;
}

int EngineTransport::write(char* buffer, int bufsize)
{
    if (!device_is_open || bufsize < 0)
        return -1;
    if (m_type == 1) {
        if (m_engine.isUnplugged())
            return kLibusbNoDevice;
        m_engine.receiveFrame(QByteArray(buffer, bufsize), QStringLiteral("usb"));
        return m_engine.isUnplugged() ? kLibusbNoDevice : bufsize;
    }
    if (m_dropped || m_engine.isUnplugged())
        return -1;
    m_engine.receiveFrame(QByteArray(buffer, bufsize), QStringLiteral("tcp"));
    if (m_engine.isUnplugged())
        m_dropped = true; // the printer went away and took the connection with it
    return bufsize;
}

int EngineTransport::read(char* buffer, int bufsize)
{
    if (!device_is_open || bufsize < 0)
        return -1;
    return m_type == 1 ? readUsb(buffer, bufsize) : readNet(buffer, bufsize);
}

int EngineTransport::readUsb(char* buffer, int bufsize)
{
    for (;;) {
        if (m_engine.isUnplugged())
            return kLibusbNoDevice;
        qint64 at = 0;
        switch (m_engine.replyAvailability(&at)) {
        case Availability::Nothing:
            return 0; // the device has nothing to say
        case Availability::Later: {
            // The control transfer waits for the answer on its way, up to its time-out.
            const qint64 wait = at - m_clock.nowMs();
            if (!waitFor(wait, kUsbControlTimeoutMs))
                return kLibusbTimeout;
            continue;
        }
        case Availability::Ready:
            break;
        }
        const auto message = m_engine.takeReply();
        if (!message)
            continue;
        if (message->dropConnection) {
            m_engine.setUnplugged(true);
            return kLibusbNoDevice;
        }
        const int n = std::min(bufsize, static_cast<int>(message->bytes.size()));
        memcpy(buffer, message->bytes.constData(), static_cast<size_t>(n));
        return n;
    }
}

int EngineTransport::readNet(char* buffer, int bufsize)
{
    while (m_stream.size() < bufsize) {
        if (m_engine.isUnplugged())
            m_dropped = true;
        if (m_dropped)
            break;
        qint64 at = 0;
        const Availability a = m_engine.replyAvailability(&at);
        if (a == Availability::Ready) {
            const auto message = m_engine.takeReply();
            if (!message)
                continue;
            if (message->dropConnection) {
                m_dropped = true;
                break;
            }
            m_stream += message->bytes;
            continue;
        }
        // Waiting for more bytes: up to one read wait for each piece.
        const qint64 wait = a == Availability::Later ? at - m_clock.nowMs() : qint64(kNetReadWaitMs) + 1;
        if (!waitFor(wait, kNetReadWaitMs))
            break;
    }
    if (m_stream.size() < bufsize) {
        // What came stays in the caller's buffer but the read failed.
        memcpy(buffer, m_stream.constData(), static_cast<size_t>(m_stream.size()));
        m_stream.clear();
        return -1;
    }
    memcpy(buffer, m_stream.constData(), static_cast<size_t>(bufsize));
    m_stream.remove(0, bufsize);
    return bufsize;
}

int EngineTransport::write_bulk(char* buffer, int bufsize, unsigned int)
{
    if (!device_is_open || bufsize < 0)
        return -1;
    if (m_type == 1 && m_engine.isUnplugged())
        return kLibusbNoDevice;
    if (m_type != 1 && (m_dropped || m_engine.isUnplugged()))
        return -1;
    const BulkOutResult r = m_engine.receiveBulk(
        QByteArray(buffer, bufsize), m_type == 1 ? QStringLiteral("usb-bulk") : QStringLiteral("tcp-bulk"));
    if (r == BulkOutResult::Stalled && m_type == 1) {
        libClock().sleepMilliseconds(kUsbBulkOutTimeoutMs);
        return kLibusbTimeout;
    }
    // Over TCP stalled bytes sit in the printer's buffer; the write went through.
    return bufsize;
}

int EngineTransport::read_bulk(char* buffer, int bufsize, unsigned int)
{
    if (!device_is_open || bufsize < 0)
        return -1;
    if (m_type != 1)
        return readNet(buffer, bufsize);
    for (;;) {
        if (m_engine.isUnplugged())
            return kLibusbNoDevice;
        qint64 at = -1;
        const Availability a = m_engine.bulkInAvailability(&at);
        const bool cut = m_bulkInLimit >= 0 && m_bulkInGiven >= m_bulkInLimit;
        if (a == Availability::Ready && !cut) {
            int want = bufsize;
            if (m_bulkInLimit >= 0)
                want = std::min(want, m_bulkInLimit - m_bulkInGiven);
            const QByteArray piece = m_engine.takeBulkIn(want);
            memcpy(buffer, piece.constData(), static_cast<size_t>(piece.size()));
            m_bulkInGiven += static_cast<int>(piece.size());
            return static_cast<int>(piece.size());
        }
        // A bulk IN transfer waits for data until its time-out.
        const qint64 wait
            = (a == Availability::Later && at >= 0 && !cut) ? at - m_clock.nowMs() : qint64(kUsbBulkInTimeoutMs) + 1;
        if (!waitFor(wait, kUsbBulkInTimeoutMs))
            return kLibusbTimeout;
    }
}

int EngineTransport::getDeviceId_without_open(char* buffer, int bufsize) { return getDeviceId(buffer, bufsize); }

int EngineTransport::getDeviceId(char* buffer, int bufsize)
{
    if (bufsize <= 0 || m_engine.isUnplugged())
        return -1;
    const QByteArray id = m_engine.deviceId();
    const int n = std::min(bufsize - 1, static_cast<int>(id.size()));
    memcpy(buffer, id.constData(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return 0;
}
