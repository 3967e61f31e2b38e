#ifndef USBLISTING_H
#define USBLISTING_H

// The USB bus listing (verbose, print_device, test) is exported: see vrkt7xsystem.h.
#include "vrkt7xsystem.h"

#include <libusb.h>

#endif
