#include "ProtocolLog.h"

#include <cstdarg>
#include <cstdio>

void fmLog(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    // One write per line, so that lines of two threads never interleave.
    fprintf(stderr, "%s\n", line);
}
