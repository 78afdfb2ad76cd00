#include "Scrambling.h"

namespace {

constexpr char kMask = 0x3A;

int hexValue(QChar digit)
{
    const ushort c = digit.unicode();
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

} // namespace

namespace Scrambling {

QString scramble(const QByteArray& plain)
{
    QByteArray masked = plain;
    for (char& byte : masked)
        byte ^= kMask;
    return QString::fromLatin1(prefix) + QString::fromLatin1(masked.toHex().toUpper());
}

QString unscramble(const QString& text)
{
    const QString start = QString::fromLatin1(prefix);
    if (!text.startsWith(start))
        return text;
    QByteArray bytes;
    for (int i = start.size(); i + 1 < text.size(); i += 2)
        bytes.append(char((hexValue(text[i]) << 4 | hexValue(text[i + 1])) ^ kMask));
    return QString::fromUtf8(bytes);
}

} // namespace Scrambling
