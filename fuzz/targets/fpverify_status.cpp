// The status file that fpverify shares with the print side (/tmp/.vrkt7xsmtmp.conf): anyone who
// can write there may leave anything in it. The input is a job id (first two bytes) and the file's
// contents. fpverify reads the job's "result", then writes its "status", as it does on a cancel.
//
// Properties checked besides memory safety: reading never fails (garbage reads as "no result");
// fpverify's own write keeps the print side's result as it was; a result written afterwards is
// read back as written.

#include "FuzzInput.h"
#include "FuzzSupport.h"
#include "StatusFile.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzEnsureCoreApplication();
    FuzzInput in(data, size);
    const int jobId = in.u16() % 1000;
    const std::string content = in.rest();
    // A new name every time: QSettings caches files by name and judges freshness by time stamps.
    static int run = 0;
    const QString path = fuzzTempDir() + QStringLiteral("/.vrkt7xsmtmp-%1.conf").arg(++run);
    FUZZ_CHECK(fuzzWriteFile(path, content.data(), content.size()));

    const int before = get_result(jobId, path);
    if (update_status(jobId, kStatusCancelled, path)) {
        FUZZ_CHECK(get_result(jobId, path) == before);
        FUZZ_CHECK(update_result(jobId, kResultTimedOut, path));
        FUZZ_CHECK(get_result(jobId, path) == kResultTimedOut);
    }
    QFile::remove(path);
    return 0;
}
