#include "DesCryption.h"

#include <QDebug>
#include <cstdio>
#include <cstring>

namespace
{

// The standard tables of FIPS 46-3; bit positions count from 1 at the most significant bit.
constexpr int kInitialPermutation[64] = {
    58,
    50,
    42,
    34,
    26,
    18,
    10,
    2,
    60,
    52,
    44,
    36,
    28,
    20,
    12,
    4,
    62,
    54,
    46,
    38,
    30,
    22,
    14,
    6,
    64,
    56,
    48,
    40,
    32,
    24,
    16,
    8,
    57,
    49,
    41,
    33,
    25,
    17,
    9,
    1,
    59,
    51,
    43,
    35,
    27,
    19,
    11,
    3,
    61,
    53,
    45,
    37,
    29,
    21,
    13,
    5,
    63,
    55,
    47,
    39,
    31,
    23,
    15,
    7,
};

constexpr int kPermutationP[32] = {
    16,
    7,
    20,
    21,
    29,
    12,
    28,
    17,
    1,
    15,
    23,
    26,
    5,
    18,
    31,
    10,
    2,
    8,
    24,
    14,
    32,
    27,
    3,
    9,
    19,
    13,
    30,
    6,
    22,
    11,
    4,
    25,
};

constexpr int kPermutedChoice1[56] = {
    57,
    49,
    41,
    33,
    25,
    17,
    9,
    1,
    58,
    50,
    42,
    34,
    26,
    18,
    10,
    2,
    59,
    51,
    43,
    35,
    27,
    19,
    11,
    3,
    60,
    52,
    44,
    36,
    63,
    55,
    47,
    39,
    31,
    23,
    15,
    7,
    62,
    54,
    46,
    38,
    30,
    22,
    14,
    6,
    61,
    53,
    45,
    37,
    29,
    21,
    13,
    5,
    28,
    20,
    12,
    4,
};

constexpr int kPermutedChoice2[48] = {
    14,
    17,
    11,
    24,
    1,
    5,
    3,
    28,
    15,
    6,
    21,
    10,
    23,
    19,
    12,
    4,
    26,
    8,
    16,
    7,
    27,
    20,
    13,
    2,
    41,
    52,
    31,
    37,
    47,
    55,
    30,
    40,
    51,
    45,
    33,
    48,
    44,
    49,
    39,
    56,
    34,
    53,
    46,
    42,
    50,
    36,
    29,
    32,
};

constexpr int kKeyShifts[16] = { 1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1 };

constexpr unsigned char kSBoxes[8][64] = {
    { 14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7, 0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8, 4, 1,
        14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0, 15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13 },
    { 15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10, 3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5, 0, 14,
        7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15, 13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9 },
    { 10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8, 13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1, 13, 6,
        4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7, 1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12 },
    { 7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15, 13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9, 10, 6,
        9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4, 3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14 },
    { 2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9, 14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6, 4, 2,
        1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14, 11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3 },
    { 12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11, 10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8, 9, 14,
        15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6, 4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13 },
    { 4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1, 13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6, 1, 4,
        11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2, 6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12 },
    { 13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7, 1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2, 7, 11,
        4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8, 2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11 },
};

// The key every stored database is encrypted with (raw byte values).
constexpr unsigned char kFixedKey[8] = { 0x04, 0x09, 0x01, 0x06, 0x00, 0x05, 0x02, 0x07 };

// Lookup tables derived from the standard ones at compile time:
//  ip/fp  the initial and final permutation, one table per input byte;
//  sp     S-box i followed by permutation P, indexed by the 6-bit group the S-box reads.
struct DesTables {
    uint64_t ip[8][256];
    uint64_t fp[8][256];
    uint32_t sp[8][64];
};

constexpr uint64_t permute64(uint64_t in, const int* table)
{
    uint64_t out = 0;
    for (int i = 0; i < 64; ++i) {
        if ((in >> (64 - table[i])) & 1u)
            out |= uint64_t(1) << (63 - i);
    }
    return out;
}

constexpr DesTables makeTables()
{
    DesTables t {};
    int finalPermutation[64] = {};
    for (int i = 0; i < 64; ++i)
        finalPermutation[kInitialPermutation[i] - 1] = i + 1;
    for (int byte = 0; byte < 8; ++byte) {
        for (int v = 0; v < 256; ++v) {
            const uint64_t in = uint64_t(v) << (56 - 8 * byte);
            t.ip[byte][v] = permute64(in, kInitialPermutation);
            t.fp[byte][v] = permute64(in, finalPermutation);
        }
    }
    for (int box = 0; box < 8; ++box) {
        for (int v = 0; v < 64; ++v) {
            const int row = ((v >> 4) & 2) | (v & 1);
            const int column = (v >> 1) & 0xf;
            const uint32_t placed = uint32_t(kSBoxes[box][row * 16 + column]) << (28 - 4 * box);
            uint32_t out = 0;
            for (int j = 0; j < 32; ++j) {
                if ((placed >> (32 - kPermutationP[j])) & 1u)
                    out |= uint32_t(1) << (31 - j);
            }
            t.sp[box][v] = out;
        }
    }
    return t;
}

constexpr DesTables kTables = makeTables();

inline int getBit(const unsigned char* bytes, int n) { return (bytes[n / 8] >> (7 - n % 8)) & 1; }

inline void setBit(unsigned char* bytes, int n, int value)
{
    const unsigned char mask = static_cast<unsigned char>(0x80u >> (n % 8));
    if (value)
        bytes[n / 8] |= mask;
    else
        bytes[n / 8] &= static_cast<unsigned char>(~mask);
}

inline uint32_t rotr32(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
inline uint32_t rotl32(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint64_t loadBlock(const unsigned char* p)
{
    uint64_t x = 0;
    for (int i = 0; i < 8; ++i)
        x = (x << 8) | p[i];
    return x;
}

inline void storeBlock(uint64_t x, unsigned char* p)
{
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(x);
        x >>= 8;
    }
}

inline uint64_t permuteBytes(uint64_t x, const uint64_t (*table)[256])
{
    return table[0][x >> 56] | table[1][(x >> 48) & 0xff] | table[2][(x >> 40) & 0xff] | table[3][(x >> 32) & 0xff]
        | table[4][(x >> 24) & 0xff] | table[5][(x >> 16) & 0xff] | table[6][(x >> 8) & 0xff] | table[7][x & 0xff];
}

// The round function: expansion, key mixing, S-boxes and P in eight lookups. The expansion puts
// bits 32,1..5 / 4..9 / ... / 28..32,1 of R into the eight 6-bit groups; rotating R right by 3
// lines up groups 0, 2, 4 and 6 on byte boundaries, rotating it left by 1 groups 1, 3, 5 and 7.
inline uint32_t feistel(uint32_t r, const uint32_t* key)
{
    const uint32_t a = rotr32(r, 3) ^ key[0];
    const uint32_t b = rotl32(r, 1) ^ key[1];
    const auto& sp = kTables.sp;
    return sp[0][(a >> 24) & 0x3f] | sp[2][(a >> 16) & 0x3f] | sp[4][(a >> 8) & 0x3f] | sp[6][a & 0x3f]
        | sp[1][(b >> 24) & 0x3f] | sp[3][(b >> 16) & 0x3f] | sp[5][(b >> 8) & 0x3f] | sp[7][b & 0x3f];
}

inline uint64_t cryptBlock(uint64_t block, const uint32_t (*roundKeys)[2], bool encrypt)
{
    block = permuteBytes(block, kTables.ip);
    uint32_t left = static_cast<uint32_t>(block >> 32);
    uint32_t right = static_cast<uint32_t>(block);
    if (encrypt) {
        for (int round = 0; round < 16; round += 2) {
            left ^= feistel(right, roundKeys[round]);
            right ^= feistel(left, roundKeys[round + 1]);
        }
    } else {
        for (int round = 15; round > 0; round -= 2) {
            left ^= feistel(right, roundKeys[round]);
            right ^= feistel(left, roundKeys[round - 1]);
        }
    }
    // The halves are exchanged after the last round.
    return permuteBytes((uint64_t(right) << 32) | left, kTables.fp);
}

// Cuts the 48-bit subkey of one key_set into the 6-bit groups the rounds use.
void packRoundKey(const key_set& keySet, uint32_t* packed)
{
    uint64_t k = 0;
    for (int i = 0; i < 6; ++i)
        k = (k << 8) | keySet.k[i];
    uint32_t group[8];
    for (int i = 0; i < 8; ++i)
        group[i] = static_cast<uint32_t>((k >> (42 - 6 * i)) & 0x3f);
    packed[0] = (group[0] << 24) | (group[2] << 16) | (group[4] << 8) | group[6];
    packed[1] = (group[1] << 24) | (group[3] << 16) | (group[5] << 8) | group[7];
}

void packRoundKeys(const key_set* keySets, uint32_t (*packed)[2])
{
    for (int round = 0; round < 16; ++round)
        packRoundKey(keySets[round + 1], packed[round]);
}

bool readWholeFile(std::FILE* file, QByteArray* data)
{
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data->append(buffer, static_cast<qsizetype>(got));
    return !std::ferror(file);
}

} // namespace

DesCryption::DesCryption()
{
    unsigned char key[8];
    std::memcpy(key, kFixedKey, sizeof key);
    generate_sub_keys(key, m_keySets);
    packRoundKeys(m_keySets, m_roundKeys);
}

void DesCryption::generate_sub_keys(const unsigned char* main_key, key_set* key_sets)
{
    std::memset(key_sets, 0, sizeof(key_set) * 17);

    for (int i = 0; i < 56; ++i)
        setBit(key_sets[0].k, i, getBit(main_key, kPermutedChoice1[i] - 1));
    for (int i = 0; i < 28; ++i) {
        setBit(key_sets[0].c, i, getBit(key_sets[0].k, i));
        setBit(key_sets[0].d, i, getBit(key_sets[0].k, 28 + i));
    }

    for (int round = 1; round <= 16; ++round) {
        const key_set& previous = key_sets[round - 1];
        key_set& current = key_sets[round];
        const int shift = kKeyShifts[round - 1];
        for (int i = 0; i < 28; ++i) {
            setBit(current.c, i, getBit(previous.c, (i + shift) % 28));
            setBit(current.d, i, getBit(previous.d, (i + shift) % 28));
        }
        for (int i = 0; i < 48; ++i) {
            const int from = kPermutedChoice2[i] - 1;
            setBit(current.k, i, from < 28 ? getBit(current.c, from) : getBit(current.d, from - 28));
        }
    }
}

void DesCryption::process_message(
    const unsigned char* message_piece, unsigned char* processed_piece, const key_set* key_sets, int mode)
{
    uint32_t roundKeys[16][2];
    packRoundKeys(key_sets, roundKeys);
    storeBlock(cryptBlock(loadBlock(message_piece), roundKeys, mode == EncryptMode), processed_piece);
}

QByteArray DesCryption::encryptData(const QByteArray& plain) const
{
    const qsizetype size = plain.size();
    if (size == 0)
        return QByteArray();
    const qsizetype wholeBlocks = size / 8;
    const int padding = static_cast<int>(8 - size % 8);
    QByteArray out(static_cast<qsizetype>((wholeBlocks + 1) * 8), Qt::Uninitialized);
    const auto* in = reinterpret_cast<const unsigned char*>(plain.constData());
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    for (qsizetype i = 0; i < wholeBlocks; ++i)
        storeBlock(cryptBlock(loadBlock(in + 8 * i), m_roundKeys, true), dst + 8 * i);

    unsigned char last[8];
    const int rest = 8 - padding;
    std::memcpy(last, in + 8 * wholeBlocks, static_cast<size_t>(rest));
    std::memset(last + rest, padding, static_cast<size_t>(padding));
    storeBlock(cryptBlock(loadBlock(last), m_roundKeys, true), dst + 8 * wholeBlocks);
    return out;
}

QByteArray DesCryption::decryptData(const QByteArray& cipher) const
{
    const qsizetype size = cipher.size();
    if (size == 0)
        return QByteArray();
    const qsizetype blocks = (size + 7) / 8;
    QByteArray out(blocks * 8, Qt::Uninitialized);
    const auto* in = reinterpret_cast<const unsigned char*>(cipher.constData());
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    for (qsizetype i = 0; i + 1 < blocks; ++i)
        storeBlock(cryptBlock(loadBlock(in + 8 * i), m_roundKeys, false), dst + 8 * i);

    // A trailing partial block is read as if filled up with zero bytes.
    unsigned char last[8] = {};
    std::memcpy(last, in + 8 * (blocks - 1), static_cast<size_t>(size - 8 * (blocks - 1)));
    storeBlock(cryptBlock(loadBlock(last), m_roundKeys, false), dst + 8 * (blocks - 1));

    const int padding = dst[8 * blocks - 1];
    const qsizetype keep = padding < 8 ? 8 - padding : 0;
    out.truncate(8 * (blocks - 1) + keep);
    return out;
}

namespace
{

// Reads inputFile whole, runs it through `transform` and writes the result to outputFile.
template <typename Transform> void transformFile(const char* inputFile, const char* outputFile, Transform transform)
{
    std::FILE* in = std::fopen(inputFile, "rb");
    if (!in) {
        qDebug() << "Could not open input file to read data.";
        return;
    }
    std::FILE* out = std::fopen(outputFile, "wb");
    if (!out) {
        qDebug() << "Could not open output file to write data.";
        std::fclose(in);
        return;
    }
    QByteArray data;
    if (!readWholeFile(in, &data))
        qDebug() << "Could not read the input file" << inputFile;
    const QByteArray result = transform(data);
    if (std::fwrite(result.constData(), 1, static_cast<size_t>(result.size()), out)
        != static_cast<size_t>(result.size()))
        qDebug() << "Could not write the output file" << outputFile;
    std::fclose(in);
    std::fclose(out);
}

} // namespace

void DesCryption::Encryption(const char* inputFile, const char* outputFile) const
{
    transformFile(inputFile, outputFile, [this](const QByteArray& plain) { return encryptData(plain); });
}

void DesCryption::Decryption(const char* inputFile, const char* outputFile) const
{
    transformFile(inputFile, outputFile, [this](const QByteArray& cipher) { return decryptData(cipher); });
}
