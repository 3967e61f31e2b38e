#ifndef DESCRYPTION_H
#define DESCRYPTION_H

#include <QByteArray>
#include <cstdint>

// One entry of the DES key schedule. Entry 0 holds the key after permuted choice 1 (56 bits in
// k) and its two 28-bit halves; entries 1 to 16 hold the subkey of that round (48 bits in k) and
// the halves after that round's rotations. Bits are packed from the most significant bit of byte 0.
struct key_set {
    unsigned char k[8];
    unsigned char c[4];
    unsigned char d[4];
};

// DES (FIPS 46-3) in ECB mode under the application's fixed key, with PKCS#5 padding, applied to
// whole files. The encrypted form of a file is its 8-byte blocks each encrypted on its own; the
// last block is filled up with n bytes of value n (n = 8 - size % 8, a whole block of 0x08 when
// the size is a multiple of 8); an empty file stays empty. There is no header.
class DesCryption
{
public:
    enum Mode { DecryptMode = 0, EncryptMode = 1 };

    // Builds the key schedule of the fixed key.
    DesCryption();

    // The key schedule of FIPS 46-3: permuted choice 1, the rotations of the two halves per
    // round, permuted choice 2. main_key: 8 bytes; key_sets: 17 entries.
    static void generate_sub_keys(const unsigned char* main_key, key_set* key_sets);
    // One block: message_piece (8 bytes) into processed_piece (8 bytes) with the schedule
    // key_sets; mode 1 encrypts (subkeys 1 to 16), 0 decrypts (16 to 1).
    static void process_message(
        const unsigned char* message_piece, unsigned char* processed_piece, const key_set* key_sets, int mode);

    // Writes the encrypted (decrypted) form of the input file to the output file, which is
    // created or truncated. Failures are only logged.
    void Encryption(const char* inputFile, const char* outputFile) const;
    void Decryption(const char* inputFile, const char* outputFile) const;

    // The same transformations in memory, in exactly the file format above.
    QByteArray encryptData(const QByteArray& plain) const;
    QByteArray decryptData(const QByteArray& cipher) const;

    const key_set* keySets() const { return m_keySets; }

private:
    key_set m_keySets[17];
    // The 16 subkeys cut into 6-bit groups as the table-driven rounds use them.
    uint32_t m_roundKeys[16][2];
};

#endif
