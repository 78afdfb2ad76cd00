#pragma once
#include <QByteArray>
#include <QString>

struct UpdateInfo;

// Fills info from the manifest body. A member that is absent or of another JSON type
// leaves its field as it was ("cn" is read as text whatever its type). A body that is
// not JSON is logged ("json error : ") and changes nothing; neither does valid JSON that
// is not an object.
void parseVersionManifest(const QByteArray& body, UpdateInfo& info);

// True when offered is a newer dotted version than current. Versions with another
// number of parts are never newer; a part that is not a number counts as 0.
bool isNewerVersion(const QString& current, const QString& offered);

// The application version cut before its last "." (3.0.3.0 gives 3.0.3).
QString runningVersion();
