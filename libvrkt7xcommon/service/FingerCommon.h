#ifndef FINGERCOMMON_H
#define FINGERCOMMON_H

#include "protocol/FingCmd.h"
#include "system/CupsManager.h"
#include "transport/DeviceManager.h"

#include <QList>
#include <QStringList>

// The service object behind the exported functions: rebinds its one FingCmd to the printer named in
// each call and runs one operation, keeps the supported printers of the last discovery pass, and
// reads and writes fingerprint data files (concatenated 546-byte FG_DATAF_T records).
class FingerCommon
{
public:
    FingerCommon();
    ~FingerCommon();

    FingerCommon(const FingerCommon&) = delete;
    FingerCommon& operator=(const FingerCommon&) = delete;

    // Discovery (see Discovery.cpp).
    bool IsDeviceConnect(char* pPrinterName);
    int getDeviceConnect(char** pPrinterName, char** printUri);
    int IsDeviceConnectForPrint(char* pPrinterName);
    bool getDevice();

    // Fingerprint operations by device URI.
    int IsDeviceFingerOpen(char* pPrinterName);
    int IsDeviceFingerOpenForPrint(char* pPrinterName);
    bool OpenFinger(char* pPrinterName);
    bool CloseFinger(char* pPrinterName);
    int CheckFinger(char* pPrinterName, char* userName);
    bool CancelFingerPrint(char* pPrinterName);
    bool DropFingerPrintJob(char* pPrinterName);
    int DeleteFinger(char* pPrinterName, char* userName);
    int DeleteFingers(char* pPrinterName);
    int AddFinger(char* pPrinterName, int mode, char* userName, int* ret_index);
    int ImportFinger(char* pPrinterName, char* fileName);
    int ExportFinger(char* pPrinterName, char* fileName, int* pdwLen);
    bool IsFingerPrint(char* pPrinterName, char* userName, short int* pIndex);

    // Most printers a discovery pass hands out: the callers' arrays have this many slots.
    static constexpr int kMaxListedPrinters = VRKT_MAX_PRINTERS;

    QList<Printer_struct> printers;
    QStringList printerlist;
    bool abort;
    DeviceManager devicemanager;
    CupsManager cupsmanager;
    FingCmd cmd;

private:
    void logPrinter(const Printer_struct& printer);
};

// The library's one service object (defined with the exported functions).
extern FingerCommon fingerComm;

// Collects the supported printers of a discovery pass into the FingerCommon given as para.
int callback_getPrinters(void* para, Printer_struct* ps);

#endif
