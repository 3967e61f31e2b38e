// The fingerprint operations of FingCmd: each builds its frames, runs them through the command
// exchanges and turns the printer's answers into a result code.

#include "FingCmd.h"

#include "OpenedDevice.h"
#include "ProtocolLog.h"
#include "system/Clock.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr int kVerifyPolls = 10; // print-time verification: polls 5 s apart
constexpr int kVerifyPollMs = 5000;
constexpr int kEnrolPolls = 30; // each enrolment step: polls 1 s apart
constexpr int kEnrolPollMs = 1000;
constexpr int kImportPolls = 90; // import status: polls 2 s apart
constexpr int kImportPollMs = 2000;
constexpr int kImportTries = 3; // bulk uploads of one import
constexpr int kBulkPiece = 4096; // bulk transfers move at most this much at a time
constexpr int kExportOpenPauseMs = 500;
constexpr int kExportPasses = 250; // passes waiting for the "EXPT" record
constexpr int64_t kExportWaitMs = 616000; // what those passes sleep in all, the first second included

// Length of a name as it goes to the printer: at most kNameSize bytes.
int boundedNameLength(const char* name, int len)
{
    if (!name || len < 0)
        return 0;
    return std::min(len, kNameSize);
}

// An 8-byte header followed by the name bytes, on the heap. Null when memory ran out.
BYTE* frameWithName(const void* header, const char* name, int len)
{
    BYTE* frame = static_cast<BYTE*>(malloc(kHeaderSize + len));
    if (!frame)
        return nullptr;
    memcpy(frame, header, kHeaderSize);
    if (len > 0)
        memcpy(frame + kHeaderSize, name, len);
    return frame;
}

// Copies a name received from the printer (at most kNameSize bytes, maybe without terminator) into
// a caller buffer of at least kNameSize + 1 bytes.
void copyReceivedName(char* dst, const char* name)
{
    const size_t n = strnlen(name, kNameSize);
    memcpy(dst, name, n);
    dst[n] = '\0';
}

// Pause before the next look for the export record, by the passes still left.
int exportPauseMs(int passesLeft)
{
    if (passesLeft >= 221)
        return 1000;
    if (passesLeft >= 176)
        return 2000;
    if (passesLeft >= 116)
        return 3000;
    if (passesLeft >= 66)
        return 5000;
    return 1000;
}

} // namespace

FingCmd::FingCmd()
    : m_pDeviceIO(nullptr)
    , m_pfgData(nullptr)
    , m_bFingerPrint(false)
    , m_bIsFingerPrintCancel(false)
{
    memset(&mPrinter, 0, sizeof(mPrinter));
}

FingCmd::FingCmd(char* pPrinterName)
    : FingCmd()
{
    SetFingCmdPrinter(pPrinterName);
}

FingCmd::FingCmd(char* pPrinterName, bool bPrint)
    : FingCmd()
{
    SetFingCmdPrinter(pPrinterName, bPrint);
}

FingCmd::~FingCmd()
{
    m_pDeviceIO = nullptr;
    releaseExportedData();
    m_bIsFingerPrintCancel = false;
}

void FingCmd::releaseExportedData()
{
    free(m_pfgData);
    m_pfgData = nullptr;
    m_exportedCount = 0;
}

void FingCmd::SetFingCmdPrinter(char* pPrinterName) { SetFingCmdPrinter(pPrinterName, false); }

void FingCmd::SetFingCmdPrinter(char* pPrinterName, bool bPrint)
{
    m_pDeviceIO = nullptr;
    const size_t n = pPrinterName ? strnlen(pPrinterName, kFieldSize) : 0;
    if (n < static_cast<size_t>(kFieldSize))
        copyField(mPrinter.deviceUri, pPrinterName);
    else
        mPrinter.deviceUri[0] = '\0';
    m_pDeviceIO = devicemanager.getDevice(&mPrinter);
    releaseExportedData();
    m_bFingerPrint = bPrint;
    m_bIsFingerPrintCancel = false;
}

int FingCmd::sendByTransport(void* frame, DWORD size, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult, WORD cbOutput)
{
    BYTE* bytes = static_cast<BYTE*>(frame);
    if (m_pDeviceIO->type() == kTransportUsb)
        return WriteDataViaUSB(bytes, size, pOutput, pcbLen, pbResult, cbOutput);
    return WriteDataViaNet(bytes, size, pOutput, pcbLen, pbResult, cbOutput);
}

