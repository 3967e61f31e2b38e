#ifndef PRINTERTYPES_H
#define PRINTERTYPES_H

#include <cstdint>

// Width of every fixed text field of the library: 255 characters plus the terminator.
constexpr int kFieldSize = 256;

// One printer as the library sees it. The CUPS query fills name, makeAndModel, deviceUri and
// isDefault; connectTo stays empty.
struct Printer_struct {
    char name[kFieldSize];
    char makeAndModel[kFieldSize];
    char deviceUri[kFieldSize];
    char connectTo[kFieldSize];
    bool isDefault;
};

// One print job, filled by the job query.
struct Job_struct {
    char name[kFieldSize];
    char time[kFieldSize];
    char printer[kFieldSize];
    char user_name[kFieldSize];
    int32_t id;
    int32_t document_size;
    int32_t pages_completed;
    int32_t copies;
    int32_t state;
    int64_t timet;
};

// Copies src into a fixed field of fieldSize bytes: at most fieldSize - 1 characters, always
// terminated. A null src gives the empty string.
void copyField(char* dst, const char* src, int fieldSize = kFieldSize);

#endif
