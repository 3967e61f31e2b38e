#ifndef HXLOG_H
#define HXLOG_H

// The log file the library offers to the programs that link it (the library itself logs to
// standard error). log_init() starts a new file /tmp/loglog_YYYYMMDDhhmmss.log (UTC) with a header
// and the system description, and points the link /tmp/loglog.log at it; hxlog() appends to it.

#include "vrkt7xsystem.h"

#include <cstdarg>
#include <cstdio>
#include <string>

class HxLog
{
public:
    // directory holds the time-stamped files, link is the fixed name pointed at the newest one.
    explicit HxLog(const char* directory = "/tmp", const char* link = log_file);
    ~HxLog();

    HxLog(const HxLog&) = delete;
    HxLog& operator=(const HxLog&) = delete;

    // Creates (truncating) the file named after the current second (UTC, from the library clock),
    // writes the header, makes it world-writable, points the link at it, appends `uname -a` and
    // /etc/issue, and keeps it open for appending. A stream opened by an earlier init is closed.
    // When the file cannot be created, file stays null.
    void init();
    // printf into the file and flush; the number of characters written, or -1 when not open.
    int log(const char* format, va_list args);

    // The name init() gives the file for a time: DIR/loglog_%04d%02d%02d%02d%02d%02d.log.
    std::string fileNameFor(time_t when) const;

    FILE* file;

private:
    std::string m_directory;
    std::string m_link;
};

// log_init() and hxlog() (vrkt7xsystem.h) work on one HxLog of the library; vhxlog is hxlog with
// its arguments as a va_list. Not exported.
int vhxlog(const char* format, va_list args);

#endif
