#ifndef FINGCMD_H
#define FINGCMD_H

#include "FingFrames.h"
#include "transport/DeviceManager.h"

#include <atomic>

// The library's handle on one printer's fingerprint unit. It is bound to a printer by device URI,
// takes the matching transport from its own DeviceManager and runs the command exchanges over it.
class FingCmd
{
public:
    FingCmd();
    explicit FingCmd(char* pPrinterName);
    FingCmd(char* pPrinterName, bool bPrint);
    ~FingCmd();

    FingCmd(const FingCmd&) = delete;
    FingCmd& operator=(const FingCmd&) = delete;

    // Binding: takes the transport for the device URI pPrinterName, drops exported records and
    // clears the cancel flag. A URI of 256 bytes or more binds to the empty URI, which no
    // transport opens.
    void SetFingCmdPrinter(char* pPrinterName);
    void SetFingCmdPrinter(char* pPrinterName, bool bPrint);

    // Test seam: makes io the transport of the following exchanges (not owned) until the next
    // binding. Tests hand in a scripted DeviceIO here.
    void attachDeviceIO(DeviceIO* io) { m_pDeviceIO = io; }

    // Command exchanges. Each returns a result code (FingResult); see FingCmdTransfer.cpp.
    int WriteDataViaUSB(BYTE* pInput, DWORD cbInput, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult, WORD cbOutput);
    int WriteDataViaNet(BYTE* pInput, DWORD cbInput, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult, WORD cbOutput);
    int DataTransfer(BYTE* pInput, DWORD cbInput, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult, WORD cbOutput);
    int DataTransferForPrint(BYTE* pInput, DWORD cbInput, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult, WORD cbOutput);
    int WriteBulkDataViaUSB(BYTE* pInput, DWORD cbInput);
    int ReadBulkDataViaUSB(BYTE* pOutput, DWORD cbOutput);
    bool CancelPrintWithTrans();

    // Fingerprint operations; each returns a result code (FingResult) unless stated.
    int GetFingerStatus(); // the state byte, or -1
    bool SetFingerStatus(unsigned char status); // true when the printer took the command
    int Check(char* userName, int len);
    int Delete(BYTE mode, char* userName, int len);
    bool CancelPrint();
    int IsPrint(char* userName, short int* pIndex);
    int AddFingerFirst(char* userName);
    int AddFingerSecond(char* userName, short int* pIndex);
    int Export(int* len);
    int GetFingerData(FG_DATAF_T* pfgData, int len); // records handed over
    int Import(FG_DATAF_T* pfgData, int len);
    int GetImportStatus();

    DeviceIO* m_pDeviceIO;
    DeviceManager devicemanager;
    Printer_struct mPrinter;
    FG_DATAF_T* m_pfgData;
    bool m_bFingerPrint;
    // Set from another thread to stop a print-time verification.
    std::atomic<bool> m_bIsFingerPrintCancel;

private:
    enum class Routine { DataTransfer, DataTransferForPrint, WriteDataViaUSB };

    bool cancelRequested() const { return m_bFingerPrint && m_bIsFingerPrintCancel; }
    int exchangeOnOpenDevice(Routine routine, BYTE* pInput, DWORD cbInput, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult,
        WORD cbOutput, bool* accepted = nullptr);
    int readLongReply(Routine routine, BYTE* pOutput, WORD cbOutput);
    template <typename Transfer> int bulkWithRetries(const char* name, Transfer transfer);
    void releaseExportedData();
    // Sends a frame with WriteDataViaUSB on a USB transport, else with WriteDataViaNet.
    int sendByTransport(void* frame, DWORD size, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult, WORD cbOutput);
    int openForTransfer(int attempts, int pauseMs, const char* failureLine);
    int exitCancelled();

    // Receive buffers of DataTransfer and WriteDataViaUSB.
    BYTE m_transferBuffer[1024];
    BYTE m_usbBuffer[1024];
    // Number of records in m_pfgData.
    int m_exportedCount = 0;
};

#endif
