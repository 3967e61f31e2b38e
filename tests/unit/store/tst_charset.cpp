// GB18030 <-> UTF-8 conversion into the fixed-size name fields.

#include "store/CharsetFuncs.h"

#include <QtTest>
#include <cstring>

namespace
{

QString repeat(const QString& text, int times)
{
    QString out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

} // namespace

class CharsetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void utf8ToGbk_data();
    void utf8ToGbk();
    void gbkToUtf8_data();
    void gbkToUtf8();
    void gbkToUtf8StaysInBuffer();
    void roundTrip_data();
    void roundTrip();
};

void CharsetTest::utf8ToGbk_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray zhang = QByteArray::fromHex("d5c5");
    const QByteArray emoji = QByteArray::fromHex("9439fc36");
    QTest::newRow("张三") << QStringLiteral("张三") << QByteArray::fromHex("d5c5c8fd");
    QTest::newRow("ascii") << QStringLiteral("admin") << QByteArray("admin");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("16 two-byte characters fill 32 bytes") << repeat(QStringLiteral("张"), 16) << zhang.repeated(16);
    QTest::newRow("17 two-byte characters: 16 kept") << repeat(QStringLiteral("张"), 17) << zhang.repeated(16);
    QTest::newRow("31 ascii + one two-byte: that one dropped")
        << repeat(QStringLiteral("a"), 31) + QStringLiteral("张") << QByteArray(31, 'a');
    QTest::newRow("40 ascii: 32 kept") << repeat(QStringLiteral("b"), 40) << QByteArray(32, 'b');
    QTest::newRow("four-byte characters: 8 of 9 kept") << repeat(QStringLiteral("😀"), 9) << emoji.repeated(8);
    QTest::newRow("one ascii + 8 four-byte: 7 kept")
        << QStringLiteral("x") + repeat(QStringLiteral("😀"), 8) << "x" + emoji.repeated(7);
}

void CharsetTest::utf8ToGbk()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);

    char field[64];
    std::memset(field, 0x5a, sizeof field);
    const int written = CharsetFuncs::Utf8ToGBK(field, text.toUtf8().constData());
    QCOMPARE(written, int(expected.size()));
    QCOMPARE(QByteArray(field, written).toHex(), expected.toHex());
    // Bytes after the text up to byte 32 are zero; the function touches nothing past 33 bytes.
    QCOMPARE(QByteArray(field + written, 33 - written), QByteArray(33 - written, '\0'));
    QCOMPARE(QByteArray(field + 33, 31), QByteArray(31, '\x5a'));
}

void CharsetTest::gbkToUtf8_data()
{
    QTest::addColumn<QByteArray>("gb18030");
    QTest::addColumn<QString>("text");

    QTest::newRow("张三") << QByteArray::fromHex("d5c5c8fd") << QStringLiteral("张三");
    QTest::newRow("ascii") << QByteArray("admin") << QStringLiteral("admin");
    QTest::newRow("four-byte form") << QByteArray::fromHex("9439fc36") << QStringLiteral("😀");
    QTest::newRow("mixed") << QByteArray::fromHex("41d5c5") << QStringLiteral("A张");
}

void CharsetTest::gbkToUtf8()
{
    QFETCH(QByteArray, gb18030);
    QFETCH(QString, text);

    char buffer[128] = {};
    CharsetFuncs::GBKToUtf8(buffer, gb18030.constData());
    const QByteArray utf8 = text.toUtf8();
    QCOMPARE(QByteArray(buffer), utf8);
    QCOMPARE(QByteArray(buffer + utf8.size(), int(sizeof buffer) - int(utf8.size())),
        QByteArray(int(sizeof buffer) - int(utf8.size()), '\0'));
    QCOMPARE(CharsetFuncs::fromGB18030(gb18030.constData()), text);
}

void CharsetTest::gbkToUtf8StaysInBuffer()
{
    // 100 two-byte characters become 300 UTF-8 bytes: only whole characters that fit in 127
    // bytes are written and the last byte of the buffer stays zero.
    const QByteArray source = QByteArray::fromHex("d5c5").repeated(100);
    char buffer[160];
    std::memset(buffer, 0, sizeof buffer);
    std::memset(buffer + 128, 0x5a, 32);
    CharsetFuncs::GBKToUtf8(buffer, source.constData());
    QCOMPARE(QByteArray(buffer), repeat(QStringLiteral("张"), 42).toUtf8());
    QCOMPARE(buffer[127], '\0');
    QCOMPARE(QByteArray(buffer + 128, 32), QByteArray(32, '\x5a'));
}

void CharsetTest::roundTrip_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("张三") << QStringLiteral("张三");
    QTest::newRow("quote") << QStringLiteral("O'Brien");
    QTest::newRow("mixed") << QStringLiteral("李四-Li Si");
    QTest::newRow("rare character") << QStringLiteral("𠀀a");
}

void CharsetTest::roundTrip()
{
    QFETCH(QString, name);

    char field[33];
    CharsetFuncs::Utf8ToGBK(field, name.toUtf8().constData());
    char display[128] = {};
    CharsetFuncs::GBKToUtf8(display, field);
    QCOMPARE(QString::fromUtf8(display), name);
}

QTEST_GUILESS_MAIN(CharsetTest)
#include "tst_charset.moc"
