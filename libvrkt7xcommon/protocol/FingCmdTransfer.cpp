// The command exchanges of FingCmd: one frame out, one status record (and any reply payload) back,
// with the printer's progress packets and "not ready" answers waited out, and retries around the
// exchanges that open the device themselves.

#include "FingCmd.h"
#include "OpenedDevice.h"
#include "ProtocolLog.h"
#include "system/Clock.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{

constexpr int kMaxWaits = 21; // waits (progress packets and 'N' answers) per waiting phase
constexpr int kAttempts = 5; // attempts of the routines that open the device themselves
constexpr int kRetryPauseMs = 200; // pause between two attempts
constexpr int kWaitMs = 100; // one wait
constexpr int kUsbNotReadyWaitMs = 200; // one wait after 'N' in WriteDataViaUSB
constexpr int kLongReply = 512; // reply payloads of this size or more come in data packets

// Counts the waits of one waiting phase; refuses the 22nd.
class WaitCounter
{
public:
    // Sleeps and counts one wait; false (and no sleep) when kMaxWaits were already made.
    bool wait(int ms)
    {
        if (m_waits >= kMaxWaits)
            return false;
        libClock().sleepMilliseconds(ms);
        ++m_waits;
        return true;
    }
    int count() const { return m_waits; }

private:
    int m_waits = 0;
};

bool isProgressPacket(const BYTE* buffer, int n)
{
    return n >= 2 && buffer[0] == kProgressByte0 && buffer[1] == kProgressByte1;
}

// What a status record says: FM_OK for 'A', FM_NOT_READY for 'N', FM_BUSY for 'B', FM_REFUSED
// for any other acknowledgement, and FM_NOT_STATUS when it is no status record at all.
int classifyStatus(const StatusReply& reply)
{
    if (!hasCode(reply.code, kStatusCode))
        return FM_NOT_STATUS;
    switch (reply.ack) {
    case 'A':
        return FM_OK;
    case 'N':
        return FM_NOT_READY;
    case 'B':
        return FM_BUSY;
    default:
        return FM_REFUSED;
    }
}

const char* routineName(bool usbRoutine) { return usbRoutine ? "WriteDataViaUSB" : "DataTransfer"; }

} // namespace

