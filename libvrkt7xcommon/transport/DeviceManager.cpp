#include "DeviceManager.h"

#include "NetIO.h"
#include "UsbIO.h"

#include <cstring>

DeviceManager::DeviceManager()
    : DeviceManager(new UsbIO, new NetIO)
{
}

DeviceManager::DeviceManager(DeviceIO* usbTransport, DeviceIO* netTransport)
    : device(nullptr)
    , usbIO(usbTransport)
    , netIO(netTransport)
{
}

DeviceManager::~DeviceManager()
{
    delete usbIO;
    delete netIO;
}

void DeviceManager::setTransports(DeviceIO* usbTransport, DeviceIO* netTransport)
{
    delete usbIO;
    delete netIO;
    usbIO = usbTransport;
    netIO = netTransport;
    device = nullptr;
    device_uri.clear();
}

int DeviceManager::getDeviceType(const char* device_uri)
{
    if (device_uri && strncmp(device_uri, "usb://", 6) == 0)
        return 1;
    return 2;
}

DeviceIO* DeviceManager::getDevice(Printer_struct* printer)
{
    device = getDeviceType(printer->deviceUri) == 1 ? usbIO : netIO;
    if (device_uri != printer->deviceUri) {
        device_uri = printer->deviceUri;
        device->resolve(printer);
    }
    return device;
}
