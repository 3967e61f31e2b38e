#include "UsbApi.h"

#include "system/PrinterTypes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace
{
constexpr unsigned kControlTimeoutMs = 5000;
constexpr unsigned kBulkWriteTimeoutMs = 5000;
constexpr unsigned kBulkReadTimeoutMs = 30000;

// Vendor requests of the fingerprint unit.
constexpr uint8_t kVendorOut = 0x41; // vendor, interface, host to device
constexpr uint8_t kVendorIn = 0xC1; // vendor, interface, device to host
constexpr uint8_t kFrameRequest = 0x4D;
constexpr uint16_t kFrameValue = 0x3C2B;
constexpr uint8_t kClassIn = 0xA1; // class, interface, device to host
constexpr uint8_t kGetDeviceId = 0;

void printPermissionHint() { fprintf(stderr, "libusb: Make sure you run as root or set appropriate permissions\n"); }

// The device-search handler: matches by serial number when one is given, else by IDs.
int matchDevice(libusb_device* device, void* data)
{
    auto* record = static_cast<struct_device*>(data);
    record->dev = nullptr;
    libusb_device_descriptor descriptor;
    if (libusb_get_device_descriptor(device, &descriptor) != 0) {
        fprintf(stderr, "libusb can not get descriptor\n");
        return -1;
    }
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) != 0)
        return -1;

    char serial[256] = {};
    if (descriptor.iSerialNumber) {
        unsigned char text[1024] = {};
        const int n = libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text, sizeof(text));
        if (n > 0)
            copyField(serial, reinterpret_cast<const char*>(text), sizeof(serial));
    }

    bool match;
    if (record->deviceInfo.serial[0] != '\0')
        match = strcmp(record->deviceInfo.serial, serial) == 0;
    else
        match = descriptor.idVendor == record->deviceInfo.vid && descriptor.idProduct == record->deviceInfo.pid;
    if (match) {
        record->dev = device;
        record->udev = handle;
        return 0;
    }
    libusb_close(handle);
    return 1;
}
} // namespace

int iterateDevices(int (*handler)(libusb_device*, void*), void* data)
{
    if (!handler)
        return -1;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(nullptr, &list);
    if (count < 0)
        return static_cast<int>(count);
    int result = -1;
    for (ssize_t i = 0; i < count; ++i) {
        result = handler(list[i], data);
        if (result == 0)
            break;
    }
    libusb_free_device_list(list, 1);
    return result;
}

const char* usbErrorText(int code)
{
    switch (code) {
    case -1:
        return "Input/output error";
    case -2:
        return "Invalid parameter";
    case -3:
        return "Access denied (insufficient permissions)";
    case -4:
        return "No such device (it may have been disconnected)";
    case -5:
        return "Entity not found";
    case -6:
        return "Resource busy";
    case -7:
        return "Operation timed out";
    case -8:
        return "Overflow";
    case -9:
        return "Pipe error";
    case -10:
        return "System call interrupted (perhaps due to signal)";
    case -11:
        return "Insufficient memory";
    case -12:
        return "Operation not supported or unimplemented on this platform";
    case -99:
        return "Other error";
    default:
        return "Unknown libusb-1.0 error code";
    }
}

int claimInterface(libusb_device_handle* handle, int interface)
{
    if (libusb_kernel_driver_active(handle, interface) == 1)
        libusb_detach_kernel_driver(handle, interface);
    const int result = libusb_claim_interface(handle, interface);
    if (result != 0) {
        fprintf(stderr, "libusb: libusb complained: %s\n", usbErrorText(result));
        if (result == LIBUSB_ERROR_ACCESS)
            printPermissionHint();
        if (result == LIBUSB_ERROR_BUSY)
            fprintf(stderr, "libusb: Maybe the kernel scanner driver claims the scanner's interface?\n");
    }
    return result;
}

int releaseInterface(libusb_device_handle* handle, int interface)
{
    const int result = libusb_release_interface(handle, interface);
    libusb_attach_kernel_driver(handle, interface);
    return result;
}

