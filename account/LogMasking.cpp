#include "LogMasking.h"

#include "Scrambling.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QUrlQuery>

namespace {

constexpr int kShownPrefixMinimum = 12;

bool isSecretKey(const QString& key)
{
    return key == "X-SW-Auth-Token" || key == "token" || key == "code" || key == "secret";
}

bool isPhoneKey(const QString& key)
{
    return key == "phone" || key == "userPhone" || key == "loginName";
}

QJsonValue masked(const QString& key, const QJsonValue& value);

QJsonObject maskedObject(const QJsonObject& object)
{
    QJsonObject result;
    for (auto it = object.begin(); it != object.end(); ++it)
        result.insert(it.key(), masked(it.key(), it.value()));
    return result;
}

QJsonValue masked(const QString& key, const QJsonValue& value)
{
    if (value.isObject())
        return maskedObject(value.toObject());
    if (value.isArray()) {
        QJsonArray result;
        for (const QJsonValue& item : value.toArray())
            result.append(masked(key, item));
        return result;
    }
    if (!value.isString())
        return value;
    const QString text = value.toString();
    if (isPhoneKey(key))
        return LogMasking::phone(text);
    if (isSecretKey(key) || text.startsWith(QLatin1String(Scrambling::prefix)))
        return LogMasking::secret(text);
    return value;
}

} // namespace

namespace LogMasking {

QString secret(const QString& value)
{
    if (value.isEmpty())
        return value;
    const QString shown = value.size() >= kShownPrefixMinimum ? value.left(4) : QString();
    return QString("%1***(%2)").arg(shown).arg(value.size());
}

QString phone(const QString& value)
{
    if (value.size() < 8)
        return secret(value);
    return value.left(3) + QString(value.size() - 7, '*') + value.right(4);
}

QString json(const QByteArray& text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text);
    if (document.isObject())
        return QString::fromUtf8(QJsonDocument(maskedObject(document.object())).toJson(QJsonDocument::Compact));
    if (document.isArray())
        return QString::fromUtf8(
            QJsonDocument(masked(QString(), document.array()).toArray()).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(text);
}

QString url(const QUrl& url)
{
    QUrlQuery query(url);
    if (!query.hasQueryItem("code"))
        return url.toString();
    const QString code = query.queryItemValue("code", QUrl::FullyDecoded);
    query.removeAllQueryItems("code");
    query.addQueryItem("code", secret(code));
    QUrl result(url);
    result.setQuery(query);
    return result.toString();
}

} // namespace LogMasking
