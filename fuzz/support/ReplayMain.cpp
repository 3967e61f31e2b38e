// main() for a fuzz target built without libFuzzer: runs the target once on every file given, or on
// every file below every directory given, each copied into a buffer of exactly its size so that an
// over-read is caught by AddressSanitizer. This is how the sanitizer build replays the seed corpora
// and the regression files as ordinary tests.
//
// The library's diagnostics (standard error) are discarded while an input runs; the sanitizers'
// reports and this program's own lines go to the original standard error.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));
extern int g_fuzzReportFd;

namespace
{

FILE* g_out = stderr;

std::vector<std::string> inputsOf(const std::string& path)
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        for (const auto& entry : fs::recursive_directory_iterator(path, ec))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
    } else if (fs::is_regular_file(path, ec)) {
        files.push_back(path);
    } else {
        fprintf(g_out, "replay: %s: no such file or directory\n", path.c_str());
    }
    return files;
}

bool runOne(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        fprintf(g_out, "replay: cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<char> content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Exactly sized, so that reading one byte too far is an error (an empty input gets no buffer).
    std::unique_ptr<uint8_t[]> data(content.empty() ? nullptr : new uint8_t[content.size()]);
    std::copy(content.begin(), content.end(), data.get());
    fprintf(g_out, "replay: %s (%zu bytes)\n", file.c_str(), content.size());
    fflush(g_out);
    LLVMFuzzerTestOneInput(data.get(), content.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Keep the original standard error for reports, silence the rest.
    const int saved = dup(STDERR_FILENO);
    if (saved >= 0) {
        g_out = fdopen(saved, "w");
        g_fuzzReportFd = saved;
        if (__sanitizer_set_report_fd)
            __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(saved)));
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDERR_FILENO);
            close(null);
        }
    }
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    int total = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        for (const std::string& file : inputsOf(argv[i])) {
            ok = runOne(file) && ok;
            ++total;
        }
    }
    fprintf(g_out, "replay: %d inputs run\n", total);
    if (total == 0) {
        fprintf(g_out, "replay: no inputs found\n");
        return 1;
    }
    return ok ? 0 : 1;
}
