#ifndef DEVICEMANAGER_H
#define DEVICEMANAGER_H

#include "DeviceIO.h"

#include <string>

// Owns one USB and one network transport and hands out the one that suits a device URI.
class DeviceManager : public DeviceIOManager
{
public:
    DeviceManager();
    // Takes ownership of the two given transports instead of creating a UsbIO and a NetIO
    // (tests hand in scripted transports here).
    DeviceManager(DeviceIO* usbTransport, DeviceIO* netTransport);
    ~DeviceManager() override;

    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

    // Replaces the two transports (the old ones are deleted) and forgets the last URI, so that the
    // next getDevice resolves again. Tests hand in scripted transports here.
    void setTransports(DeviceIO* usbTransport, DeviceIO* netTransport);

    // 1 when device_uri starts with exactly "usb://", otherwise 2.
    static int getDeviceType(const char* device_uri);

    // The transport for printer->deviceUri, resolved to it when the URI differs from the last
    // call's. Never null.
    DeviceIO* getDevice(Printer_struct* printer) override;

    DeviceIO* device;
    DeviceIO* usbIO;
    DeviceIO* netIO;
    std::string device_uri;
};

#endif
