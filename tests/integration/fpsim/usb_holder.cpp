// Helper of tst_fpsim_usb: claims the simulated printer with the serial given as first argument,
// says "claimed", then with "read" waits in a long bulk read until it is killed, with "exit" ends
// at the end of its input without releasing or closing anything.

#include <cstdio>
#include <cstring>
#include <libusb.h>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0)
        return 1;
    libusb_device** list = nullptr;
    libusb_device_handle* handle = nullptr;
    const ssize_t n = libusb_get_device_list(ctx, &list);
    for (ssize_t i = 0; i < n && !handle; ++i) {
        libusb_device_descriptor dd;
        libusb_device_handle* h = nullptr;
        if (libusb_get_device_descriptor(list[i], &dd) != 0 || libusb_open(list[i], &h) != 0)
            continue;
        unsigned char text[64] = {};
        if (libusb_get_string_descriptor_ascii(h, dd.iSerialNumber, text, sizeof text) > 0
            && std::strcmp(reinterpret_cast<char*>(text), argv[1]) == 0)
            handle = h;
        else
            libusb_close(h);
    }
    libusb_free_device_list(list, 1);
    if (!handle || libusb_detach_kernel_driver(handle, 0) != 0 || libusb_claim_interface(handle, 0) != 0)
        return 1;
    std::printf("claimed\n");
    std::fflush(stdout);
    if (std::strcmp(argv[2], "exit") == 0) {
        while (std::getchar() != EOF) { }
        return 0;
    }
    unsigned char buf[8];
    int got = 0;
    libusb_bulk_transfer(handle, 0x82, buf, sizeof buf, &got, 60000);
    return 0;
}
