#ifndef NETIO_H
#define NETIO_H

#include "DeviceIO.h"

// Not built yet: every operation fails (-1, false, the empty string).
class NetIO : public DeviceIO {
public:
    int type() override { return 2; }
    int close() override { return -1; }
    int write(char*, int) override { return -1; }
    int read(char*, int) override { return -1; }
    int getDeviceId_without_open(char*, int) override { return -1; }
    int write_bulk(char*, int, unsigned int) override { return -1; }
    int read_bulk(char*, int, unsigned int) override { return -1; }
    using DeviceIO::open;
    using DeviceIO::isConnected;
    using DeviceIO::getDeviceId;
    using DeviceIO::getDeviceAddress;
    int open(int) override { return -1; }
    bool isConnected() override { return false; }
    int getDeviceId(char*, int) override { return -1; }
    const char* getDeviceAddress() override { return ""; }
};

#endif
