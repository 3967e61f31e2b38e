#ifndef PROTOCOLLOG_H
#define PROTOCOLLOG_H

// Writes one diagnostic line (the formatted text and a newline) to standard error.
void fmLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
