#include "AppSettings.h"

#include "platform/Platform.h"

#include <QDebug>
#include <QFileInfo>
#include <QSettings>

AppSettings& AppSettings::instance()
{
    static AppSettings store;
    return store;
}

AppSettings::AppSettings()
{
    const QString dir = platform::dataDirectory();
    platform::createPrivateDirectory(dir);
    // Qt keeps the permissions of an existing file when it writes the settings back.
    platform::makePrivateFile(dir + "/virtualBg.ini");
    m_settings = new QSettings(dir + "/virtualBg.ini", QSettings::IniFormat);
    // A damaged file reads as empty (defaults everywhere); QSettings leaves it alone until a
    // value is set, so nothing is lost by merely starting.
    if (m_settings->status() != QSettings::NoError)
        qWarning() << "settings : cannot read" << m_settings->fileName() << ", status" << m_settings->status()
                   << ", using defaults";
}

AppSettings::~AppSettings()
{
    delete m_settings;
}

bool AppSettings::contains(const QString& key) const
{
    return m_settings->contains(key);
}

QVariant AppSettings::value(const QString& key, const QVariant& defaultValue) const
{
    return m_settings->value(key, defaultValue);
}

void AppSettings::setValue(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
}

void AppSettings::remove(const QString& key)
{
    m_settings->remove(key);
}

void AppSettings::sync()
{
    m_settings->sync();
}

QString AppSettings::fileName() const
{
    return m_settings->fileName();
}
