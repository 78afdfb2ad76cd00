#include "AccountTestSupport.h"

#include "app/AppSettings.h"
#include "app/Log.h"
#include "app/SettingsKeys.h"
#include "app/User.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QFile>

namespace AccountTest {

void prepareProcess()
{
    QCoreApplication::setApplicationName("Vyr_DoridOvov");
    User::registerMetaType();
    platform::createPrivateDirectory(platform::dataDirectory());
    QFile::remove(logFilePath());
    qInstallMessageHandler(logMessageHandler);
}

QString logText()
{
    QFile file(logFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void wipeStoredLogin()
{
    AppSettings::instance().remove(SettingsKeys::authToken);
    AppSettings::instance().remove(SettingsKeys::authTime);
    AppSettings::instance().remove(SettingsKeys::userInfo);
}

} // namespace AccountTest
