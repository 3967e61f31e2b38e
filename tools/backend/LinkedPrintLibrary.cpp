#include "LinkedPrintLibrary.h"

#include "vrkt7xcommon.h"

#include <cstring>

namespace
{

// The library takes a writable, zero-terminated URI shorter than 256 bytes.
struct UriBuffer {
    explicit UriBuffer(const QByteArray& uri)
    {
        const size_t n = std::min<size_t>(static_cast<size_t>(uri.size()), sizeof(bytes) - 1);
        memcpy(bytes, uri.constData(), n);
        bytes[n] = '\0';
    }
    char bytes[256];
};

} // namespace

int LinkedPrintLibrary::isDeviceConnectForPrint(const QByteArray& uri)
{
    UriBuffer buffer(uri);
    return IsDeviceConnectForPrint(buffer.bytes);
}

int LinkedPrintLibrary::isDeviceFingerOpenForPrint(const QByteArray& uri)
{
    UriBuffer buffer(uri);
    return IsDeviceFingerOpenForPrint(buffer.bytes);
}

bool LinkedPrintLibrary::verify(const QByteArray& uri, QByteArray* userName)
{
    UriBuffer buffer(uri);
    char name[64] = {};
    short index = 0;
    const bool failed = IsFingerPrint(buffer.bytes, name, &index);
    if (!failed)
        *userName = QByteArray(name, static_cast<int>(strnlen(name, 32)));
    return !failed;
}

void LinkedPrintLibrary::cancelVerify()
{
    char none[] = "";
    CancelFingerPrint(none);
}

bool LinkedPrintLibrary::dropHeldJob(const QByteArray& uri)
{
    UriBuffer buffer(uri);
    return DropFingerPrintJob(buffer.bytes);
}
