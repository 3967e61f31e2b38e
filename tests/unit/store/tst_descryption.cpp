// The DES file cipher: published test vectors, the key schedule, agreement with OpenSSL in both
// directions, and the layout of the encrypted file.

#include "StoreTestSupport.h"
#include "store/DesCryption.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

QByteArray fromHex(const char* hex) { return QByteArray::fromHex(QByteArray(hex)); }

QByteArray processBlock(const QByteArray& block, const key_set* keySets, int mode)
{
    unsigned char out[8] = {};
    DesCryption::process_message(reinterpret_cast<const unsigned char*>(block.constData()), out, keySets, mode);
    return QByteArray(reinterpret_cast<const char*>(out), 8);
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray data(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char(generator.bounded(256));
    return data;
}

} // namespace

class DesCryptionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void publishedVectors_data();
    void publishedVectors();
    void keySchedule();
    void fixedKeyBlocksMatchOpenSsl();
    void files_data();
    void files();
    void paddingLayout_data();
    void paddingLayout();
    void lastDecryptedByte_data();
    void lastDecryptedByte();
    void unopenableFiles();

private:
    OpenSslDes m_openssl;
    QTemporaryDir m_dir;
};

void DesCryptionTest::initTestCase()
{
    QVERIFY2(m_openssl.isValid(), "OpenSSL's legacy provider with DES-ECB is needed");
    QVERIFY(m_dir.isValid());
}

void DesCryptionTest::publishedVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");

    // FIPS 81 / the classic worked example, NBS SP 500-20 known-answer tests, Rivest's set.
    QTest::newRow("worked example") << fromHex("133457799BBCDFF1") << fromHex("0123456789ABCDEF")
                                    << fromHex("85E813540F0AB405");
    QTest::newRow("FIPS 81 'Now is t'") << fromHex("0123456789ABCDEF") << fromHex("4E6F772069732074")
                                        << fromHex("3FA40E8A984D4815");
    QTest::newRow("variable plaintext 1")
        << fromHex("0101010101010101") << fromHex("8000000000000000") << fromHex("95F8A5E5DD31D900");
    QTest::newRow("variable plaintext 2")
        << fromHex("0101010101010101") << fromHex("4000000000000000") << fromHex("DD7F121CA5015619");
    QTest::newRow("variable key 1") << fromHex("8001010101010101") << fromHex("0000000000000000")
                                    << fromHex("95A8D72813DAA94D");
    QTest::newRow("zero key, parity ignored")
        << fromHex("0000000000000000") << fromHex("0000000000000000") << fromHex("8CA64DE9C1B123A7");
    QTest::newRow("all ones") << fromHex("FFFFFFFFFFFFFFFF") << fromHex("FFFFFFFFFFFFFFFF")
                              << fromHex("7359B2163E4EDC58");
    QTest::newRow("Rivest set 3") << fromHex("3000000000000000") << fromHex("1000000000000001")
                                  << fromHex("958E6E627A05557B");
    QTest::newRow("to zero") << fromHex("0E329232EA6D0D73") << fromHex("8787878787878787")
                             << fromHex("0000000000000000");
}

void DesCryptionTest::publishedVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);

    key_set keySets[17];
    DesCryption::generate_sub_keys(reinterpret_cast<const unsigned char*>(key.constData()), keySets);
    QCOMPARE(processBlock(plain, keySets, DesCryption::EncryptMode).toHex(), cipher.toHex());
    QCOMPARE(processBlock(cipher, keySets, DesCryption::DecryptMode).toHex(), plain.toHex());
}