int deviceIdFromReply(char* buffer, int bufsize, int received)
{
    if (bufsize < 2) {
        if (bufsize == 1)
            buffer[0] = '\0';
        return 0;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(buffer);
    int length = b[0] * 256 + b[1];
    if (length >= bufsize - 1) {
        length = b[1] * 256 + b[0];
        if (length >= bufsize - 1)
            length = bufsize - 2;
    }
    // Bytes past the received text are stale buffer contents, not part of the ID; a reply of
    // fewer than two bytes carries none.
    if (received >= 0 && length > received - 2)
        length = std::max(received - 2, 0);
    memmove(buffer, buffer + 2, length);
    buffer[length] = '\0';
    return 0;
}

UsbApi::UsbApi()
    : g_interface(0)
    , g_device(nullptr)
    , g_dev_h(nullptr)
    , bulk_in { 0, 0 }
    , bulk_out { 0, 0 }
{
}

int UsbApi::init()
{
    const std::lock_guard<std::mutex> guard(m_initMutex);
    if (m_initResult == 1)
        m_initResult = libusb_init(nullptr);
    return m_initResult;
}

int UsbApi::exit()
{
    const std::lock_guard<std::mutex> guard(m_initMutex);
    if (m_initResult == 0)
        libusb_exit(nullptr);
    m_initResult = 1;
    return 0;
}

int UsbApi::search(int vid, int pid, const char* serial, struct_device* found)
{
    memset(found, 0, sizeof(*found));
    // Without a context there is no bus to search.
    if (const int result = init(); result != 0)
        return result;
    found->deviceInfo.vid = vid;
    found->deviceInfo.pid = pid;
    copyField(found->deviceInfo.serial, serial, sizeof(found->deviceInfo.serial));
    return iterateDevices(matchDevice, found);
}

int UsbApi::getDeviceWithSerial(int vid, int pid, const char* serial)
{
    struct_device found;
    const int result = search(vid, pid, serial, &found);
    if (result == 0)
        libusb_close(found.udev);
    return result;
}

int UsbApi::open(int vid, int pid, const char* serial, int interface)
{
    struct_device found;
    const int result = search(vid, pid, serial, &found);
    if (result != 0) {
        fprintf(stderr, "libusb can not get device\n");
        return result;
    }
    g_device = found.dev;
    g_dev_h = found.udev;

    int step = config(g_device, g_dev_h);
    if (step != 0) {
        fprintf(stderr, "libusb can not config\n");
        libusb_close(g_dev_h);
        g_dev_h = nullptr;
        g_device = nullptr;
        return step;
    }
    g_interface = interface;
    step = claimInterface(g_dev_h, interface);
    if (step != 0) {
        fprintf(stderr, "libusb can not claim interface:%d\n", interface);
        libusb_close(g_dev_h);
        g_dev_h = nullptr;
        g_device = nullptr;
        return step;
    }
    return 0;
}

int UsbApi::close()
{
    if (g_dev_h) {
        releaseInterface(g_dev_h, g_interface);
        libusb_close(g_dev_h);
    }
    g_dev_h = nullptr;
    g_device = nullptr;
    return 0;
}

bool UsbApi::isConnected(int vid, int pid, const char* serial)
{
    struct_device found;
    if (search(vid, pid, serial, &found) != 0)
        return false;
    libusb_close(found.udev);
    return true;
}

int UsbApi::getDeviceAddress(int vid, int pid, const char* serial, int* address, int* bus)
{
    struct_device found;
    const int result = search(vid, pid, serial, &found);
    if (result != 0)
        return result;
    *address = libusb_get_device_address(found.dev);
    if (bus)
        *bus = libusb_get_bus_number(found.dev);
    libusb_close(found.udev);
    return 0;
}

int UsbApi::write(char* buffer, int bufsize)
{
    const int result = libusb_control_transfer(g_dev_h, kVendorOut, kFrameRequest, kFrameValue, controlIndex(),
        reinterpret_cast<unsigned char*>(buffer), static_cast<uint16_t>(bufsize & 0xFFFF), kControlTimeoutMs);
    // The frame stays as it is: the caller sends it again on its next attempt.
    if (result < 0)
        fprintf(stderr, "libusb: control write error:%d\n", result);
    return result;
}

int UsbApi::read(char* buffer, int bufsize)
{
    const int result = libusb_control_transfer(g_dev_h, kVendorIn, 0, 0, controlIndex(),
        reinterpret_cast<unsigned char*>(buffer), static_cast<uint16_t>(bufsize & 0xFFFF), kControlTimeoutMs);
    if (result < 0) {
        fprintf(stderr, "libusb: control read error:%d\n", result);
        buffer[0] = 0;
    }
    return result;
}

int UsbApi::getDeviceId(char* buffer, int bufsize)
{
    const int result = libusb_control_transfer(g_dev_h, kClassIn, kGetDeviceId, 1, controlIndex(),
        reinterpret_cast<unsigned char*>(buffer), static_cast<uint16_t>(bufsize & 0xFFFF), kControlTimeoutMs);
    if (result < 0) {
        fprintf(stderr, "libusb: get device id error:%d\n", result);
        buffer[0] = 0;
        return -1;
    }
    return deviceIdFromReply(buffer, bufsize, result);
}

int UsbApi::write_bulk(char* buffer, int bufsize, unsigned int interface)
{
    if (interface >= 2)
        return -1;
    int sent = 0;
    const int result = libusb_bulk_transfer(g_dev_h, static_cast<unsigned char>(bulk_out[interface]),
        reinterpret_cast<unsigned char*>(buffer), bufsize, &sent, kBulkWriteTimeoutMs);
    if (result != 0) {
        fprintf(stderr, "libusb bulk write error:%d\n", result);
        return result;
    }
    return sent;
}

int UsbApi::read_bulk(char* buffer, int bufsize, unsigned int interface)
{
    if (interface >= 2)
        return -1;
    int received = 0;
    const int result = libusb_bulk_transfer(g_dev_h, static_cast<unsigned char>(bulk_in[interface]),
        reinterpret_cast<unsigned char*>(buffer), bufsize, &received, kBulkReadTimeoutMs);
    if (result != 0) {
        fprintf(stderr, "libusb bulk read error:%d\n", result);
        return result;
    }
    return received;
}

int UsbApi::config(libusb_device* device, libusb_device_handle* handle)
{
    int current = 0;
    int result = libusb_get_configuration(handle, &current);
    if (result != 0) {
        fprintf(stderr, "libusb: Could not get configuration for device (err %d)\n", result);
        return result;
    }
    if (current == 0) {
        fprintf(stderr, "libusb: Device not configured?\n");
        return 1;
    }
    libusb_device_descriptor descriptor;
    result = libusb_get_device_descriptor(device, &descriptor);
    if (result != 0) {
        fprintf(stderr, "libusb: Could not get device descriptor for device  (err %d)\n", result);
        return result;
    }
    libusb_config_descriptor* configuration = nullptr;
    result = libusb_get_config_descriptor(device, 0, &configuration);
    if (result != 0) {
        fprintf(stderr, "libusb: Could not get config[0] descriptor for device (err %d)\n", result);
        return result;
    }
    const int set = libusb_set_configuration(handle, configuration->bConfigurationValue);
    for (int i = 0; i < 2 && i < configuration->bNumInterfaces; ++i) {
        const libusb_interface& interface = configuration->interface[i];
        if (interface.num_altsetting < 1)
            continue;
        const libusb_interface_descriptor& setting = interface.altsetting[0];
        for (int e = 0; e < setting.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
            if ((endpoint.bmAttributes & 3) != LIBUSB_TRANSFER_TYPE_BULK)
                continue;
            if (endpoint.bEndpointAddress & 0x80)
                bulk_in[i] = endpoint.bEndpointAddress;
            else
                bulk_out[i] = endpoint.bEndpointAddress;
        }
    }
    libusb_free_config_descriptor(configuration);

    if (set == 0 || set == LIBUSB_ERROR_BUSY)
        return 0;
    if (set == LIBUSB_ERROR_ACCESS) {
        printPermissionHint();
        return LIBUSB_ERROR_ACCESS;
    }
    return set;
}
