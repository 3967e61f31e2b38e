#ifndef OPENEDDEVICE_H
#define OPENEDDEVICE_H

#include "transport/DeviceManager.h"

// Closes the device when the scope of a successful open ends, on every way out.
class OpenedDevice
{
public:
    explicit OpenedDevice(DeviceIO* device)
        : m_device(device)
    {
    }
    ~OpenedDevice() { m_device->close(); }

    OpenedDevice(const OpenedDevice&) = delete;
    OpenedDevice& operator=(const OpenedDevice&) = delete;

private:
    DeviceIO* m_device;
};

#endif
