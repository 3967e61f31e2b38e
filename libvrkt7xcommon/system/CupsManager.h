#ifndef CUPSMANAGER_H
#define CUPSMANAGER_H

#include "CupsQueries.h"

// The CUPS queries as FingerCommon's printer discovery uses them. Holds nothing.
class CupsManager
{
public:
    // As cups_get_printers, with callback(para, printer) called for each printer; a null
    // callback walks every printer without calls. Returns 0.
    int getPrinters(CALLBACK_getPrinters callback, void* para);
    // As cups_get_job.
    int getJobs(CALLBACK_getJob callback, void* para, const char* printer = nullptr, const char* which = nullptr,
        const char* users = nullptr);
    // As cups_get_default_printer.
    const char* getDefaultPrinter();
};

#endif
