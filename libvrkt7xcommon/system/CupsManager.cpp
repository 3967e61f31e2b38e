#include "CupsManager.h"

namespace
{

int forwardPrinter(void* para, Printer_struct* printer)
{
    auto* pair = static_cast<PrinterList_para_struct*>(para);
    if (!pair->callback)
        return 1;
    return pair->callback(pair->para, printer);
}

} // namespace

int CupsManager::getPrinters(CALLBACK_getPrinters callback, void* para)
{
    PrinterList_para_struct pair { callback, para };
    return cups_get_printers(forwardPrinter, &pair);
}

int CupsManager::getJobs(
    CALLBACK_getJob callback, void* para, const char* printer, const char* which, const char* users)
{
    return cups_get_job(callback, para, printer, which, users);
}

const char* CupsManager::getDefaultPrinter() { return cups_get_default_printer(); }
