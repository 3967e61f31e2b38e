#include "PrinterTypes.h"

#include <cstring>

void copyField(char* dst, const char* src, int fieldSize)
{
    if (!dst || fieldSize <= 0)
        return;
    if (!src) {
        dst[0] = '\0';
        return;
    }
    size_t n = strnlen(src, static_cast<size_t>(fieldSize - 1));
    memmove(dst, src, n);
    dst[n] = '\0';
}
