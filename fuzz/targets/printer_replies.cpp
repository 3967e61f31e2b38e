// What a printer answers, byte for byte, through FingCmd's exchanges and every fingerprint
// operation. Built twice: over the USB routine (FUZZ_TRANSPORT_TYPE 1: WriteDataViaUSB,
// DataTransfer, the bulk routines) and over the network routine (2: WriteDataViaNet).
//
// Input: one byte choosing the operation, the operation's own arguments (name length and bytes,
// record count, ...), then the printer's side as FuzzDeviceIO reads it. Properties checked besides
// memory safety: results are codes the callers know, the device is closed again on every path and
// never opened twice, a cancellation result only after a cancel request, frames carry the length of
// their payload, and an export that fails leaves no records behind.

#include "FuzzDeviceIO.h"
#include "FuzzSupport.h"
#include "protocol/FingCmd.h"

#include <cstring>
#include <memory>
#include <set>
#include <string>

#ifndef FUZZ_TRANSPORT_TYPE
#error "FUZZ_TRANSPORT_TYPE must be 1 (USB) or 2 (network)"
#endif

namespace
{

const std::set<int> kTransferCodes = { 0, 4, 5, 10, 12, 15, 16, 17, 18, 19, 22 };

bool isTransferCode(int r) { return kTransferCodes.count(r) != 0; }

// A name as a caller hands it over: exactly its bytes on the heap, with or without terminator.
struct Name {
    std::unique_ptr<char[]> bytes;
    int length = 0;
};

Name nameFrom(FuzzInput& in, bool terminated)
{
    const std::string text = in.bytes(in.byte() % 40);
    Name name;
    name.length = static_cast<int>(text.size());
    name.bytes.reset(new char[text.size() + (terminated ? 1 : 0)]);
    memcpy(name.bytes.get(), text.data(), text.size());
    if (terminated)
        name.bytes[text.size()] = '\0';
    return name;
}

// A command frame with a name payload must say how long that payload is.
void checkNameFrames(const FuzzDeviceIO& io, const char* code, int lengthOffset)
{
    for (const std::string& frame : io.frames) {
        if (frame.size() < 8 || memcmp(frame.data(), code, 4) != 0)
            continue;
        const int length = static_cast<unsigned char>(frame[lengthOffset])
            | static_cast<unsigned char>(frame[lengthOffset + 1]) << 8;
        FUZZ_CHECK(length <= 32);
        FUZZ_CHECK(frame.size() == static_cast<size_t>(8 + length));
    }
}

std::string plainHeader(const char* code)
{
    std::string header(8, '\0');
    memcpy(&header[0], code, 4);
    return header;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int operation = in.byte() % 16;

    FuzzClock clock;
    FuzzDeviceIO io(FUZZ_TRANSPORT_TYPE, &in);
    FingCmd cmd;
    cmd.attachDeviceIO(&io);
    bool cancelled = false;
    io.onCancel = [&] {
        cancelled = true;
        cmd.m_bIsFingerPrintCancel = true;
    };
    const bool usb = FUZZ_TRANSPORT_TYPE == 1;
    bool leftOpenByUs = false;

    switch (operation) {
    case 0: {
        const int state = cmd.GetFingerStatus();
        FUZZ_CHECK(state >= -1 && state <= 255);
        break;
    }
    case 1:
        cmd.SetFingerStatus(in.byte() & 1);
        break;
    case 2: {
        Name name = nameFrom(in, false);
        const int r = cmd.Check(name.bytes.get(), name.length);
        FUZZ_CHECK(r == 14 || isTransferCode(r));
        checkNameFrames(io, "CHCK", 4);
        break;
    }
    case 3: {
        Name name = nameFrom(in, false);
        const int r = cmd.Delete(0, name.bytes.get(), name.length);
        FUZZ_CHECK(r == 14 || (isTransferCode(r) && r != 5));
        checkNameFrames(io, "DELE", 4);
        break;
    }
    case 4: {
        const int r = cmd.Delete(1, nullptr, 0);
        FUZZ_CHECK(isTransferCode(r));
        for (const std::string& frame : io.frames)
            FUZZ_CHECK(frame.size() == 8);
        break;
    }
    case 5:
        cmd.CancelPrint();
        break;
    case 6: {
        cmd.m_bFingerPrint = true;
        std::unique_ptr<char[]> user(new char[33]);
        memset(user.get(), 0x55, 33);
        short index = 0;
        const int r = cmd.IsPrint(user.get(), &index);
        FUZZ_CHECK(r == 0 || r == 4 || r == 9 || r == 11 || r == 12 || r == 13);
        FUZZ_CHECK(r != 12 || cancelled);
        if (r == 0)
            FUZZ_CHECK(user[0] != '\0' && strnlen(user.get(), 33) <= 32);
        break;
    }
    case 7: {
        Name name = nameFrom(in, true);
        const int r = cmd.AddFingerFirst(name.bytes.get());
        FUZZ_CHECK(r == 7 || isTransferCode(r));
        checkNameFrames(io, "ADDF", 4);
        break;
    }
    case 8: {
        std::unique_ptr<char[]> user(new char[33]);
        memset(user.get(), 0, 33);
        short index = 0;
        const int r = cmd.AddFingerSecond(user.get(), &index);
        FUZZ_CHECK(r == 13 || isTransferCode(r));
        FUZZ_CHECK(user[32] == '\0');
        break;
    }
    case 9: {
        const int r = cmd.GetImportStatus();
        FUZZ_CHECK(r == 9 || isTransferCode(r));
        break;
    }
    case 10: {
        const int count = in.byte() % 4;
        const size_t total = static_cast<size_t>(count) * sizeof(FG_DATAF_T);
        std::unique_ptr<FG_DATAF_T[]> records(new FG_DATAF_T[count > 0 ? count : 1]);
        const std::string content = in.bytes(total);
        memset(records.get(), 0, total);
        memcpy(records.get(), content.data(), content.size());
        const int r = cmd.Import(records.get(), count);
        FUZZ_CHECK(r == 9 || isTransferCode(r));
        if (r == 0) {
            // The last try that went through carried the header and exactly the records.
            std::string stream(8, '\0');
            memcpy(&stream[0], "IMPT", 4);
            stream[6] = static_cast<char>(count);
            stream.append(reinterpret_cast<const char*>(records.get()), total);
            FUZZ_CHECK(io.bulkWritten.size() >= stream.size());
            FUZZ_CHECK(io.bulkWritten.compare(io.bulkWritten.size() - stream.size(), stream.size(), stream) == 0);
        }
        break;
    }
    case 11: {
        int count = -1;
        const int r = cmd.Export(&count);
        FUZZ_CHECK(r == -1 || r == 7 || r == 9 || r == 15 || r == 0);
        FUZZ_CHECK(usb || r == -1);
        if (r == 0 && count > 0) {
            std::unique_ptr<FG_DATAF_T[]> records(new FG_DATAF_T[count]);
            FUZZ_CHECK(cmd.GetFingerData(records.get(), count) == count);
        } else {
            // Nothing half-received may be handed out later.
            FG_DATAF_T record;
            FUZZ_CHECK(cmd.GetFingerData(&record, 1) == 0);
        }
        break;
    }
    case 12:
    case 13: {
        // A reply payload asked for on a device the caller opened: short (GETR-sized) or long.
        const WORD wanted
            = operation == 12 ? static_cast<WORD>(512 + in.u16() % 1024) : static_cast<WORD>(1 + in.byte() % 64);
        std::unique_ptr<BYTE[]> out(new BYTE[wanted]);
        std::string frame = plainHeader("GETR");
        WORD length = 0;
        BYTE status = 0;
        FUZZ_CHECK(io.open(0) == 0);
        const int r = (in.byte() & 1)
            ? cmd.DataTransfer(reinterpret_cast<BYTE*>(&frame[0]), 8, out.get(), &length, &status, wanted)
            : cmd.DataTransferForPrint(reinterpret_cast<BYTE*>(&frame[0]), 8, out.get(), &length, &status, wanted);
        FUZZ_CHECK(isTransferCode(r));
        io.close();
        leftOpenByUs = true;
        break;
    }
    case 14: {
        // The bulk routines: exactly sized buffers.
        const int n = 1 + in.u16() % 8192;
        std::unique_ptr<BYTE[]> buffer(new BYTE[n]);
        memset(buffer.get(), 0x11, n);
        const int moved
            = (in.byte() & 1) ? cmd.ReadBulkDataViaUSB(buffer.get(), n) : cmd.WriteBulkDataViaUSB(buffer.get(), n);
        FUZZ_CHECK(moved >= 0 && moved <= n);
        break;
    }
    case 15: {
        // The marker-hunting request/reply of the base transport.
        const int rdSize = 2 + in.byte();
        std::unique_ptr<char[]> reply(new char[rdSize]);
        std::string request = plainHeader("FING");
        FUZZ_CHECK(io.open(0) == 0);
        const int r = io.writeThenRead(&request[0], 8, reply.get(), rdSize);
        FUZZ_CHECK(r == 0 || r == -1);
        io.close();
        leftOpenByUs = true;
        break;
    }
    }

    FUZZ_CHECK(!io.device_is_open);
    FUZZ_CHECK(io.doubleOpens == 0);
    FUZZ_CHECK(leftOpenByUs || io.opens == io.closes);
    return 0;
}
