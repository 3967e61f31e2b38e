#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace
{
// A fixed starting point, so that every run sees the same time readings.
constexpr int64_t kStartUs = 1700000000LL * 1000000;
} // namespace

int g_fuzzReportFd = 2;

void fuzzCheckFailed(const char* condition, const char* file, int line)
{
    dprintf(g_fuzzReportFd, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
    abort();
}

FuzzClock::FuzzClock()
    : m_nowUs(kStartUs)
{
    setLibClock(this);
}

FuzzClock::~FuzzClock() { setLibClock(nullptr); }

void FuzzClock::sleepMicroseconds(int64_t us)
{
    if (us > 0) {
        m_nowUs += us;
        m_sleptUs += us;
    }
    ++m_sleeps;
    if (onSleep)
        onSleep(m_sleeps);
}

void fuzzEnsureCoreApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = { name, nullptr };
    // Never destroyed: at exit it would outlive Qt's own globals. Qt keeps the pointer.
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

QString fuzzTempDir()
{
    static QTemporaryDir dir;
    if (!dir.isValid()) {
        fprintf(stderr, "no temporary directory: %s\n", qPrintable(dir.errorString()));
        abort();
    }
    return dir.path();
}

bool fuzzWriteFile(const QString& path, const void* data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 n = file.write(static_cast<const char*>(data), static_cast<qint64>(size));
    file.close();
    return n == static_cast<qint64>(size);
}
