#include "UserNameWidth.h"

namespace
{

// Length in UTF-16 units of the character that ends at position end (exclusive).
int lastCharacterLength(const QString& text, int end)
{
    if (end >= 2 && text.at(end - 1).isLowSurrogate() && text.at(end - 2).isHighSurrogate())
        return 2;
    return 1;
}

int characterWidth(const QString& character) { return character.toLocal8Bit().size() >= 2 ? 2 : 1; }

} // namespace

namespace UserNameWidth
{

int width(const QString& text)
{
    int total = 0;
    int i = 0;
    const int size = static_cast<int>(text.size());
    while (i < size) {
        const int length = (i + 1 < size && text.at(i).isHighSurrogate() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        total += characterWidth(text.mid(i, length));
        i += length;
    }
    return total;
}

QString limited(const QString& text)
{
    QString result = text;
    while (!result.isEmpty() && width(result) > kMaxWidth)
        result.chop(lastCharacterLength(result, static_cast<int>(result.size())));
    return result;
}

} // namespace UserNameWidth
