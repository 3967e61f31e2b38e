#ifndef FPCTL_USERNAME_H
#define FPCTL_USERNAME_H

#include <QByteArray>
#include <QString>

// User names as the printer stores them: GB18030 bytes, at most 32 of them. The administrator
// types names in UTF-8; they are converted here and refused, rather than cut, when they do not fit.
namespace UserName
{

constexpr int kMaxBytes = 32;

enum class Problem { None, Empty, TooLong, NotEncodable };

struct Encoded {
    QByteArray bytes; // the GB18030 bytes (empty unless problem is None)
    Problem problem = Problem::None;
    int encodedLength = 0; // length in GB18030 bytes, also when too long
};

// Converts a typed name to the bytes sent to the printer.
Encoded encode(const QString& name);

// A sentence saying why a name was refused (without a final full stop); empty for Problem::None.
QString problemText(const Encoded& encoded, const QString& name);

// The text of name bytes that came from a printer or a data file: GB18030 up to the first zero
// byte, at most 32 bytes.
QString decode(const QByteArray& bytes);

} // namespace UserName

#endif