int FingCmd::GetFingerStatus()
{
    fmLog("####FM: GetFingerStatus");
    FG_FUNC_T header = makeHeader<FG_FUNC_T>("FING");
    header.mode = 'R';
    BYTE status = 0;
    WORD len = 0;
    if (sendByTransport(&header, sizeof(header), nullptr, &len, &status, 0) != FM_OK)
        return -1;
    return status;
}

bool FingCmd::SetFingerStatus(unsigned char status)
{
    fmLog("####FM: SetFingerStatus");
    FG_FUNC_T header = makeHeader<FG_FUNC_T>("FING");
    header.mode = 'W';
    header.func = status;
    BYTE reply = 0;
    WORD len = 0;
    return sendByTransport(&header, sizeof(header), nullptr, &len, &reply, 0) == FM_OK;
}

int FingCmd::Check(char* userName, int len)
{
    fmLog("####FM:: Check");
    len = boundedNameLength(userName, len);
    BYTE status = 0;
    WORD replyLen = 0;
    FG_CHECK_T header = makeHeader<FG_CHECK_T>("CHCK");
    header.length.set(static_cast<uint16_t>(len));
    BYTE* frame = frameWithName(&header, userName, len);
    if (!frame)
        return FM_FAILED;
    const int result = sendByTransport(frame, kHeaderSize + len, nullptr, &replyLen, &status, 0);
    free(frame);
    if (result != FM_OK)
        return result;
    return status != 0 ? FM_OK : FM_UNKNOWN_USER;
}

int FingCmd::Delete(BYTE mode, char* userName, int len)
{
    fmLog("####FM: Delete");
    FG_DELETE_T header = makeHeader<FG_DELETE_T>("DELE");
    header.mode = mode;
    BYTE status = 0;
    WORD replyLen = 0;
    if (mode != 0)
        return sendByTransport(&header, sizeof(header), nullptr, &replyLen, &status, 0);

    len = boundedNameLength(userName, len);
    header.length.set(static_cast<uint16_t>(len));
    BYTE* frame = frameWithName(&header, userName, len);
    if (!frame)
        return FM_FAILED;
    const int result = sendByTransport(frame, kHeaderSize + len, nullptr, &replyLen, &status, 0);
    free(frame);
    return result == FM_REFUSED ? FM_UNKNOWN_USER : result;
}

bool FingCmd::CancelPrint()
{
    fmLog("####FM: CancelPrint");
    FG_CANCEL_T header = makeHeader<FG_CANCEL_T>("CANL");
    BYTE status = 0;
    WORD len = 0;
    return sendByTransport(&header, sizeof(header), nullptr, &len, &status, 0) == FM_OK;
}

int FingCmd::exitCancelled()
{
    CancelPrint();
    return FM_CANCELLED;
}

int FingCmd::IsPrint(char* userName, short int* pIndex)
{
    fmLog("####FM: IsPrint");
    if (m_bIsFingerPrintCancel)
        return exitCancelled();

    const bool usb = m_pDeviceIO->type() == kTransportUsb;
    auto send = [&](void* frame, BYTE* out, WORD* len, BYTE* status, WORD cbOutput) {
        BYTE* bytes = static_cast<BYTE*>(frame);
        return usb ? WriteDataViaUSB(bytes, kHeaderSize, out, len, status, cbOutput)
                   : WriteDataViaNet(bytes, kHeaderSize, out, len, status, cbOutput);
    };

    FG_DISC_T disc = makeHeader<FG_DISC_T>("DISC");
    BYTE status = 0;
    WORD len = 0;
    int result = send(&disc, nullptr, &len, &status, 0);
    if (result != FM_OK) {
        if (result == FM_BUSY)
            return FM_BUSY;
        return m_bIsFingerPrintCancel ? exitCancelled() : FM_FAILED;
    }
    if (m_bIsFingerPrintCancel)
        return exitCancelled();

    for (int poll = 1; poll <= kVerifyPolls; ++poll) {
        FG_STATUS_T stus = makeHeader<FG_STATUS_T>("STUS");
        status = 0;
        result = send(&stus, nullptr, &len, &status, 0);
        if (result == FM_OK && status >= 2)
            return FM_NO_MATCH;
        if (result == FM_BUSY)
            return FM_BUSY;
        if (result == FM_OK && status == 1) {
            FG_GETRESULT_T getr = makeHeader<FG_GETRESULT_T>("GETR");
            FG_DATA_T data;
            memset(&data, 0, sizeof(data));
            len = 0;
            result = send(&getr, reinterpret_cast<BYTE*>(&data), &len, &status, sizeof(data));
            if (result == FM_OK && len != 0) {
                if (data.UserName[0] == '\0') {
                    fmLog("####FM:IsPrint():  GETR userName is 0");
                    return FM_NO_USER;
                }
                copyReceivedName(userName, data.UserName);
                *pIndex = static_cast<short>(data.ID.get());
                return FM_OK;
            }
            // No result yet: wait like for any other poll.
        }
        libClock().sleepMilliseconds(kVerifyPollMs);
        if (poll == kVerifyPolls || m_bIsFingerPrintCancel)
            return m_bIsFingerPrintCancel ? exitCancelled() : FM_FAILED;
    }
    return FM_FAILED;
}

