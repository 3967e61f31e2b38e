#ifndef DISCOVERY_H
#define DISCOVERY_H

#include "system/PrinterTypes.h"

// The model test: true when the printer's make-and-model names the supported family
// ("ZPH6100RMX", case-sensitive, anywhere in the text). The initial value of the
// isDeviceSupported hook.
bool _isDeviceSupported(Printer_struct* ps);

#endif