// Reads status records until one settles the exchange. Shared by DataTransfer, its print variant
// and WriteDataViaUSB (each attempt); the differences between them are keyed on `routine`.
// Returns the result code; *accepted tells whether the printer answered 'A'.
int FingCmd::exchangeOnOpenDevice(Routine routine, BYTE* pInput, DWORD cbInput, BYTE* pOutput, WORD* pcbLen,
    BYTE* pbResult, WORD cbOutput, bool* accepted)
{
    const bool usbRoutine = routine == Routine::WriteDataViaUSB;
    const bool forPrint = routine == Routine::DataTransferForPrint;
    BYTE* buffer = usbRoutine ? m_usbBuffer : m_transferBuffer;
    const int bufferSize = static_cast<int>(sizeof(m_usbBuffer));

    if (m_pDeviceIO->write(reinterpret_cast<char*>(pInput), static_cast<int>(cbInput)) <= 0) {
        fmLog("####FM:WriteDataViaUSB(): write usb timeout.");
        return FM_WRITE_FAILED;
    }

    // The network transport delivers a read only when exactly the asked size arrived, so there
    // the status record is read on its own.
    const int readSize = (usbRoutine || m_pDeviceIO->type() == kTransportUsb) ? bufferSize : kHeaderSize;
    memset(buffer, INIT_VALUE, bufferSize);
    WaitCounter waits;
    int result = FM_NO_REPLY; // no status record yet
    int n = -1;
    WORD announced = 0; // payload length of the accepted reply
    for (;;) {
        n = m_pDeviceIO->read(reinterpret_cast<char*>(buffer), readSize);
        if (forPrint && m_bIsFingerPrintCancel)
            return FM_CANCELLED;
        if (usbRoutine && n > 0 && cancelRequested()) {
            fmLog("####FM:WriteDataViaUSB: cancel 2");
            return FM_CANCELLED;
        }
        if (n < 0)
            return result; // 16 when the printer never answered, 10 after 'N'
        if (isProgressPacket(buffer, n)) {
            if (usbRoutine || waits.count() % 5 == 0)
                fmLog("####FM:get sync info");
            if (!waits.wait(kWaitMs))
                return FM_NEVER_READY;
            continue;
        }
        if (n == 0 || buffer[0] == INIT_VALUE) {
            fmLog("####FM:Get command error!");
            return FM_NO_REPLY;
        }
        fmLog("####FM:Get return command");
        const StatusReply reply = parseStatus(buffer);
        if (usbRoutine)
            fmLog("####FM:return command is 0x%x, 0x%x, length is %d, ack is %c", codeValue(kStatusCode),
                codeValue(reply.code), reply.length, reply.ack);
        result = classifyStatus(reply);
        if (result == FM_OK) {
            fmLog("####FM:printer is ready, and result is %d", reply.status);
            if (pbResult)
                *pbResult = reply.status;
            if (pcbLen)
                *pcbLen = reply.length;
            announced = reply.length;
            if (accepted)
                *accepted = true;
        } else if (result == FM_NOT_READY) {
            if (!usbRoutine)
                fmLog("####FM:Printer is not ready, wait for 20*100 ms");
            if (!waits.wait(usbRoutine ? kUsbNotReadyWaitMs : kWaitMs))
                return FM_NEVER_READY;
            continue;
        } else if (result != FM_NOT_STATUS) {
            fmLog("####FM:Recevie return command, and ack is %c", reply.ack);
        }
        fmLog("####FM:%s(): get data success.", routineName(usbRoutine));
        break;
    }

    if (result != FM_OK || !pOutput || cbOutput == 0)
        return result;
    if (readSize == kHeaderSize) {
        // Network: the payload follows the record in the byte stream, if the printer has one.
        if (announced == 0)
            return FM_OK;
        std::vector<BYTE> payload(cbOutput);
        if (m_pDeviceIO->read(reinterpret_cast<char*>(payload.data()), cbOutput) != cbOutput) {
            fmLog("####FM:Get command error!");
            return FM_NO_REPLY;
        }
        memcpy(pOutput, payload.data(), cbOutput);
        fmLog("####FM:WriteDataViaUSB(): wirte data success.");
        return FM_OK;
    }
    if (cbOutput < kLongReply) {
        if (n >= 9) {
            // A record with less payload than asked for was cut short: it is no result (a part
            // of a user name would be taken for the whole of it), as over the network.
            if (n - kHeaderSize < cbOutput) {
                fmLog("####FM:Get command error!");
                return FM_NO_REPLY;
            }
            memcpy(pOutput, buffer + kHeaderSize, cbOutput);
            fmLog("####FM:WriteDataViaUSB(): wirte data 2.");
        }
        fmLog("####FM:WriteDataViaUSB(): wirte data success.");
        return FM_OK;
    }
    return readLongReply(routine, pOutput, cbOutput);
}

// Reads a reply payload of kLongReply bytes or more, sent as data packets of at least 512 bytes,
// possibly preceded by progress packets and status records.
int FingCmd::readLongReply(Routine routine, BYTE* pOutput, WORD cbOutput)
{
    const bool usbRoutine = routine == Routine::WriteDataViaUSB;
    BYTE* buffer = usbRoutine ? m_usbBuffer : m_transferBuffer;
    const int bufferSize = static_cast<int>(sizeof(m_usbBuffer));
    memset(buffer, INIT_VALUE, bufferSize);

    int received = 0;
    int phaseResult = FM_OK;
    WaitCounter waits;
    for (;;) {
        const int n = m_pDeviceIO->read(reinterpret_cast<char*>(buffer), bufferSize);
        if (n < 0) {
            // The reply ended before all of the payload arrived.
            return phaseResult != FM_OK ? phaseResult : FM_NO_REPLY;
        }
        if (usbRoutine && cancelRequested()) {
            fmLog("####FM:WriteDataViaUSB: cancel 3");
            return FM_CANCELLED;
        }
        if (isProgressPacket(buffer, n)) {
            fmLog("####FM:get sync info");
            if (!waits.wait(kWaitMs))
                return FM_NEVER_READY;
            continue;
        }
        if (n == 0 || buffer[0] == INIT_VALUE || (n > kHeaderSize && n < kLongReply)) {
            fmLog("####FM:Get command error!");
            return FM_NO_REPLY;
        }
        if (n <= kHeaderSize) {
            // Every record counts as a wait, not only 'N': a printer that keeps sending records
            // instead of the data must not keep the reader here for ever.
            if (!waits.wait(kWaitMs))
                return FM_NEVER_READY;
            fmLog("####FM:Get return command");
            const StatusReply reply = parseStatus(buffer);
            phaseResult = classifyStatus(reply);
            if (phaseResult == FM_OK)
                fmLog("####FM:printer is ready, and result is %d", reply.status);
            else if (phaseResult == FM_BUSY || phaseResult == FM_REFUSED)
                fmLog("####FM:Recevie return command, and ack is %c", reply.ack);
            continue;
        }
        if (!usbRoutine)
            fmLog("####FM:Get finger data, the size is %d", n);
        const int take = std::min(n, cbOutput - received);
        memcpy(pOutput + received, buffer, take);
        received += take;
        if (received >= cbOutput) {
            fmLog("####FM:WriteDataViaUSB(): wirte data success.");
            return FM_OK;
        }
        fmLog("####FM:Get Output is not complete");
    }
}

