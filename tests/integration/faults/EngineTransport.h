#ifndef ENGINETRANSPORT_H
#define ENGINETRANSPORT_H

#include "PrinterEngine.h"
#include "transport/DeviceIO.h"

#include <QByteArray>

// The simulated printer's engine (fpsim) reached in-process, on the library's clock: a DeviceIO
// that behaves as fpsim's USB front-end (type 1) or network front-end (type 2) does, with the
// blocking waits of the real transports turned into sleeps of the library clock. Under a FakeClock
// a fault that keeps the library busy for minutes runs in microseconds, and the time it took is
// exactly what the real transports would have waited.
//
// USB: a control read gives the printer's next answer (waiting for a delayed one, up to the 5 s
// control time-out), 0 bytes when nothing is queued; bulk reads and writes wait for the printer up
// to their time-outs (30 s in, 5 s out); an unplugged printer fails every transfer with -4 and
// cannot be opened. Network: the answers form a byte stream; a read waits up to 30 s for the bytes
// it wants; a dropped connection fails the reads at once; an unplugged printer refuses connections.
class EngineClock : public fpsim::SimClock
{
public:
    EngineClock();
    qint64 nowMs() const override;

private:
    qint64 m_originMs;
};

class EngineTransport : public DeviceIO
{
public:
    // Waits of the real transports.
    static constexpr int kUsbControlTimeoutMs = 5000;
    static constexpr int kUsbBulkInTimeoutMs = 30000;
    static constexpr int kUsbBulkOutTimeoutMs = 5000;
    static constexpr int kNetReadWaitMs = 30000;

    EngineTransport(int transportType, fpsim::PrinterEngine& engine, const fpsim::SimClock& clock);

    // A short export: the export stream ends after this many bytes (the rest never comes).
    // -1: whole. fpsim cannot do this itself.
    void cutBulkInAfter(int bytes) { m_bulkInLimit = bytes; }

    int opens = 0;
    int closes = 0;

    int type() override { return m_type; }
    int close() override;
    int write(char* buffer, int bufsize) override;
    int read(char* buffer, int bufsize) override;
    int getDeviceId_without_open(char* buffer, int bufsize) override;
    int write_bulk(char* buffer, int bufsize, unsigned int interface) override;
    int read_bulk(char* buffer, int bufsize, unsigned int interface) override;
    using DeviceIO::getDeviceAddress;
    using DeviceIO::getDeviceId;
    using DeviceIO::isConnected;
    using DeviceIO::open;
    int open(int port) override;
    bool isConnected() override { return !m_engine.isUnplugged(); }
    int getDeviceId(char* buffer, int bufsize) override;
    const char* getDeviceAddress() override { return "ENGINE"; }

private:
    int readUsb(char* buffer, int bufsize);
    int readNet(char* buffer, int bufsize);
    // Sleeps on the library clock for wait ms, or for maxWaitMs when wait is longer (false then).
    bool waitFor(qint64 wait, int maxWaitMs);

    int m_type;
    fpsim::PrinterEngine& m_engine;
    const fpsim::SimClock& m_clock;
    QByteArray m_stream; // network: received, not yet read
    bool m_dropped = false;
    int m_bulkInLimit = -1;
    int m_bulkInGiven = 0;
};

#endif
