// The two records that carry data out of the printer: the "GETR" result (user name and index) of a
// verification or an enrolment, and the export stream (the "EXPT" record with its count, then the
// records), driven through FingerCommon as the exported functions do it.
//
// Input: one byte choosing the case, then the bytes of that record as the printer sends them; the
// exchanges before it are answered as a well-behaved printer would. Properties checked besides
// memory safety: an identified user's name is terminated within 33 bytes and is what a whole
// record said (over USB a record shorter than the 34 bytes asked for is no result); an enrolment
// succeeds only when a whole record names the requested user, and a record naming nobody enrols
// nobody, not even an empty requested name; an export writes
// exactly the records received (count x 546 bytes) or leaves the old file as it was.

#include "FuzzDeviceIO.h"
#include "FuzzSupport.h"
#include "service/FingerCommon.h"

#include <QFile>
#include <cstring>
#include <memory>
#include <string>

namespace
{

std::string statusRecord(char ack, uint16_t length, uint8_t status)
{
    std::string r("STA\0", 4);
    r += ack;
    r += static_cast<char>(length & 0xFF);
    r += static_cast<char>(length >> 8);
    r += static_cast<char>(status);
    return r;
}

// A status record followed by the 34-byte result (name and index).
constexpr size_t kWholeRecord = 8 + 34;

char kUsbUri[] = "usb://Fuzz/ZPH6100RMX?serial=FUZZ";
char kNetUri[] = "socket://127.0.0.1";

FingerCommon& service()
{
    static FingerCommon* common = new FingerCommon; // lives until the process ends
    return *common;
}

QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The name a GETR record carries: at most 32 bytes, up to the first zero byte.
std::string recordName(const std::string& record)
{
    if (record.size() < 8)
        return std::string();
    const std::string name = record.substr(8, 32);
    return name.substr(0, strnlen(name.c_str(), name.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int which = in.byte() % 5;
    FuzzClock clock;
    FingerCommon& common = service();
    auto* usbIO = new FuzzDeviceIO(1, &in);
    auto* netIO = new FuzzDeviceIO(2, &in);
    common.cmd.devicemanager.setTransports(usbIO, netIO);

    switch (which) {
    case 0:
    case 1: {
        // Verification: "DISC" and "STUS" accepted, then the "GETR" answer from the input.
        FuzzDeviceIO* io = which == 0 ? usbIO : netIO;
        io->queueAnswer(statusRecord('A', 0, 0));
        io->queueAnswer(statusRecord('A', 0, 1));
        const std::string getr = in.rest();
        io->queueAnswer(getr);
        std::unique_ptr<char[]> user(new char[33]);
        memset(user.get(), 0x55, 33);
        short index = -1;
        const bool failed = common.IsFingerPrint(which == 0 ? kUsbUri : kNetUri, user.get(), &index);
        if (!failed) {
            FUZZ_CHECK(strnlen(user.get(), 33) <= 32);
            FUZZ_CHECK(user[0] != '\0');
            // Over USB the record arrives in one read; over the network the reader may skip
            // malformed pieces of the stream, so the name must be one the printer sent.
            if (which == 0) {
                FUZZ_CHECK(getr.size() >= kWholeRecord);
                FUZZ_CHECK(recordName(getr) == user.get());
            } else
                FUZZ_CHECK(getr.find(user.get()) != std::string::npos);
        }
        FUZZ_CHECK(!io->device_is_open);
        FUZZ_CHECK(!common.cmd.m_bIsFingerPrintCancel && !common.cmd.m_bFingerPrint);
        break;
    }
    case 2: {
        // Second enrolment step: the requested name, then "ADDS" and "STUS" accepted and the
        // "GETR" answer from the input.
        const std::string requested = in.bytes(in.byte() % 34);
        std::string requestedZ = requested + '\0';
        usbIO->queueAnswer(statusRecord('A', 0, 0));
        usbIO->queueAnswer(statusRecord('A', 0, 1));
        const std::string getr = in.rest();
        usbIO->queueAnswer(getr);
        int index = -1;
        const int r = common.AddFinger(kUsbUri, 1, &requestedZ[0], &index);
        if (strnlen(requestedZ.c_str(), 33) > 32) {
            // Longer than the printer's field: refused before anything is sent.
            FUZZ_CHECK(r == FM_NAME_TOO_LONG && index == -1 && usbIO->frames.empty());
            break;
        }
        FUZZ_CHECK(r == 0 || r == 9);
        if (r == 0) {
            const std::string bounded = requested.substr(0, strnlen(requested.c_str(), 32));
            FUZZ_CHECK(getr.size() >= kWholeRecord);
            FUZZ_CHECK(!bounded.empty());
            FUZZ_CHECK(recordName(getr) == bounded);
        } else {
            FUZZ_CHECK(index == -1);
        }
        FUZZ_CHECK(!usbIO->device_is_open);
        break;
    }
    case 3:
    case 4: {
        // Export: "EXPT" accepted with a count, then the stream (export record and records) as
        // bulk pieces from the input. The target file holds an older backup.
        const uint16_t announced = which == 3 ? in.u16() : static_cast<uint16_t>(in.byte() % 8);
        usbIO->queueAnswer(statusRecord('A', announced, 0));
        if (which == 4) {
            // A well-formed export record with a fuzzed count, the records raw from the input.
            std::string record("EXPT", 4);
            record += '\0';
            const uint16_t count = in.u16();
            record += static_cast<char>(count & 0xFF);
            record += static_cast<char>(count >> 8);
            record += '\0';
            usbIO->queueBulkAnswer(record);
            usbIO->queueBulkAnswer(in.rest());
        }
        const QString path = fuzzTempDir() + QStringLiteral("/backup.fdl");
        const QByteArray previous("older backup");
        FUZZ_CHECK(fuzzWriteFile(path, previous.constData(), previous.size()));
        QByteArray name = QFile::encodeName(path);
        int count = -1;
        const int r = common.ExportFinger(kUsbUri, name.data(), &count);
        FUZZ_CHECK(r == 0 || r == 2 || r == 7 || r == 9 || r == 15);
        const QByteArray after = fileContent(path);
        if (r == 0 && count > 0) {
            FUZZ_CHECK(after.size() == static_cast<qsizetype>(count) * 546);
        } else {
            FUZZ_CHECK(after == previous);
        }
        FUZZ_CHECK(!usbIO->device_is_open);
        FUZZ_CHECK(usbIO->opens == usbIO->closes);
        break;
    }
    }
    return 0;
}
