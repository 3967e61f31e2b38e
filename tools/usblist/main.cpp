// vrkt7x-usblist: lists the devices on the USB bus, as the fingerprint library sees them.
#include "vrkt7xsystem.h"

int main(int argc, char* argv[]) { return test(argc, argv); }