void DesCryptionTest::keySchedule()
{
    // The halves and subkeys of the worked example for the key 133457799BBCDFF1.
    const QByteArray key = fromHex("133457799BBCDFF1");
    key_set keySets[17];
    DesCryption::generate_sub_keys(reinterpret_cast<const unsigned char*>(key.constData()), keySets);

    auto bytes = [](const unsigned char* p, int n) { return QByteArray(reinterpret_cast<const char*>(p), n).toHex(); };
    QCOMPARE(bytes(keySets[0].k, 7), QByteArray("f0ccaaf556678f"));
    QCOMPARE(bytes(keySets[0].c, 4), QByteArray("f0ccaaf0"));
    QCOMPARE(bytes(keySets[0].d, 4), QByteArray("556678f0"));
    QCOMPARE(bytes(keySets[1].c, 4), QByteArray("e19955f0"));
    QCOMPARE(bytes(keySets[1].d, 4), QByteArray("aaccf1e0"));
    QCOMPARE(bytes(keySets[1].k, 6), QByteArray("1b02effc7072"));
    QCOMPARE(bytes(keySets[16].k, 6), QByteArray("cb3d8b0e17f5"));
    // After all sixteen rotations (28 positions) the halves are back where they started.
    QCOMPARE(bytes(keySets[16].c, 4), bytes(keySets[0].c, 4));
    QCOMPARE(bytes(keySets[16].d, 4), bytes(keySets[0].d, 4));

    // The object's own schedule is the one of the fixed key.
    DesCryption des;
    key_set expected[17];
    const QByteArray fixed = OpenSslDes::fixedKey();
    DesCryption::generate_sub_keys(reinterpret_cast<const unsigned char*>(fixed.constData()), expected);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(des.keySets()), sizeof expected),
        QByteArray(reinterpret_cast<const char*>(expected), sizeof expected));
}

void DesCryptionTest::fixedKeyBlocksMatchOpenSsl()
{
    DesCryption des;
    const QByteArray blocks = randomBytes(8 * 2000, 7);
    const QByteArray viaOpenSsl = m_openssl.run(blocks, OpenSslDes::fixedKey(), true, false);
    QCOMPARE(viaOpenSsl.size(), blocks.size());
    for (int i = 0; i < blocks.size(); i += 8) {
        const QByteArray plain = blocks.mid(i, 8);
        const QByteArray cipher = viaOpenSsl.mid(i, 8);
        QCOMPARE(processBlock(plain, des.keySets(), DesCryption::EncryptMode).toHex(), cipher.toHex());
        QCOMPARE(processBlock(cipher, des.keySets(), DesCryption::DecryptMode).toHex(), plain.toHex());
    }
}

void DesCryptionTest::files_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("encryptedSize");

    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("1 byte") << 1 << 8;
    QTest::newRow("7 bytes") << 7 << 8;
    QTest::newRow("8 bytes") << 8 << 16;
    QTest::newRow("13 bytes") << 13 << 16;
    QTest::newRow("16 bytes") << 16 << 24;
    QTest::newRow("4 KiB") << 4096 << 4104;
    QTest::newRow("64 KiB + 1") << 65537 << 65544;
}

void DesCryptionTest::files()
{
    QFETCH(int, size);
    QFETCH(int, encryptedSize);

    DesCryption des;
    const QByteArray plain = randomBytes(size, quint32(size) + 1);
    const QString plainFile = m_dir.filePath(QStringLiteral("plain-%1").arg(size));
    const QString encryptedFile = m_dir.filePath(QStringLiteral("enc-%1").arg(size));
    const QString decryptedFile = m_dir.filePath(QStringLiteral("dec-%1").arg(size));
    const QString foreignFile = m_dir.filePath(QStringLiteral("foreign-%1").arg(size));
    const QString foreignDecrypted = m_dir.filePath(QStringLiteral("foreign-dec-%1").arg(size));
    QVERIFY(StoreTest::writeFile(plainFile, plain));

    des.Encryption(QFile::encodeName(plainFile).constData(), QFile::encodeName(encryptedFile).constData());
    const QByteArray encrypted = StoreTest::readFile(encryptedFile);
    QCOMPARE(encrypted.size(), encryptedSize);
    QCOMPARE(des.encryptData(plain), encrypted);
    if (size > 0) {
        // OpenSSL with PKCS#5 padding writes the same file and reads ours back.
        QCOMPARE(m_openssl.run(plain, OpenSslDes::fixedKey(), true, true).toHex(), encrypted.toHex());
        QCOMPARE(m_openssl.run(encrypted, OpenSslDes::fixedKey(), false, true), plain);
    }

    des.Decryption(QFile::encodeName(encryptedFile).constData(), QFile::encodeName(decryptedFile).constData());
    QVERIFY(QFile::exists(decryptedFile));
    QCOMPARE(StoreTest::readFile(decryptedFile), plain);

    // A file encrypted by OpenSSL decrypts with ours.
    if (size > 0) {
        QVERIFY(StoreTest::writeFile(foreignFile, m_openssl.run(plain, OpenSslDes::fixedKey(), true, true)));
        des.Decryption(QFile::encodeName(foreignFile).constData(), QFile::encodeName(foreignDecrypted).constData());
        QCOMPARE(StoreTest::readFile(foreignDecrypted), plain);
    }
}

