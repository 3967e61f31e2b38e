#ifndef FINGFRAMES_H
#define FINGFRAMES_H

// The frames of the printer's fingerprint unit: 8-byte command headers that start with a
// four-letter code, the 8-byte status record that answers them, and the two fingerprint records.
// Every record is packed and its multi-byte integers are little-endian on the wire whatever the
// host: they are held as LE16 byte pairs, so a record's memory is exactly its wire image.

#include "vrkt7xcommon.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;

// Empty-buffer marker: receive buffers are filled with it before a read.
constexpr BYTE INIT_VALUE = 0xFE;

// Progress packet sent while the printer is still working: 0x1C '-'.
constexpr BYTE kProgressByte0 = 0x1C;
constexpr BYTE kProgressByte1 = 0x2D;

constexpr int kNameSize = VRKT_NAME_SIZE; // width of UserName
constexpr int kTemplateSize = VRKT_TEMPLATE_SIZE; // width of feature

// A 16-bit little-endian integer at any offset.
struct LE16 {
    BYTE b[2];
    void set(uint16_t v)
    {
        b[0] = static_cast<BYTE>(v & 0xFF);
        b[1] = static_cast<BYTE>(v >> 8);
    }
    uint16_t get() const { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }
};

#pragma pack(push, 1)

typedef struct _FG_FUNC_STRUCT {
    char code[4];
    BYTE mode;
    LE16 reserved;
    BYTE func;
} FG_FUNC_T;

typedef struct _FG_CHECK_STRUCT {
    char code[4];
    LE16 length;
    LE16 reserved;
} FG_CHECK_T;

typedef struct _FG_DELETE_STRUCT {
    char code[4];
    LE16 length;
    BYTE reserved;
    BYTE mode;
} FG_DELETE_T;

typedef struct _FG_ADD_STRUCT {
    char code[4];
    LE16 length;
    LE16 reserved;
} FG_ADD_T;

typedef struct _FG_IMPORT_STRUCT {
    char code[4];
    LE16 reserved;
    LE16 num;
} FG_IMPORT_T;

// "CANL", "DISC", "STUS", "GETR" and "EXPT" carry nothing but the code.
typedef struct _FG_PLAIN_STRUCT {
    char code[4];
    BYTE reserved[4];
} FG_CANCEL_T, FG_DISC_T, FG_STATUS_T, FG_GETRESULT_T, FG_EXPORT_T;

typedef struct _FG_STA_STRUCT {
    char code[4];
    BYTE ack;
    LE16 length;
    BYTE status;
} FG_STA_T;

typedef struct _FG_DATA_STRUCT {
    char UserName[kNameSize];
    LE16 ID;
} FG_DATA_T;

typedef struct _FG_DATAF_STRUCT {
    char UserName[kNameSize];
    LE16 ID;
    BYTE feature[kTemplateSize];
} FG_DATAF_T;

#pragma pack(pop)

static_assert(sizeof(FG_FUNC_T) == 8 && offsetof(FG_FUNC_T, mode) == 4 && offsetof(FG_FUNC_T, reserved) == 5
        && offsetof(FG_FUNC_T, func) == 7,
    "FG_FUNC_T layout");
static_assert(sizeof(FG_CHECK_T) == 8 && offsetof(FG_CHECK_T, length) == 4 && offsetof(FG_CHECK_T, reserved) == 6,
    "FG_CHECK_T layout");
static_assert(sizeof(FG_DELETE_T) == 8 && offsetof(FG_DELETE_T, length) == 4 && offsetof(FG_DELETE_T, reserved) == 6
        && offsetof(FG_DELETE_T, mode) == 7,
    "FG_DELETE_T layout");
static_assert(
    sizeof(FG_ADD_T) == 8 && offsetof(FG_ADD_T, length) == 4 && offsetof(FG_ADD_T, reserved) == 6, "FG_ADD_T layout");
static_assert(sizeof(FG_IMPORT_T) == 8 && offsetof(FG_IMPORT_T, reserved) == 4 && offsetof(FG_IMPORT_T, num) == 6,
    "FG_IMPORT_T layout");
static_assert(sizeof(FG_STATUS_T) == 8, "plain header layout");
static_assert(sizeof(FG_STA_T) == 8 && offsetof(FG_STA_T, ack) == 4 && offsetof(FG_STA_T, length) == 5
        && offsetof(FG_STA_T, status) == 7,
    "FG_STA_T layout");
static_assert(sizeof(FG_DATA_T) == 34 && offsetof(FG_DATA_T, ID) == 32, "FG_DATA_T layout");
static_assert(
    sizeof(FG_DATAF_T) == VRKT_RECORD_SIZE && offsetof(FG_DATAF_T, ID) == 32 && offsetof(FG_DATAF_T, feature) == 34,
    "FG_DATAF_T layout");

constexpr int kHeaderSize = 8;
constexpr int kRecordSize = static_cast<int>(sizeof(FG_DATAF_T));
constexpr int kResultSize = static_cast<int>(sizeof(FG_DATA_T));

// The code of every status reply: "STA" and a zero byte.
constexpr char kStatusCode[4] = { 'S', 'T', 'A', '\0' };

// A zeroed header of type T carrying the four-letter code.
template <typename T> T makeHeader(const char* code)
{
    T header;
    memset(&header, 0, sizeof(header));
    memcpy(header.code, code, 4);
    return header;
}

// True when the four bytes at p are the given code.
inline bool hasCode(const void* p, const char* code) { return memcmp(p, code, 4) == 0; }

// The four code bytes read as the little-endian 32-bit value the diagnostics print.
inline uint32_t codeValue(const void* p)
{
    const BYTE* b = static_cast<const BYTE*>(p);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16
        | static_cast<uint32_t>(b[3]) << 24;
}

// A received status record taken apart field by field.
struct StatusReply {
    char code[4];
    BYTE ack;
    WORD length; // byte 5 + 256 * byte 6
    BYTE status;
};

inline StatusReply parseStatus(const BYTE* buffer)
{
    StatusReply r;
    memcpy(r.code, buffer, 4);
    r.ack = buffer[4];
    r.length = static_cast<WORD>(buffer[5] + 256 * buffer[6]);
    r.status = buffer[7];
    return r;
}

// Result codes of the transfer routines and the fingerprint operations: the public ones.
enum FingResult : int {
    FM_OK = VRKT_OK,
    FM_FILE_ERROR = VRKT_FILE_ERROR,
    FM_BUSY = VRKT_BUSY,
    FM_REFUSED = VRKT_REFUSED,
    FM_ADD_FAILED = VRKT_ADD_FAILED,
    FM_FAILED = VRKT_FAILED,
    FM_NOT_READY = VRKT_NOT_READY,
    FM_NO_MATCH = VRKT_NO_MATCH,
    FM_CANCELLED = VRKT_CANCELLED,
    FM_NO_USER = VRKT_NO_USER,
    FM_UNKNOWN_USER = VRKT_UNKNOWN_USER,
    FM_OPEN_FAILED = VRKT_OPEN_FAILED,
    FM_NO_REPLY = VRKT_NO_REPLY,
    FM_WRITE_FAILED = VRKT_WRITE_FAILED,
    FM_NEVER_READY = VRKT_NEVER_READY,
    FM_NOT_STATUS = VRKT_NOT_STATUS,
    FM_NET_FORMAT = VRKT_NET_FORMAT,
    FM_NAME_TOO_LONG = VRKT_NAME_TOO_LONG, // a user name longer than kNameSize bytes: nothing was sent
};

#endif
