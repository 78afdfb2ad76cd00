#include "ServerConfig.h"

#include "platform/Platform.h"

#include <QDebug>
#include <QSettings>

const char* const ServerConfig::defaultServer = "https://api.doridovov.com:6802";
const char* const ServerConfig::defaultFile = "https://api.doridovov.com";

ServerConfig::ServerConfig()
{
    const QSettings ini(platform::dataDirectory() + "/server.ini", QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        qWarning() << "server config : cannot read" << ini.fileName() << ", using the built-in endpoints";
    m_server = ini.value("server", defaultServer).toString();
    m_file = ini.value("file", defaultFile).toString();
    m_caFile = ini.value("ca_file").toString();
}
