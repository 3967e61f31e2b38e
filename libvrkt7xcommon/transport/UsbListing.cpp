#include "UsbListing.h"

#include <cstdio>
#include <cstring>

int verbose = 1;

namespace
{

void printEndpoint(const libusb_endpoint_descriptor& endpoint)
{
    printf("      Endpoint:\n");
    printf("        bEndpointAddress:    %02xh\n", endpoint.bEndpointAddress);
    printf("        bmAttributes:        %02xh\n", endpoint.bmAttributes);
    printf("        wMaxPacketSize:      %d\n", endpoint.wMaxPacketSize);
    printf("        bInterval:           %d\n", endpoint.bInterval);
}

void printAltsetting(const libusb_interface_descriptor& setting)
{
    printf("    Interface:\n");
    printf("      bInterfaceNumber:      %d\n", setting.bInterfaceNumber);
    printf("      bAlternateSetting:     %d\n", setting.bAlternateSetting);
    printf("      bNumEndpoints:         %d\n", setting.bNumEndpoints);
    printf("      bInterfaceClass:       %d\n", setting.bInterfaceClass);
    printf("      bInterfaceSubClass:    %d\n", setting.bInterfaceSubClass);
    printf("      bInterfaceProtocol:    %d\n", setting.bInterfaceProtocol);
    for (int i = 0; i < setting.bNumEndpoints; ++i)
        printEndpoint(setting.endpoint[i]);
}

void printConfiguration(const libusb_config_descriptor& config)
{
    printf("  Configuration:\n");
    printf("    wTotalLength:            %d\n", config.wTotalLength);
    printf("    bNumInterfaces:          %d\n", config.bNumInterfaces);
    printf("    bConfigurationValue:     %d\n", config.bConfigurationValue);
    printf("    MaxPower:                %d\n", config.MaxPower);
    for (int i = 0; i < config.bNumInterfaces; ++i)
        for (int a = 0; a < config.interface[i].num_altsetting; ++a)
            printAltsetting(config.interface[i].altsetting[a]);
}

} // namespace

void print_device(libusb_device* dev, libusb_device_handle* handle)
{
    libusb_device_descriptor desc;
    if (libusb_get_device_descriptor(dev, &desc) != 0) {
        fprintf(stderr, "failed to get device descriptor\n");
        return;
    }
    unsigned char text[256];
    char description[512];
    if (handle && desc.iManufacturer
        && libusb_get_string_descriptor_ascii(handle, desc.iManufacturer, text, sizeof(text)) > 0) {
        snprintf(description, sizeof(description), "%s - ", reinterpret_cast<char*>(text));
    } else {
        snprintf(description, sizeof(description), "%04X - ", desc.idVendor);
    }
    const size_t used = strlen(description);
    if (handle && desc.iProduct && libusb_get_string_descriptor_ascii(handle, desc.iProduct, text, sizeof(text)) > 0)
        snprintf(description + used, sizeof(description) - used, "%s", reinterpret_cast<char*>(text));
    else
        snprintf(description + used, sizeof(description) - used, "%04X", desc.idProduct);

    printf("Dev (bus %u, device %u): %s\n", libusb_get_bus_number(dev), libusb_get_device_address(dev), description);
    if (handle && desc.iSerialNumber
        && libusb_get_string_descriptor_ascii(handle, desc.iSerialNumber, text, sizeof(text)) > 0)
        printf("  - Serial Number: %s\n", reinterpret_cast<char*>(text));

    if (!verbose)
        return;
    for (int i = 0; i < desc.bNumConfigurations; ++i) {
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_config_descriptor(dev, i, &config) != 0) {
            printf("  Couldn't retrieve descriptors\n");
            continue;
        }
        printConfiguration(*config);
        libusb_free_config_descriptor(config);
    }
}

int test(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (argv[i] && strcmp(argv[i], "-v") == 0)
            verbose = 1;

    if (libusb_init(nullptr) != 0)
        return 1;
    libusb_device** devices = nullptr;
    const ssize_t count = libusb_get_device_list(nullptr, &devices);
    if (count < 0) {
        libusb_exit(nullptr);
        return static_cast<int>(count);
    }
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_handle* handle = nullptr;
        if (libusb_open(devices[i], &handle) != 0)
            handle = nullptr;
        print_device(devices[i], handle);
        if (handle)
            libusb_close(handle);
    }
    libusb_free_device_list(devices, 1);
    libusb_exit(nullptr);
    return 0;
}
