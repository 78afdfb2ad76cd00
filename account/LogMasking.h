#pragma once
#include <QByteArray>
#include <QString>

class QUrl;

// The log goes out with bug reports: tokens, codes and phone numbers are shown masked in it.
namespace LogMasking {

// At most the first four characters (only of a long value) and the length: "abcd***(32)".
QString secret(const QString& value);
// First three and last four digits: "138****8000".
QString phone(const QString& value);
// Compact JSON text with the values of secret and phone members masked, at any depth. A body
// that is not JSON is shown as is: only the server's JSON carries secrets.
QString json(const QByteArray& text);
// The URL with the value of its query item "code" masked.
QString url(const QUrl& url);

} // namespace LogMasking
