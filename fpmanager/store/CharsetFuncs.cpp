#include "CharsetFuncs.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstring>

namespace
{

// Encodes text with the encoder one character (code point) at a time and stops before the
// character that would take the result past maxBytes.
QByteArray encodeCut(QStringEncoder& encoder, const QString& text, int maxBytes)
{
    QByteArray out;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length;) {
        qsizetype width = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < length && text.at(i + 1).isLowSurrogate())
            width = 2;
        const QByteArray bytes = encoder(QStringView(text).mid(i, width));
        if (maxBytes >= 0 && out.size() + bytes.size() > maxBytes)
            break;
        out += bytes;
        i += width;
    }
    return out;
}

} // namespace

QByteArray CharsetFuncs::toGB18030(const QString& text, int maxBytes)
{
    QStringEncoder encoder(kNameCodec, QStringConverter::Flag::Stateless);
    return encodeCut(encoder, text, maxBytes);
}

QByteArray CharsetFuncs::toUtf8Cut(const QString& text, int maxBytes)
{
    QStringEncoder encoder("UTF8", QStringConverter::Flag::Stateless);
    return encodeCut(encoder, text, maxBytes);
}

QString CharsetFuncs::fromGB18030(const char* bytes, int maxBytes)
{
    if (!bytes)
        return QString();
    const size_t length = maxBytes < 0 ? std::strlen(bytes) : strnlen(bytes, static_cast<size_t>(maxBytes));
    QStringDecoder decoder(kNameCodec);
    return decoder(QByteArrayView(bytes, static_cast<qsizetype>(length)));
}

int CharsetFuncs::Utf8ToGBK(char* destination, const char* source)
{
    QStringDecoder utf8("UTF8");
    const QString text = utf8(QByteArrayView(source, static_cast<qsizetype>(std::strlen(source))));
    const QByteArray encoded = toGB18030(text, kNameBytes);
    std::memset(destination, 0, kNameFieldSize);
    std::memcpy(destination, encoded.constData(), static_cast<size_t>(encoded.size()));
    return static_cast<int>(encoded.size());
}

void CharsetFuncs::GBKToUtf8(char* destination, const char* source, int destinationSize)
{
    if (destinationSize <= 0)
        return;
    const QByteArray encoded = toUtf8Cut(fromGB18030(source), destinationSize - 1);
    std::memcpy(destination, encoded.constData(), static_cast<size_t>(encoded.size()));
}
