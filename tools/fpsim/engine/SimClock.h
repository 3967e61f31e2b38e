#pragma once
// Time source of the simulated printer. The printer only ever asks "what time is it now"; every
// delay it models (finger presses, export preparation, import processing, delayed replies) is a
// point in time compared against this clock, so tests can drive it by hand.

#include <QElapsedTimer>
#include <QtGlobal>
#include <atomic>

namespace fpsim
{

class SimClock
{
public:
    virtual ~SimClock() = default;
    virtual qint64 nowMs() const = 0;
};

// Monotonic real time since construction.
class SteadyClock : public SimClock
{
public:
    SteadyClock() { m_timer.start(); }
    qint64 nowMs() const override { return m_timer.elapsed(); }

private:
    QElapsedTimer m_timer;
};

// Time that only moves when told to.
class ManualClock : public SimClock
{
public:
    qint64 nowMs() const override { return m_now.load(); }
    void advance(qint64 ms) { m_now += ms; }
    void set(qint64 ms) { m_now = ms; }

private:
    std::atomic<qint64> m_now { 0 };
};

} // namespace fpsim
