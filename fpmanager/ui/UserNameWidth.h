#ifndef USERNAMEWIDTH_H
#define USERNAMEWIDTH_H

#include <QString>

// The width rule for user names typed into the windows: a character whose local 8-bit encoding
// takes two or more bytes counts 2, any other counts 1, and a name may be at most 32 wide, so
// that it fits the printer's 32-byte name field in GB18030.
namespace UserNameWidth
{

constexpr int kMaxWidth = 32;

// The width of text. A character outside the Basic Multilingual Plane (a surrogate pair) is one
// character.
int width(const QString& text);

// text with its last characters removed until its width is at most kMaxWidth.
QString limited(const QString& text);

} // namespace UserNameWidth

#endif
