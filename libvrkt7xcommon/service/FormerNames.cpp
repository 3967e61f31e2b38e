// The exported helpers with plain C signatures had C++ linkage in the library's first release.
// Programs built then bind them by their C++ (mangled) names; each of those names stays exported
// here and forwards to the function under its plain name.

#include "ipc/HxLog.h"
#include "system/CupsQueries.h"
#include "transport/UsbListing.h"
#include "vrkt7xsystem.h"

#include <cstdarg>

#define VRKT_FORMER_NAME(mangled) __asm__(mangled) VRKT_EXPORT

namespace former
{

int cups_get_printers(CALLBACK_getPrinters, void*) VRKT_FORMER_NAME("_Z17cups_get_printersPFiPvP14Printer_structES_");
int cups_get_printers(CALLBACK_getPrinters callback, void* para) { return ::cups_get_printers(callback, para); }

int cups_get_job(CALLBACK_getJob, void*, const char*, const char*, const char*)
    VRKT_FORMER_NAME("_Z12cups_get_jobPFvPvP10Job_structES_PKcS5_S5_");
int cups_get_job(CALLBACK_getJob callback, void* para, const char* printer, const char* which, const char* users)
{
    return ::cups_get_job(callback, para, printer, which, users);
}

int cups_get_job_with_request(CALLBACK_getJob, void*, ipp_t*)
    VRKT_FORMER_NAME("_Z25cups_get_job_with_requestPFvPvP10Job_structES_P6_ipp_s");
int cups_get_job_with_request(CALLBACK_getJob callback, void* para, ipp_t* request)
{
    return ::cups_get_job_with_request(callback, para, request);
}

const char* cups_get_default_printer() VRKT_FORMER_NAME("_Z24cups_get_default_printerv");
const char* cups_get_default_printer() { return ::cups_get_default_printer(); }

int cups_get_device_uri(const char*, char*) VRKT_FORMER_NAME("_Z19cups_get_device_uriPKcPc");
int cups_get_device_uri(const char* printer, char* device_uri) { return ::cups_get_device_uri(printer, device_uri); }

int get_device_model(const char*, char*) VRKT_FORMER_NAME("_Z16get_device_modelPKcPc");
int get_device_model(const char* printer, char* model) { return ::get_device_model(printer, model); }

int cups_resolve_uri(const char*, char*, int) VRKT_FORMER_NAME("_Z16cups_resolve_uriPKcPci");
int cups_resolve_uri(const char* device_uri, char* buffer, int bufsize)
{
    return ::cups_resolve_uri(device_uri, buffer, bufsize);
}

int cups_usb_getDeviceID(char*, int) VRKT_FORMER_NAME("_Z20cups_usb_getDeviceIDPci");
int cups_usb_getDeviceID(char* data, int datalen) { return ::cups_usb_getDeviceID(data, datalen); }

bool is_app_running(const char*) VRKT_FORMER_NAME("_Z14is_app_runningPKc");
bool is_app_running(const char* server_path) { return ::is_app_running(server_path); }

void log_init() VRKT_FORMER_NAME("_Z8log_initv");
void log_init() { ::log_init(); }

int hxlog(const char*, ...) VRKT_FORMER_NAME("_Z5hxlogPKcz");
int hxlog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = vhxlog(format, args);
    va_end(args);
    return n;
}

int setSockNonBlock(int) VRKT_FORMER_NAME("_Z15setSockNonBlocki");
int setSockNonBlock(int sock) { return ::setSockNonBlock(sock); }

void print_device(libusb_device*, libusb_device_handle*)
    VRKT_FORMER_NAME("_Z12print_deviceP13libusb_deviceP20libusb_device_handle");
void print_device(libusb_device* dev, libusb_device_handle* handle) { ::print_device(dev, handle); }

int test(int, char**) VRKT_FORMER_NAME("_Z4testiPPc");
int test(int argc, char* argv[]) { return ::test(argc, argv); }

} // namespace former
