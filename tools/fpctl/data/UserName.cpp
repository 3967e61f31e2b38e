#include "UserName.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cstring>

namespace UserName
{

Encoded encode(const QString& name)
{
    Encoded result;
    if (name.isEmpty()) {
        result.problem = Problem::Empty;
        return result;
    }
    QStringEncoder encoder("GB18030", QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder(name);
    // Unpaired surrogates cannot be encoded; a zero byte would end the name early at the printer.
    if (!encoder.isValid() || encoder.hasError() || bytes.contains('\0')) {
        result.problem = Problem::NotEncodable;
        return result;
    }
    result.encodedLength = static_cast<int>(bytes.size());
    if (bytes.size() > kMaxBytes) {
        result.problem = Problem::TooLong;
        return result;
    }
    result.bytes = bytes;
    return result;
}

QString problemText(const Encoded& encoded, const QString& name)
{
    switch (encoded.problem) {
    case Problem::None:
        return QString();
    case Problem::Empty:
        return QStringLiteral("the user name is empty");
    case Problem::TooLong:
        return QStringLiteral("the user name '%1' takes %2 bytes in GB18030; the printer stores at most %3")
            .arg(name)
            .arg(encoded.encodedLength)
            .arg(kMaxBytes);
    case Problem::NotEncodable:
        return QStringLiteral("the user name '%1' cannot be written in GB18030").arg(name);
    }
    return QString();
}

QString decode(const QByteArray& bytes)
{
    const qsizetype limit = std::min<qsizetype>(bytes.size(), kMaxBytes);
    const void* zero = std::memchr(bytes.constData(), 0, static_cast<size_t>(limit));
    const qsizetype length = zero ? static_cast<const char*>(zero) - bytes.constData() : limit;
    QStringDecoder decoder("GB18030");
    return decoder(QByteArrayView(bytes.constData(), length));
}

} // namespace UserName
