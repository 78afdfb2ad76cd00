#include "VersionManifest.h"

#include "UpdateInfo.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

namespace {

void readString(const QJsonObject& object, const char* name, QString& field)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (value.isString())
        field = value.toString();
}

} // namespace

void parseVersionManifest(const QByteArray& body, UpdateInfo& info)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || document.isNull()) {
        qWarning().noquote() << "json error : " + error.errorString();
        return;
    }
    if (!document.isObject())
        return;
    const QJsonObject manifest = document.object();
    readString(manifest, "version", info.version);
    const QJsonValue notes = manifest.value(QLatin1String("vesioninfo"));
    if (notes.isObject())
        info.versionInfo = notes.toObject().value(QLatin1String("cn")).toVariant().toString();
    const QJsonValue apk = manifest.value(QLatin1String("apk"));
    if (apk.isObject()) {
        const QJsonObject x64 = apk.toObject().value(QLatin1String("x64")).toObject();
        readString(x64, "url", info.url);
        readString(x64, "md5", info.md5);
    }
    const QJsonValue popup = manifest.value(QLatin1String("popupWindow"));
    if (popup.isBool())
        info.popupWindow = popup.toBool();
    const QJsonValue forced = manifest.value(QLatin1String("forceUpdate"));
    if (forced.isArray()) {
        info.forceUpdate.clear();
        const QJsonArray versions = forced.toArray();
        for (const QJsonValue& version : versions)
            info.forceUpdate << version.toVariant().toString();
    }
}

bool isNewerVersion(const QString& current, const QString& offered)
{
    const QStringList have = current.split('.');
    const QStringList offer = offered.split('.');
    if (have.size() != offer.size())
        return false;
    for (int i = 0; i < have.size(); ++i) {
        const uint mine = have[i].toUInt();
        const uint theirs = offer[i].toUInt();
        if (mine != theirs)
            return mine < theirs;
    }
    return false;
}

QString runningVersion()
{
    const QString full = QCoreApplication::applicationVersion();
    return full.left(full.lastIndexOf('.'));
}
