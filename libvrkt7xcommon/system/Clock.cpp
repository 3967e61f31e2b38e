#include "Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

Clock::~Clock() = default;

namespace
{

class SystemClock : public Clock
{
public:
    void sleepMicroseconds(int64_t us) override
    {
        if (us > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
    time_t seconds() override { return time(nullptr); }
    int64_t milliseconds() override
    {
        using namespace std::chrono;
        return duration_cast<std::chrono::milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

SystemClock systemClock;
std::atomic<Clock*> currentClock { &systemClock };

} // namespace

Clock& libClock() { return *currentClock.load(); }

void setLibClock(Clock* clock) { currentClock.store(clock ? clock : &systemClock); }
