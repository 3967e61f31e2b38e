// The IEEE 1284 device ID as a USB printer returns it (two length bytes, then the text), through
// the length rule of the USB layer. The input is the buffer size the caller asked for, then the
// bytes the printer delivered into it. Properties: the text is terminated inside the buffer, the
// buffer is never left nor read past, and the text is what followed the two length bytes.

#include "FuzzInput.h"
#include "FuzzSupport.h"
#include "transport/UsbApi.h"

#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int bufsize = in.u16() % 4096;
    std::unique_ptr<char[]> buffer(new char[bufsize > 0 ? bufsize : 1]);
    const std::string reply = in.bytes(static_cast<size_t>(bufsize));
    memset(buffer.get(), 0, bufsize > 0 ? bufsize : 1);
    memcpy(buffer.get(), reply.data(), reply.size());
    const std::string before(buffer.get(), static_cast<size_t>(bufsize));

    FUZZ_CHECK(deviceIdFromReply(buffer.get(), bufsize) == 0);
    if (bufsize < 2)
        return 0;
    // The text is terminated inside the buffer and is the start of what followed the length bytes.
    const size_t length = strnlen(buffer.get(), static_cast<size_t>(bufsize));
    FUZZ_CHECK(length < static_cast<size_t>(bufsize));
    FUZZ_CHECK(memcmp(buffer.get(), before.data() + 2, length) == 0);
    return 0;
}