void DesCryptionTest::paddingLayout_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("lastPlainBlock");

    QTest::newRow("13 bytes: three bytes 03") << QByteArray("0123456789abc") << QByteArray("89abc\x03\x03\x03");
    QTest::newRow("16 bytes: a block of 08") << QByteArray("0123456789abcdef") << QByteArray(8, '\x08');
    QTest::newRow("1 byte: seven bytes 07") << QByteArray("z") << QByteArray("z\x07\x07\x07\x07\x07\x07\x07");
}

void DesCryptionTest::paddingLayout()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, lastPlainBlock);

    DesCryption des;
    const QByteArray encrypted = des.encryptData(plain);
    const QByteArray raw = m_openssl.run(encrypted, OpenSslDes::fixedKey(), false, false);
    QCOMPARE(raw.right(8).toHex(), lastPlainBlock.toHex());
    QCOMPARE(raw.left(plain.size()), plain);
}

void DesCryptionTest::lastDecryptedByte_data()
{
    QTest::addColumn<QByteArray>("plainBlocks");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray first("ABCDEFGH");
    // The last byte of the last block says how many bytes of it to drop; 8 or more drops it all.
    QTest::newRow("3 dropped") << first + QByteArray("abcde\x03\x03\x03") << first + QByteArray("abcde");
    QTest::newRow("whole padding block") << first + QByteArray(8, '\x08') << first;
    QTest::newRow("0 keeps all") << first + QByteArray("abcdefg\x00", 8) << first + QByteArray("abcdefg\x00", 8);
    QTest::newRow("200 drops the block") << first + QByteArray("abcdefg\xc8") << first;
}

void DesCryptionTest::lastDecryptedByte()
{
    QFETCH(QByteArray, plainBlocks);
    QFETCH(QByteArray, expected);

    DesCryption des;
    const QByteArray cipher = m_openssl.run(plainBlocks, OpenSslDes::fixedKey(), true, false);
    QCOMPARE(des.decryptData(cipher), expected);

    const QString in = m_dir.filePath(QStringLiteral("last-in"));
    const QString out = m_dir.filePath(QStringLiteral("last-out"));
    QVERIFY(StoreTest::writeFile(in, cipher));
    des.Decryption(QFile::encodeName(in).constData(), QFile::encodeName(out).constData());
    QCOMPARE(StoreTest::readFile(out), expected);
}

void DesCryptionTest::unopenableFiles()
{
    DesCryption des;
    const QString missing = m_dir.filePath(QStringLiteral("does-not-exist"));
    const QString output = m_dir.filePath(QStringLiteral("never-written"));
    const QString input = m_dir.filePath(QStringLiteral("some-input"));
    const QString badOutput = m_dir.filePath(QStringLiteral("no-such-dir/out"));
    QVERIFY(StoreTest::writeFile(input, "data"));

    LogCapture log;
    des.Encryption(QFile::encodeName(missing).constData(), QFile::encodeName(output).constData());
    des.Decryption(QFile::encodeName(missing).constData(), QFile::encodeName(output).constData());
    QCOMPARE(log.lines(),
        QStringList({ QStringLiteral("Could not open input file to read data."),
            QStringLiteral("Could not open input file to read data.") }));
    QVERIFY(!QFile::exists(output));

    log.clear();
    des.Encryption(QFile::encodeName(input).constData(), QFile::encodeName(badOutput).constData());
    des.Decryption(QFile::encodeName(input).constData(), QFile::encodeName(badOutput).constData());
    QCOMPARE(log.lines(),
        QStringList({ QStringLiteral("Could not open output file to write data."),
            QStringLiteral("Could not open output file to write data.") }));
}

QTEST_GUILESS_MAIN(DesCryptionTest)
#include "tst_descryption.moc"
