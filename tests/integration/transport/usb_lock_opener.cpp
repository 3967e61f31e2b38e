// Helper of tst_usblock_users, run as another user: opens the USB printer whose device URI is the
// argument through the library's USB transport, reports the result and the moment it came
// (CLOCK_MONOTONIC, nanoseconds), and closes it again.
//   trying
//   opened RESULT NANOSECONDS

#include "system/PrinterTypes.h"
#include "transport/UsbIO.h"

#include <cstdio>
#include <cstring>
#include <ctime>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    Printer_struct printer;
    memset(&printer, 0, sizeof(printer));
    copyField(printer.deviceUri, argv[1]);
    UsbIO io;
    std::printf("trying\n");
    std::fflush(stdout);
    const int result = io.open(&printer, 0);
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("opened %d %lld\n", result, static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stdout);
    io.close();
    return result == 0 ? 0 : 1;
}