int FingCmd::DataTransfer(BYTE* pInput, DWORD cbInput, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult, WORD cbOutput)
{
    fmLog("####FM:DataTransfer");
    return exchangeOnOpenDevice(Routine::DataTransfer, pInput, cbInput, pOutput, pcbLen, pbResult, cbOutput);
}

int FingCmd::DataTransferForPrint(
    BYTE* pInput, DWORD cbInput, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult, WORD cbOutput)
{
    fmLog("####FM:DataTransfer");
    const int result
        = exchangeOnOpenDevice(Routine::DataTransferForPrint, pInput, cbInput, pOutput, pcbLen, pbResult, cbOutput);
    if (m_bIsFingerPrintCancel && (result == FM_NO_REPLY || result == FM_NEVER_READY))
        return FM_CANCELLED;
    return result;
}

int FingCmd::WriteDataViaUSB(BYTE* pInput, DWORD cbInput, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult, WORD cbOutput)
{
    int result = FM_NO_REPLY;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        fmLog("####FM:WriteDataViaUSB");
        if (cancelRequested()) {
            fmLog("####FM:WriteDataViaUSB: cancel");
            return FM_CANCELLED;
        }
        if (m_pDeviceIO->open(&mPrinter, 0) != 0) {
            fmLog("####FM:WriteDataViaUSB(): open usb fail.");
            result = FM_OPEN_FAILED;
        } else {
            OpenedDevice opened(m_pDeviceIO);
            bool accepted = false;
            result = exchangeOnOpenDevice(
                Routine::WriteDataViaUSB, pInput, cbInput, pOutput, pcbLen, pbResult, cbOutput, &accepted);
            // Once the printer accepted the command the exchange is over, whatever the reply
            // payload gave.
            if (accepted)
                return result;
        }
        if (attempt < kAttempts)
            libClock().sleepMilliseconds(kRetryPauseMs);
    }
    return result;
}

