#include "HxLog.h"

#include "system/Clock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const log_file = "/tmp/loglog.log";
const char* const log_app_name = "statusmonitor";
const char* const app_version = "1.0.0.1";

namespace
{

HxLog g_log;

// Runs a shell command and appends what it prints to the log's own stream. The file is never
// reached through its name again after the first open: a link planted there in the meantime must
// not redirect the output.
void appendCommandOutput(FILE* log, const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        fwrite(chunk, 1, n, log);
    pclose(pipe); // failures end up as text in the log file itself
    fflush(log);
}

} // namespace

HxLog::HxLog(const char* directory, const char* link)
    : file(nullptr)
    , m_directory(directory ? directory : "/tmp")
    , m_link(link ? link : log_file)
{
}

HxLog::~HxLog()
{
    if (file)
        fclose(file);
}

std::string HxLog::fileNameFor(time_t when) const
{
    struct tm utc {
    };
    gmtime_r(&when, &utc);
    char name[64];
    snprintf(name, sizeof name, "/loglog_%04d%02d%02d%02d%02d%02d.log", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
        utc.tm_hour, utc.tm_min, utc.tm_sec);
    std::string path = m_directory;
    path += name;
    return path;
}

void HxLog::init()
{
    // A second init starts a new file; the stream of the first is not left open.
    if (file) {
        fclose(file);
        file = nullptr;
    }
    const std::string name = fileNameFor(libClock().seconds());
    // The name is predictable and /tmp is everybody's: never open it through a planted link, and
    // after this open use only the descriptor.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    FILE* stream = fd >= 0 ? fdopen(fd, "a") : nullptr;
    if (!stream) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    fprintf(stream, "--------%s v%s-------\n\n", log_app_name, app_version);
    fflush(stream);
    if (fchmod(fd, 0666) != 0)
        fprintf(stream, "chmod: %s: %s\n", name.c_str(), strerror(errno));

    const char* f = name.c_str();
    const char* l = m_link.c_str();
    char command[1024];
    // The error output of rm and ln goes into the log, as their complaints belong there.
    snprintf(command, sizeof command, "rm %s 2>&1", l);
    appendCommandOutput(stream, command);
    snprintf(command, sizeof command, "ln -s %s %s 2>&1", f, l);
    appendCommandOutput(stream, command);
    appendCommandOutput(stream, "uname -a");
    appendCommandOutput(stream, "cat /etc/issue");

    file = stream;
}

int HxLog::log(const char* format, va_list args)
{
    if (!file)
        return -1;
    int n = vfprintf(file, format, args);
    fflush(file);
    return n;
}

void log_init() { g_log.init(); }

int vhxlog(const char* format, va_list args) { return g_log.log(format, args); }

int hxlog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vhxlog(format, args);
    va_end(args);
    return n;
}
