#include "vrkt7xuri.h"

#include <cstring>

const char* vrkt7x_inner_uri(const char* uri)
{
    static const size_t prefixLength = std::strlen(VRKT7X_URI_PREFIX);
    if (uri && std::strncmp(uri, VRKT7X_URI_PREFIX, prefixLength) == 0)
        return uri + prefixLength;
    return uri;
}