int FingCmd::AddFingerFirst(char* userName)
{
    fmLog("####FM:: AddFingerFirst");
    const int len = boundedNameLength(userName, userName ? static_cast<int>(strlen(userName)) : 0);
    FG_ADD_T header = makeHeader<FG_ADD_T>("ADDF");
    header.length.set(static_cast<uint16_t>(len));
    BYTE* frame = frameWithName(&header, userName, len);
    if (!frame)
        return FM_FAILED;

    BYTE status = 0;
    WORD replyLen = 0;
    int result = WriteDataViaUSB(frame, kHeaderSize + len, nullptr, &replyLen, &status, 0);
    if (result != FM_OK) {
        free(frame);
        return result;
    }

    bool answered = false;
    for (int poll = 1; poll <= kEnrolPolls; ++poll) {
        FG_STATUS_T stus = makeHeader<FG_STATUS_T>("STUS");
        status = 0;
        result = WriteDataViaUSB(reinterpret_cast<BYTE*>(&stus), kHeaderSize, nullptr, &replyLen, &status, 0);
        fmLog("return is %d, status is %d", result, status);
        if (result == FM_OK && status != 0) {
            answered = true;
            break;
        }
        libClock().sleepMilliseconds(kEnrolPollMs);
    }
    if (!answered) {
        CancelPrint();
        free(frame);
        // Nobody pressed a finger in time: the first step did not happen.
        return result == FM_OK ? FM_ADD_FAILED : result;
    }
    if (status == 1) {
        FG_GETRESULT_T getr = makeHeader<FG_GETRESULT_T>("GETR");
        result = WriteDataViaUSB(reinterpret_cast<BYTE*>(&getr), kHeaderSize, nullptr, &replyLen, &status, 0);
        free(frame);
        return result;
    }
    free(frame);
    fmLog("Add fail!");
    return FM_ADD_FAILED;
}

