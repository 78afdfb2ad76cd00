#include "AppSettings.h"

#include "platform/Platform.h"

#include <QDebug>
#include <QEvent>
#include <QFileInfo>
#include <QSettings>

namespace {

// Qt writes pending changes back to the file later, from an event on the thread that created the
// settings object. That write must wait for the store's lock like every other call.
class LockedDeferredWrite : public QSettings
{
public:
    LockedDeferredWrite(const QString& fileName, std::mutex& lock)
        : QSettings(fileName, QSettings::IniFormat), m_lock(lock)
    {}

protected:
    bool event(QEvent* event) override
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return QSettings::event(event);
    }

private:
    std::mutex& m_lock;
};

} // namespace

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
    m_settings = new LockedDeferredWrite(dir + "/virtualBg.ini", m_lock);
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
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_settings->contains(key);
}

QVariant AppSettings::value(const QString& key, const QVariant& defaultValue) const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_settings->value(key, defaultValue);
}

void AppSettings::setValue(const QString& key, const QVariant& value)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_settings->setValue(key, value);
}

void AppSettings::remove(const QString& key)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_settings->remove(key);
}

void AppSettings::sync()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_settings->sync();
}

QString AppSettings::fileName() const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_settings->fileName();
}
