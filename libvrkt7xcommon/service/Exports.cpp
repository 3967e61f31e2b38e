// The exported fingerprint functions: each forwards to the one FingerCommon of the library.

#include "FingerCommon.h"
#include "vrkt7xcommon.h"

#include <cstring>

static_assert(VRKT_NAME_TOO_LONG == FM_NAME_TOO_LONG, "the public failure code is the library's own");

// Lives from library load to unload.
FingerCommon fingerComm;

extern "C" {

bool IsDeviceConnect(char* pPrinterName) { return fingerComm.IsDeviceConnect(pPrinterName); }

int GetDeviceConnect(char** pPrinterName, char** printUri)
{
    return fingerComm.getDeviceConnect(pPrinterName, printUri);
}

int IsDeviceConnectForPrint(char* pPrinterName)
{
    // Cut to the 255 bytes of a device URI field, a longer URI would name another printer.
    if (!pPrinterName || strnlen(pPrinterName, kFieldSize) >= static_cast<size_t>(kFieldSize))
        return 0;
    return fingerComm.IsDeviceConnectForPrint(pPrinterName);
}

int IsDeviceFingerOpen(char* pPrinterName) { return fingerComm.IsDeviceFingerOpen(pPrinterName); }

int IsDeviceFingerOpenForPrint(char* pPrinterName) { return fingerComm.IsDeviceFingerOpenForPrint(pPrinterName); }

bool OpenFinger(char* pPrinterName) { return fingerComm.OpenFinger(pPrinterName); }

bool CloseFinger(char* pPrinterName) { return fingerComm.CloseFinger(pPrinterName); }

int CheckFinger(char* pPrinterName, char* userName) { return fingerComm.CheckFinger(pPrinterName, userName); }

bool CancelFingerPrint(char* pPrinterName) { return fingerComm.CancelFingerPrint(pPrinterName); }

int DeleteFinger(char* pPrinterName, char* userName) { return fingerComm.DeleteFinger(pPrinterName, userName); }

int DeleteFingers(char* pPrinterName) { return fingerComm.DeleteFingers(pPrinterName); }

int AddFinger(char* pPrinterName, int mode, char* userName, int* ret_index)
{
    return fingerComm.AddFinger(pPrinterName, mode, userName, ret_index);
}

int ImportFinger(char* pPrinterName, char* fileName) { return fingerComm.ImportFinger(pPrinterName, fileName); }

int ExportFinger(char* pPrinterName, char* fileName, int* pdwLen)
{
    return fingerComm.ExportFinger(pPrinterName, fileName, pdwLen);
}

bool IsFingerPrint(char* pPrinterName, char* userName, short int* pIndex)
{
    return fingerComm.IsFingerPrint(pPrinterName, userName, pIndex);
}

bool DropFingerPrintJob(char* pPrinterName) { return fingerComm.DropFingerPrintJob(pPrinterName); }

} // extern "C"
