#include "HxLog.h"

#include "system/Clock.h"

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

const char* const log_file = "/tmp/loglog.log";
const char* const log_app_name = "statusmonitor";
const char* const app_version = "1.0.0.1";

namespace {

HxLog g_log;

void runShell(const std::string& command)
{
    int rc = system(command.c_str());
    (void)rc; // failures end up as text in the log file itself
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
    struct tm utc {};
    gmtime_r(&when, &utc);
    char name[64];
    snprintf(name, sizeof name, "/loglog_%04d%02d%02d%02d%02d%02d.log", utc.tm_year + 1900, utc.tm_mon + 1,
             utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
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
    // The name is predictable and /tmp is everybody's: never open it through a planted link.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    FILE* header = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!header) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    fprintf(header, "--------%s v%s-------\n\n", log_app_name, app_version);
    fflush(header);
    fclose(header);

    const char* f = name.c_str();
    const char* l = m_link.c_str();
    char command[1024];
    snprintf(command, sizeof command, "chmod 666 %s 2>> %s", f, f);
    runShell(command);
    snprintf(command, sizeof command, "rm %s 2>> %s", l, f);
    runShell(command);
    snprintf(command, sizeof command, "ln -s %s %s 2>> %s", f, l, f);
    runShell(command);
    snprintf(command, sizeof command, "uname -a >> %s", f);
    runShell(command);
    snprintf(command, sizeof command, "cat /etc/issue >> %s", f);
    runShell(command);

    file = fopen(name.c_str(), "a");
}

int HxLog::log(const char* format, va_list args)
{
    if (!file)
        return -1;
    int n = vfprintf(file, format, args);
    fflush(file);
    return n;
}

void log_init()
{
    g_log.init();
}

int hxlog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = g_log.log(format, args);
    va_end(args);
    return n;
}
