#ifndef PRINTERTYPES_H
#define PRINTERTYPES_H

#include "vrkt7xsystem.h"

// Width of every fixed text field of the library: 255 characters plus the terminator.
constexpr int kFieldSize = VRKT_FIELD_SIZE;

// Printer_struct and Job_struct are declared with the exported functions (vrkt7xsystem.h).

// Copies src into a fixed field of fieldSize bytes: at most fieldSize - 1 characters, always
// terminated. A null src gives the empty string.
void copyField(char* dst, const char* src, int fieldSize = kFieldSize);

#endif
