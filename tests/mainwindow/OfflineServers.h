#pragma once
// Points the account and update services at a closed port of this machine, so that a main
// window under test asks no one outside it: the version check at start fails at once.
#include "platform/Platform.h"

#include <QDir>
#include <QSettings>

inline void pointServicesAtClosedPort()
{
    QDir().mkpath(platform::dataDirectory());
    QSettings ini(platform::dataDirectory() + "/server.ini", QSettings::IniFormat);
    ini.setValue("server", "https://127.0.0.1:9");
    ini.setValue("file", "https://127.0.0.1:9");
}
