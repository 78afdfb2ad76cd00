#include "Platform.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace platform {

QString installerSuffix()
{
    return QStringLiteral(".run");
}

bool startInstaller(const QString& packagePath)
{
    QFile package(packagePath);
    const QFileDevice::Permissions executable =
        QFileDevice::ExeOwner | QFileDevice::ExeUser | QFileDevice::ReadOwner | QFileDevice::ReadUser;
    if (!package.setPermissions(package.permissions() | executable))
        return false;
    // Program and arguments apart, so a path with spaces needs no quoting.
    return QProcess::startDetached(packagePath, QStringList(), QFileInfo(packagePath).absolutePath());
}

} // namespace platform
