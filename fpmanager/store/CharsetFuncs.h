#ifndef CHARSETFUNCS_H
#define CHARSETFUNCS_H

#include <QByteArray>
#include <QString>

// Conversion between GB18030, in which the printer stores user names, and UTF-8. GB18030 is a
// superset of GBK; the method names say GBK, the codec used is "GB18030".
class CharsetFuncs
{
public:
    // A user name field: at most 32 bytes of text and a terminating zero.
    static constexpr int kNameBytes = 32;
    static constexpr int kNameFieldSize = kNameBytes + 1;
    // The buffer size the display code converts names into.
    static constexpr int kDisplayBufferSize = 128;
    // The codec of the printer's names.
    static constexpr const char* kNameCodec = "GB18030";

    CharsetFuncs() { }

    // Converts zero-terminated UTF-8 source to GB18030: clears destination bytes 0 to 32, then
    // copies the converted bytes there, at most 32 of them and only whole characters, so that
    // byte 32 and the byte after the text stay zero. Returns the number of bytes written.
    static int Utf8ToGBK(char* destination, const char* source);

    // Converts zero-terminated GB18030 source to UTF-8 and copies the bytes to destination
    // without clearing it first and without adding a terminator: the caller passes a zero-filled
    // buffer of destinationSize bytes. At most destinationSize - 1 bytes are written, whole
    // characters only, so the text stays terminated.
    static void GBKToUtf8(char* destination, const char* source, int destinationSize = kDisplayBufferSize);

    // Helpers on Qt strings.
    // The GB18030 bytes of text, cut to at most maxBytes bytes at a character boundary.
    static QByteArray toGB18030(const QString& text, int maxBytes = kNameBytes);
    // The text of GB18030 bytes up to the first zero byte, reading at most maxBytes bytes (all of
    // them up to the zero when maxBytes is negative).
    static QString fromGB18030(const char* bytes, int maxBytes = -1);
    // The UTF-8 bytes of text, cut to at most maxBytes bytes at a character boundary.
    static QByteArray toUtf8Cut(const QString& text, int maxBytes);
};

#endif
