#ifndef USBAPI_H
#define USBAPI_H

#include <libusb.h>
#include <mutex>

// Search keys and result of one device search.
struct struct_deviceInfo {
    int vid;
    int pid;
    int locationID;
    int address;
    char serial[256];
};

struct struct_device {
    struct_deviceInfo deviceInfo;
    libusb_device* dev; // the matching device, or null
    libusb_device_handle* udev; // the handle opened on it, or null
};

// The thin libusb layer under UsbIO: device search by serial number or by vendor and product ID,
// configuration, interface claim and release, vendor control transfers, the printer-class device ID
// and bulk transfers. Results are 0 or a byte count on success and a negative libusb code on failure
// unless stated.
class UsbApi
{
public:
    UsbApi();

    // libusb's default context is set up at the first search of the bus, not when the object is
    // made: the library's service object holds a UsbApi from load on, and a process that only
    // reaches network printers (the print backend for socket:// URIs) has no use for the USB
    // event thread and device scan that setting it up costs. init() does it at once; both give
    // libusb's result, and exit() releases the context only when it was set up.
    int init();
    int exit();

    int open(int vid, int pid, const char* serial, int interface);
    int close();
    bool isConnected(int vid, int pid, const char* serial);
    int getDeviceAddress(int vid, int pid, const char* serial, int* address, int* bus);
    int getDeviceWithSerial(int vid, int pid, const char* serial);

    int write(char* buffer, int bufsize);
    int read(char* buffer, int bufsize);
    int getDeviceId(char* buffer, int bufsize);
    int write_bulk(char* buffer, int bufsize, unsigned int interface);
    int read_bulk(char* buffer, int bufsize, unsigned int interface);
    int config(libusb_device* device, libusb_device_handle* handle);

    int g_interface;
    libusb_device* g_device;
    libusb_device_handle* g_dev_h;
    int bulk_in[2];
    int bulk_out[2];

private:
    std::mutex m_initMutex; // searches may come from more than one thread
    int m_initResult = 1; // libusb_init's result, 1 while not tried
    // Searches the bus; on success the found device and its open handle are in `found`.
    int search(int vid, int pid, const char* serial, struct_device* found);
    int controlIndex() const { return g_interface == 1 ? 0x0100 : 0; }
};

// Calls handler(device, data) for each device on the bus until one returns 0; returns the last
// handler result, -1 for an empty list or no handler, or the list error.
int iterateDevices(int (*handler)(libusb_device*, void*), void* data);
int claimInterface(libusb_device_handle* handle, int interface);
int releaseInterface(libusb_device_handle* handle, int interface);
// The text for a libusb result code.
const char* usbErrorText(int code);

// Applies the device-ID length rule to a GET_DEVICE_ID reply in buffer (bufsize bytes): the two
// length bytes are dropped and the text terminated. When `received` (the bytes the transfer
// delivered) is known, no more than the received text is kept, whether the printer's length counts
// the two length bytes themselves (as IEEE 1284 has it) or not. Always 0.
int deviceIdFromReply(char* buffer, int bufsize, int received = -1);

#endif
