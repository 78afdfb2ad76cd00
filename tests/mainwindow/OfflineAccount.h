#pragma once
// The window restores the login when it starts. For the tests about the video the account
// service is kept off the network: server.ini points at a closed local port and a fresh token
// is stored, so the start only asks for the user, which fails at once, and no login dialog opens.
#include "app/AppSettings.h"
#include "app/SettingsKeys.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <QDir>
#include <QSettings>

inline void keepAccountOffline()
{
    QDir().mkpath(platform::dataDirectory());
    QSettings ini(platform::dataDirectory() + "/server.ini", QSettings::IniFormat);
    ini.setValue("server", "https://127.0.0.1:9");
    ini.setValue("file", "https://127.0.0.1:9");
    AppSettings::instance().setValue(SettingsKeys::authToken, QString("offline-test-token"));
    AppSettings::instance().setValue(SettingsKeys::authTime, QDateTime::currentDateTime());
}
