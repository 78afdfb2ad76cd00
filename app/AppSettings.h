#pragma once
#include <QString>
#include <QVariant>

#include <mutex>

class QSettings;

// The process-wide settings store over virtualBg.ini in the data directory.
// Safe to call from any thread: QSettings itself is not, so every call goes through one lock.
class AppSettings
{
public:
    static AppSettings& instance();

    bool contains(const QString& key) const;
    QVariant value(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    // Writes pending changes to the file now (tests and tools that read the file directly).
    void sync();
    QString fileName() const;

    AppSettings(const AppSettings&) = delete;
    AppSettings& operator=(const AppSettings&) = delete;

private:
    AppSettings();
    ~AppSettings();
    mutable std::mutex m_lock;
    QSettings* m_settings;
};