int FingCmd::AddFingerSecond(char* userName, short int* pIndex)
{
    fmLog("####FM: AddFingerSecond");
    FG_ADD_T adds = makeHeader<FG_ADD_T>("ADDS");
    BYTE status = 0;
    WORD len = 0;
    int result = WriteDataViaUSB(reinterpret_cast<BYTE*>(&adds), kHeaderSize, nullptr, &len, &status, 0);
    fmLog("####FM:AddFingerSecond(): ADDS return is %d.", result);
    if (result != FM_OK) {
        fmLog("####FM:AddFingerSecond(): add fail.");
        return FM_NO_USER;
    }

    bool ready = false;
    for (int poll = 1; poll <= kEnrolPolls && !ready; ++poll) {
        if (poll > 1)
            libClock().sleepMilliseconds(kEnrolPollMs);
        FG_STATUS_T stus = makeHeader<FG_STATUS_T>("STUS");
        status = 0;
        len = 0;
        result = WriteDataViaUSB(reinterpret_cast<BYTE*>(&stus), kHeaderSize, nullptr, &len, &status, 0);
        fmLog("####FM:AddFingerSecond(): STUS return is %d.", result);
        if (result != FM_OK)
            continue;
        fmLog("####FM:AddFingerSecond(): STUS return result=%d, length=%d.", status, len);
        if (status == 1) {
            ready = true;
        } else if (status == 2) {
            fmLog("####FM:AddFingerSecond(): result is 2.");
            return FM_NO_USER;
        }
    }
    if (!ready) {
        CancelPrint();
        fmLog("####FM:AddFingerSecond(): add fail.");
        return FM_NO_USER;
    }

    FG_GETRESULT_T getr = makeHeader<FG_GETRESULT_T>("GETR");
    FG_DATA_T data;
    memset(&data, 0, sizeof(data));
    len = 0;
    result = WriteDataViaUSB(
        reinterpret_cast<BYTE*>(&getr), kHeaderSize, reinterpret_cast<BYTE*>(&data), &len, &status, sizeof(data));
    fmLog("####FM:AddFingerSecond(): GETR return is %d.", result);
    if (result != FM_OK)
        return result;
    if (len == 0)
        return FM_OK;
    if (data.UserName[0] == '\0') {
        fmLog("####FM:AddFingerSecond():  GETR userName is 0");
        return FM_NO_USER;
    }
    copyReceivedName(userName, data.UserName);
    *pIndex = static_cast<short>(data.ID.get());
    fmLog("####FM:AddFingerSecond(): success.");
    fmLog("####FM:AddFingerSecond(): id=%d, name=%s.", *pIndex, userName);
    return FM_OK;
}

// Opens the device for an operation that runs several exchanges on it. 0, or 15 after `attempts`
// failed opens (the device is closed then). After 0 the caller closes it (OpenedDevice).
int FingCmd::openForTransfer(int attempts, int pauseMs, const char* failureLine)
{
    const int port = m_pDeviceIO->type() == kTransportUsb ? 0 : kFingerprintPort;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (m_pDeviceIO->open(&mPrinter, port) == 0)
            return FM_OK;
        fmLog("%s", failureLine);
        if (pauseMs > 0)
            libClock().sleepMilliseconds(pauseMs);
    }
    m_pDeviceIO->close();
    return FM_OPEN_FAILED;
}

int FingCmd::Export(int* len)
{
    fmLog("####CFingCmd: Export");
    fmLog("Send Export command!");
    if (m_pDeviceIO->type() != kTransportUsb)
        return -1;
    if (openForTransfer(5, kExportOpenPauseMs, "####FM:Export(): open usb fail.") != FM_OK)
        return FM_OPEN_FAILED;
    OpenedDevice opened(m_pDeviceIO);

    FG_EXPORT_T header = makeHeader<FG_EXPORT_T>("EXPT");
    BYTE status = 0;
    WORD replyLen = 0;
    int result = DataTransfer(reinterpret_cast<BYTE*>(&header), kHeaderSize, nullptr, &replyLen, &status, 0);
    fmLog("nResult(%d) = %d", 0, result);
    if (result != FM_OK)
        return FM_FAILED;
    if (replyLen == 0) {
        *len = 0;
        return FM_OK;
    }

    // The printer gathers its records and announces them with an "EXPT" record. The wait is
    // bounded by its schedule in time, not only in passes: a stalled bulk read takes 30 s itself.
    const int64_t waitStart = libClock().milliseconds();
    libClock().sleepMilliseconds(1000);
    FG_STA_T announce;
    bool announced = false;
    for (int passesLeft = kExportPasses - 1; passesLeft >= 0; --passesLeft) {
        memset(&announce, 0, sizeof(announce));
        const int n = m_pDeviceIO->read_bulk(reinterpret_cast<char*>(&announce), sizeof(announce), 0);
        fmLog("Get Return command, and dwRead is %d", n);
        if (n >= 1) {
            fmLog("sta code is %x, the expt is %x, length=%d", codeValue(announce.code), codeValue("EXPT"),
                announce.length.get());
            if (hasCode(announce.code, "EXPT")) {
                announced = true;
                break;
            }
        }
        if (n == -4) {
            fmLog("USB disconnect");
            return FM_FAILED;
        }
        if (libClock().milliseconds() - waitStart >= kExportWaitMs)
            break;
        libClock().sleepMilliseconds(exportPauseMs(passesLeft));
    }
    if (!announced) {
        CancelPrintWithTrans();
        return FM_FAILED;
    }

    const int count = announce.length.get();
    releaseExportedData();
    const size_t total = static_cast<size_t>(count) * kRecordSize;
    m_pfgData = static_cast<FG_DATAF_T*>(malloc(total > 0 ? total : 1));
    if (!m_pfgData)
        return FM_FAILED;
    fmLog("Receive Finger data ...!");
    if (count == 0) {
        releaseExportedData();
        return FM_ADD_FAILED;
    }

    BYTE* out = reinterpret_cast<BYTE*>(m_pfgData);
    size_t received = 0;
    int zeroReads = 0;
    while (received < total) {
        const int piece = static_cast<int>(std::min<size_t>(kBulkPiece, total - received));
        const int n = m_pDeviceIO->read_bulk(reinterpret_cast<char*>(out + received), piece, 0);
        if (n < 0)
            break;
        if (n == 0) {
            if (++zeroReads == 3) {
                fmLog("read data 0 = %d!", zeroReads);
                break;
            }
            continue;
        }
        zeroReads = 0;
        received += std::min<size_t>(n, piece);
    }

    // Only a complete download counts: a part of the records would be a corrupt backup.
    if (received == total) {
        *len = count;
        m_exportedCount = count;
        fmLog("read data success!");
        result = FM_OK;
    } else {
        releaseExportedData();
        result = FM_ADD_FAILED;
    }
    return result;
}

