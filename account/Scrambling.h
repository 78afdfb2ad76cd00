#pragma once
#include <QByteArray>
#include <QString>

// The account server's body scrambling: every byte XOR 0x3A, written as two upper-case hex
// digits, behind the prefix "vyrencode_". Both the client and the local test server use it.
namespace Scrambling {

inline constexpr const char* prefix = "vyrencode_";

QString scramble(const QByteArray& plain);
// Text without the prefix is returned unchanged. A digit that is not hexadecimal counts as
// 0; an odd trailing digit is ignored.
QString unscramble(const QString& text);

} // namespace Scrambling
