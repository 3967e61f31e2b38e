#ifndef CUPSQUERIES_H
#define CUPSQUERIES_H

// What the library asks of the local CUPS service, through libcups on the calling thread's default
// connection (CUPS_SERVER, client.conf or the local socket). Nothing here keeps state between calls.

#include "PrinterTypes.h"
#include "vrkt7xsystem.h"

#include <cups/ipp.h>

// The pair CupsManager::getPrinters passes through cups_get_printers.
struct PrinterList_para_struct {
    CALLBACK_getPrinters callback;
    void* para;
};

// The exported queries (cups_get_printers, cups_get_job...) are declared in vrkt7xsystem.h.

// Builds the Get-Jobs request that cups_get_job sends (caller owns it). Not exported.
ipp_t* cups_new_get_jobs_request(const char* printer, const char* which);

#endif
