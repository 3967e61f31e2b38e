#include "DeviceIO.h"

#include "system/Clock.h"

#include <cstdio>
#include <cstring>

DeviceIO::DeviceIO()
    : ifdelay(1)
    , device_is_open(false)
{
    memset(device_uri, 0, sizeof(device_uri));
}

DeviceIO::~DeviceIO() = default;

DeviceIOManager::~DeviceIOManager() = default;

void DeviceIO::pause(int us)
{
    if (ifdelay)
        libClock().sleepMicroseconds(us);
}

int DeviceIO::writeThenRead(char* wrBuffer, int wrSize, char* rdBuffer, int rdSize)
{
    int written = write(wrBuffer, wrSize);
    if (written != wrSize)
        return written;
    pause(900000);

    const time_t start = libClock().seconds();
    bool sawExtraM = false;
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (libClock().seconds() - start >= 6) {
            fprintf(stderr, "usb try %d times timeout\n", attempt + 1);
            break;
        }
        bool haveFirst = sawExtraM;
        if (!haveFirst)
            haveFirst = read(rdBuffer, 1) == 1 && rdBuffer[0] == 'M';
        if (haveFirst) {
            pause(100000);
            sawExtraM = false;
            if (read(rdBuffer + 1, 1) == 1) {
                if (rdBuffer[1] == '<') {
                    pause(100000);
                    if (read(rdBuffer + 2, rdSize - 2) == rdSize - 2)
                        return 0;
                    fprintf(stderr, "read wrong\n");
                    return -1;
                }
                if (rdBuffer[1] == 'M')
                    sawExtraM = true;
            }
        }
        pause(100000);
    }
    if (rdSize == 2)
        return 0;
    fprintf(stderr, "read wrong\n");
    return -1;
}

int DeviceIO::open(Printer_struct* printer, int port)
{
    int result = resolve(printer);
    if (result != 0)
        return result;
    return open(port);
}

int DeviceIO::resolve(Printer_struct* printer) { return resolveUrl(printer->deviceUri); }

bool DeviceIO::isConnected(Printer_struct* printer)
{
    if (resolve(printer) != 0)
        return false;
    return isConnected();
}

const char* DeviceIO::getDeviceAddress(Printer_struct* printer)
{
    if (resolve(printer) != 0)
        return "";
    return getDeviceAddress();
}

int DeviceIO::getDeviceId(Printer_struct* printer, char* buffer, int bufsize)
{
    if (resolve(printer) != 0)
        return -1;
    return getDeviceId(buffer, bufsize);
}

int DeviceIO::resolveUrl(const char* url)
{
    if (!url)
        return -1;
    size_t n = strnlen(url, sizeof(device_uri));
    if (n >= sizeof(device_uri))
        return -1;
    memcpy(device_uri, url, n + 1);
    return 0;
}
