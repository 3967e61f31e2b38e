// A fingerprint data file (*.fdl) as an administrator hands it to ImportFinger: the input is the
// whole file. The printer (USB, then network) accepts everything, so what is checked is the reading:
// the import stream is the "IMPT" header with the count of whole records and exactly those records,
// bytes beyond the last whole record are not sent, and an empty file is refused with 9.

#include "FuzzDeviceIO.h"
#include "FuzzSupport.h"
#include "service/FingerCommon.h"

#include <QFile>
#include <cstring>
#include <string>

namespace
{

char kUsbUri[] = "usb://Fuzz/ZPH6100RMX?serial=FUZZ";
char kNetUri[] = "socket://127.0.0.1";

FingerCommon& service()
{
    static FingerCommon* common = new FingerCommon; // lives until the process ends
    return *common;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzzTempDir() + QStringLiteral("/import.fdl");
    FUZZ_CHECK(fuzzWriteFile(path, data, size));
    QByteArray fileName = QFile::encodeName(path);

    const size_t records = size / sizeof(FG_DATAF_T);
    std::string expected(8, '\0');
    memcpy(&expected[0], "IMPT", 4);
    expected[6] = static_cast<char>(records & 0xFF);
    expected[7] = static_cast<char>(records >> 8);
    expected.append(reinterpret_cast<const char*>(data), records * sizeof(FG_DATAF_T));

    FuzzClock clock;
    FingerCommon& common = service();
    for (int type = 1; type <= 2; ++type) {
        FuzzInput nothing(nullptr, 0);
        auto* usbIO = new FuzzDeviceIO(1, &nothing);
        auto* netIO = new FuzzDeviceIO(2, &nothing);
        for (FuzzDeviceIO* io : { usbIO, netIO }) {
            io->idleAnswer = std::string("STA\0A\0\0\x01", 8); // accepted; import finished
            io->scriptedBulkWrites = false;
        }
        common.cmd.devicemanager.setTransports(usbIO, netIO);
        FuzzDeviceIO* io = type == 1 ? usbIO : netIO;

        const int r = common.ImportFinger(type == 1 ? kUsbUri : kNetUri, fileName.data());
        if (size == 0) {
            FUZZ_CHECK(r == 9);
            FUZZ_CHECK(io->frames.empty());
        } else {
            FUZZ_CHECK(r == 0);
            FUZZ_CHECK(io->bulkWritten == expected);
        }
        FUZZ_CHECK(!io->device_is_open);
        FUZZ_CHECK(io->opens == io->closes);
    }
    return 0;
}
