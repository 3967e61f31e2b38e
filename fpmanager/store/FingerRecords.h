#ifndef FINGERRECORDS_H
#define FINGERRECORDS_H

// fpmanager's in-memory records. User names are GB18030 bytes (the form in which the printer
// stores them): at most 32 bytes and a terminating zero.

// One supported printer as listed at login.
typedef struct _PRINTER {
    char name[512]; // CUPS queue name, zero-terminated
    char uri[512]; // device URI, zero-terminated
} PRINTER_T;

// One login account.
typedef struct _USER_LIST {
    char UserName[33]; // account name, GB18030, zero-terminated
    char Password[17]; // password, UTF-8, zero-terminated
} USER_LIST_T;

// One enrolled fingerprint.
typedef struct _FINGER_LIST {
    char UserName[33]; // user name, GB18030, zero-terminated
    unsigned short ID; // the fingerprint's ID in the printer
} FINGER_LIST_T;

// One record of a fingerprint data file (*.fdl): 546 bytes, packed, ID little-endian.
constexpr int kFingerDataRecordSize = 546;
constexpr int kFingerDataNameSize = 32;

#endif