int FingCmd::GetFingerData(FG_DATAF_T* pfgData, int len)
{
    if (!m_pfgData)
        return 0;
    const int count = std::max(0, std::min(len, m_exportedCount));
    memcpy(pfgData, m_pfgData, static_cast<size_t>(count) * kRecordSize);
    releaseExportedData();
    return count;
}

int FingCmd::Import(FG_DATAF_T* pfgData, int len)
{
    FG_IMPORT_T header = makeHeader<FG_IMPORT_T>("IMPT");
    header.num.set(static_cast<uint16_t>(len));
    if (openForTransfer(5, 0, "####FM:IsPrint(): open usb fail.") != FM_OK)
        return FM_OPEN_FAILED;
    OpenedDevice opened(m_pDeviceIO);

    fmLog("####FM: Import");
    BYTE status = 0;
    WORD replyLen = 0;
    int result = DataTransfer(reinterpret_cast<BYTE*>(&header), kHeaderSize, nullptr, &replyLen, &status, 0);
    if (result != FM_OK)
        return result;

    const size_t total = static_cast<size_t>(len) * kRecordSize + kHeaderSize;
    BYTE* stream = static_cast<BYTE*>(malloc(total));
    if (!stream)
        return FM_FAILED;
    for (int attempt = 1; attempt <= kImportTries; ++attempt) {
        memcpy(stream, &header, kHeaderSize);
        if (len > 0)
            memcpy(stream + kHeaderSize, pfgData, total - kHeaderSize);
        size_t written = 0;
        while (written < total) {
            const int piece = static_cast<int>(std::min<size_t>(kBulkPiece, total - written));
            const int n = m_pDeviceIO->write_bulk(reinterpret_cast<char*>(stream + written), piece, 0);
            if (n <= 0)
                break;
            written += std::min(n, piece);
        }
        if (written == total) {
            fmLog("####FM: Import success");
            free(stream);
            return FM_OK;
        }
        libClock().sleepMilliseconds(1000);
    }
    free(stream);
    return FM_WRITE_FAILED;
}

int FingCmd::GetImportStatus()
{
    fmLog("####FM: GetImportStatus");
    BYTE status = 0;
    WORD len = 0;
    int result = FM_OK;
    for (int poll = 1; poll <= kImportPolls; ++poll) {
        FG_STATUS_T stus = makeHeader<FG_STATUS_T>("STUS");
        status = 0;
        result = sendByTransport(&stus, kHeaderSize, nullptr, &len, &status, 0);
        if (result == FM_OK && status != 0)
            return status == 1 ? FM_OK : FM_REFUSED;
        if (result == FM_BUSY || result == FM_REFUSED)
            return result;
        libClock().sleepMilliseconds(kImportPollMs);
    }
    // Still running after three minutes: the import did not finish.
    return result == FM_OK ? FM_FAILED : result;
}
