// fpverify's one command-line argument, as the print side (or anyone who starts the program) passes
// it: the input is the argument's bytes, read as the program reads its argument (local 8-bit).
// Properties: never fails, the countdown is always more than 9 seconds, and the printer name is a
// piece of the argument.

#include "FuzzSupport.h"
#include "VerifyArgument.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<int>(size));
    for (const QString& argument : { QString::fromLocal8Bit(raw), QString::fromUtf8(raw), QString::fromLatin1(raw) }) {
        const VerifyArgument parsed = parseVerifyArgument(argument);
        FUZZ_CHECK(parsed.seconds > 9);
        FUZZ_CHECK(argument.contains(parsed.printer));
    }
    return 0;
}
