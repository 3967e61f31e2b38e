#ifndef CUPSQUERIES_H
#define CUPSQUERIES_H

// What the library asks of the local CUPS service, through libcups on the calling thread's default
// connection (CUPS_SERVER, client.conf or the local socket). Nothing here keeps state between calls.
// Exported from libvrkt7xcommon with C++ linkage.

#include "PrinterTypes.h"
#include "vrkt7xexport.h"

#include <cups/ipp.h>

// Called once per printer; return nonzero to go on, 0 to stop the walk.
typedef int (*CALLBACK_getPrinters)(void* para, Printer_struct* printer);
// Called once per job; the record is only valid during the call.
typedef void (*CALLBACK_getJob)(void* para, Job_struct* job);

// The pair CupsManager::getPrinters passes through cups_get_printers.
struct PrinterList_para_struct {
    CALLBACK_getPrinters callback;
    void* para;
};

// Walks CUPS' destinations in the order CUPS gives them and hands each to callback as a
// Printer_struct: name, "printer-make-and-model", "device-uri" (each at most 255 characters,
// empty when the destination lacks it), connectTo empty, isDefault. The record is reused for
// every call: the callback copies what it keeps. Stops early when the callback returns 0.
// Returns 0, or -2 when callback is null. No destinations (or no CUPS) means no calls and 0.
VRKT_EXPORT int cups_get_printers(CALLBACK_getPrinters callback, void* para);

// The default destination's name, or null when there is none. The text belongs to libcups and
// stays valid until the thread's next libcups call.
VRKT_EXPORT const char* cups_get_default_printer();

// Copies the "device-uri" of the destination called printer into device_uri (a caller buffer of
// at least 256 bytes; at most 255 characters are written, always terminated). A destination
// without the option gives "". A name CUPS does not know (or a null name) leaves device_uri
// untouched, so callers clear it first. Returns 0.
VRKT_EXPORT int cups_get_device_uri(const char* printer, char* device_uri);

// The same for "printer-make-and-model" into model (at least 256 bytes). Returns 0.
VRKT_EXPORT int get_device_model(const char* printer, char* model);

// Resolves device_uri with libcups' URI resolver (no options, no callback): a "dnssd://" URI
// becomes a directly usable one, other URIs come back unchanged. buffer receives the result,
// truncated to bufsize - 1 characters. Returns 0, or -1 when the URI cannot be resolved (then
// buffer holds "" when bufsize > 0).
VRKT_EXPORT int cups_resolve_uri(const char* device_uri, char* buffer, int bufsize);

// Inside a CUPS backend or filter: asks the backend side channel (descriptor 4) for the device
// ID, waiting at most one second. data receives the text, at most datalen - 1 bytes, terminated.
// Returns 0 when an ID came back; otherwise -1 with data[0] = 0 (when datalen > 0). Outside a
// backend, when descriptor 4 is not a socket, nothing is sent and the result is -1 at once.
VRKT_EXPORT int cups_usb_getDeviceID(char* data, int datalen);

// Asks CUPS for the jobs of printer (null: every printer) with IPP Get-Jobs; which is the
// "which-jobs" keyword ("completed", "not-completed", "all"...; null means "all"). users is not
// used. Each job that names its printer and has a nonzero id goes to callback. Returns 0, or 1
// when CUPS answered with an error (printed to standard error).
VRKT_EXPORT int cups_get_job(CALLBACK_getJob callback, void* para, const char* printer,
                             const char* which, const char* users);

// Sends a prepared Get-Jobs request (consumed) and walks its answer as cups_get_job describes.
VRKT_EXPORT int cups_get_job_with_request(CALLBACK_getJob callback, void* para, ipp_t* request);

// Builds the Get-Jobs request that cups_get_job sends (caller owns it). Not exported.
ipp_t* cups_new_get_jobs_request(const char* printer, const char* which);

#endif
