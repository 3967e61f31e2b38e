#ifndef USBLISTING_H
#define USBLISTING_H

#include "vrkt7xexport.h"

#include <libusb.h>

// Diagnostic listing of the USB bus on standard output: bus, address, manufacturer and product
// (or their IDs), serial number and, while verbose is nonzero, the configuration, interface and
// endpoint descriptors. "-v" among the arguments turns verbose on.
VRKT_EXPORT extern int verbose;
VRKT_EXPORT void print_device(libusb_device* dev, libusb_device_handle* handle);
VRKT_EXPORT int test(int argc, char* argv[]);

#endif