int FingCmd::WriteDataViaNet(BYTE* pInput, DWORD cbInput, BYTE* pOutput, WORD* pcbLen, BYTE* pbResult, WORD cbOutput)
{
    // A TCP connection is a byte stream: the status record is read on its own, and the reply
    // payload only after an 'A' that announced one. Reading record and payload in one go would
    // swallow the records of 'N' answers that precede the payload.
    BYTE buffer[kHeaderSize];
    memset(buffer, 0, sizeof(buffer));
    buffer[0] = INIT_VALUE;
    WORD announced = 0;

    int result = FM_NO_REPLY; // no status record yet
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const bool last = attempt == kAttempts;
        fmLog("####FM:WriteDataViaNet");
        if (cancelRequested()) {
            fmLog("####FM:WriteDataViaNet: cancel");
            return FM_CANCELLED;
        }
        if (m_pDeviceIO->open(&mPrinter, kFingerprintPort) != 0) {
            fmLog("####FM:WriteDataViaNet(): connect fail.");
            libClock().sleepMilliseconds(kRetryPauseMs);
            if (last)
                return FM_OPEN_FAILED;
            continue;
        }
        OpenedDevice opened(m_pDeviceIO);
        if (m_pDeviceIO->write(reinterpret_cast<char*>(pInput), static_cast<int>(cbInput)) <= 0) {
            fmLog("####FM:WriteDataViaNet(): write usb timeout.");
            libClock().sleepMilliseconds(kRetryPauseMs);
            if (last)
                return FM_WRITE_FAILED;
            continue;
        }

        bool done = false;
        int n = -1;
        WaitCounter waits;
        int malformed = 0;
        for (;;) {
            n = m_pDeviceIO->read(reinterpret_cast<char*>(buffer), kHeaderSize);
            if (n < 0)
                break;
            if (cancelRequested()) {
                fmLog("####FM:WriteDataViaNet: cancel 2");
                result = FM_CANCELLED;
                break;
            }
            const StatusReply reply = parseStatus(buffer);
            const int status = n == 0 ? FM_NOT_STATUS : classifyStatus(reply);
            if (status == FM_NOT_STATUS) {
                fmLog("####FM:WriteDataViaNet(): data format error!");
                result = FM_NET_FORMAT;
                if (++malformed > kMaxWaits)
                    break; // a printer that keeps sending garbage ends the attempt
                continue;
            }
            fmLog("####FM:return command is 0x%x, 0x%x, length is %d, ack is %c", codeValue(kStatusCode),
                codeValue(reply.code), reply.length, reply.ack);
            if (status == FM_NOT_READY) {
                fmLog("####FM:Printer is not ready, wait for 20*100 ms");
                if (!waits.wait(kWaitMs)) {
                    result = FM_NEVER_READY;
                    break;
                }
                result = FM_NOT_READY;
                continue;
            }
            if (status == FM_OK) {
                if (pbResult)
                    *pbResult = reply.status;
                if (pcbLen)
                    *pcbLen = reply.length;
                announced = reply.length;
            } else if (status == FM_REFUSED && pbResult) {
                *pbResult = reply.status;
            }
            result = status;
            done = true;
            fmLog("####FM:WriteDataViaNet(): get data success.");
            break;
        }

        if (pOutput && cbOutput != 0) {
            if (result == FM_OK && done && announced == 0) {
                // The printer has no payload for us (a "GETR" before any result): nothing follows
                // the record, and waiting for one would only run into the read time-out.
                return FM_OK;
            }
            if (result == FM_OK && done) {
                std::vector<BYTE> payload(cbOutput);
                if (m_pDeviceIO->read(reinterpret_cast<char*>(payload.data()), cbOutput) == cbOutput) {
                    memcpy(pOutput, payload.data(), cbOutput);
                    fmLog("####FM:WriteDataViaNet(): read data success!");
                    return FM_OK;
                }
                done = false; // the answer was cut short: ask again
            }
            fmLog("####FM:WriteDataViaNet(): data format error!");
            result = FM_NET_FORMAT;
            libClock().sleepMilliseconds(kRetryPauseMs);
        }
        if (last || done)
            return result;
    }
    return result;
}

// One bulk transfer of the USB transport, with up to kAttempts attempts that each open the device
// and close it again: transfer(device) moves the data and returns the byte count (or <= 0). name
// prefixes the log lines. The byte count of the first attempt that moved something, or 0.
template <typename Transfer> int FingCmd::bulkWithRetries(const char* name, Transfer transfer)
{
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        fmLog("####FM:%s", name);
        if (cancelRequested()) {
            fmLog("####FM:%s: cancel", name);
            return 0;
        }
        if (m_pDeviceIO->open(&mPrinter, 0) != 0) {
            fmLog("####FM:%s(): open usb fail.", name);
        } else {
            OpenedDevice opened(m_pDeviceIO);
            const int n = transfer(m_pDeviceIO);
            if (n > 0)
                return n;
            fmLog("####FM:%s(): write usb timeout.", name);
        }
        if (attempt < kAttempts)
            libClock().sleepMilliseconds(kRetryPauseMs);
    }
    return 0;
}

int FingCmd::WriteBulkDataViaUSB(BYTE* pInput, DWORD cbInput)
{
    return bulkWithRetries("WriteBulkDataViaUSB", [pInput, cbInput](DeviceIO* device) {
        fmLog("####FM:WriteBulkDataViaUSB: write bulk data(%d)", static_cast<int>(cbInput));
        return device->write_bulk(reinterpret_cast<char*>(pInput), static_cast<int>(cbInput), 0);
    });
}

int FingCmd::ReadBulkDataViaUSB(BYTE* pOutput, DWORD cbOutput)
{
    return bulkWithRetries("ReadBulkDataViaUSB", [pOutput, cbOutput](DeviceIO* device) {
        fmLog("####FM:ReadBulkDataViaUSB: read bulk data(%d)", static_cast<int>(cbOutput));
        const int n = device->read_bulk(reinterpret_cast<char*>(pOutput), static_cast<int>(cbOutput), 0);
        fmLog("####FM:ReadBulkDataViaUSB: readed bulk data(%d)", n);
        return n;
    });
}

bool FingCmd::CancelPrintWithTrans()
{
    fmLog("####FM: CancelPrint");
    FG_CANCEL_T header = makeHeader<FG_CANCEL_T>("CANL");
    return DataTransfer(reinterpret_cast<BYTE*>(&header), sizeof(header), nullptr, nullptr, nullptr, 0) == FM_OK;
}
