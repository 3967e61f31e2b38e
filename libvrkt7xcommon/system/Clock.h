#ifndef CLOCK_H
#define CLOCK_H

#include <cstdint>
#include <ctime>

// Every sleep and every time reading of the protocol and transport code goes through the current
// Clock, so that tests can replace it with a clock that only records what was asked of it and
// lets a 50 s verification run in microseconds.
class Clock
{
public:
    virtual ~Clock();
    // Blocks (or pretends to block) for the given number of microseconds.
    virtual void sleepMicroseconds(int64_t us) = 0;
    // Wall time in whole seconds, as time() gives it.
    virtual time_t seconds() = 0;
    // A monotonic reading in milliseconds, for deadlines.
    virtual int64_t milliseconds() = 0;

    void sleepMilliseconds(int64_t ms) { sleepMicroseconds(ms * 1000); }
};

// The clock the library uses now; the system clock unless a test installed another.
Clock& libClock();

// Installs clock as the library's clock; nullptr restores the system clock. The caller keeps
// ownership and must keep it alive while installed.
void setLibClock(Clock* clock);

#endif
