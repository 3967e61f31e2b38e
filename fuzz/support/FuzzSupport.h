#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

// Helpers shared by the fuzz targets.

#include "system/Clock.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

// A property every input must keep. A violation aborts, so that libFuzzer (and the corpus replay
// under the sanitizers) reports the input as a crash.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            fuzzCheckFailed(#condition, __FILE__, __LINE__);                                                           \
        }                                                                                                              \
    } while (0)

[[noreturn]] void fuzzCheckFailed(const char* condition, const char* file, int line);

// Where fuzzCheckFailed writes: standard error unless the replay moved it (it silences standard
// error while an input runs).
extern int g_fuzzReportFd;

// A clock that never blocks: every sleep moves its own time forward at once. Installed as the
// library's clock for the life of the object. onSleep runs after every sleep (a target uses it to
// act as "another thread" at a chosen moment).
class FuzzClock : public Clock
{
public:
    FuzzClock();
    ~FuzzClock() override;

    void sleepMicroseconds(int64_t us) override;
    time_t seconds() override { return static_cast<time_t>(m_nowUs / 1000000); }
    int64_t milliseconds() override { return m_nowUs / 1000; }

    int64_t sleptUs() const { return m_sleptUs; }
    int sleeps() const { return m_sleeps; }
    std::function<void(int sleepCount)> onSleep;

private:
    int64_t m_nowUs;
    int64_t m_sleptUs = 0;
    int m_sleeps = 0;
};

// The QCoreApplication that Qt's SQL drivers and settings need; made on the first call.
void fuzzEnsureCoreApplication();

// A private directory of this process, removed at exit.
QString fuzzTempDir();

// Writes bytes to path (created or truncated); false when that failed.
bool fuzzWriteFile(const QString& path, const void* data, size_t size);

#endif
