#include "EffectLevelStore.h"

#include "BeautyItems.h"
#include "EffectParameters.h"

#include "app/AppSettings.h"
#include "app/SettingsKeys.h"

#include <algorithm>
#include <cmath>

void EffectLevelStore::load(EffectParameters& parameters) const
{
    for (int i = 0; i < BeautyItems::count; ++i)
        parameters.setLevel(i, storedLevel(BeautyItems::table[i].name, BeautyItems::table[i].defaultLevel));
    parameters.aiLight = storedLevel(SettingsKeys::aiLight, SettingsKeys::aiLightDefault);
    parameters.portraitLevel = static_cast<float>(
        storedInt(SettingsKeys::portraitLevel, SettingsKeys::portraitLevelDefault, 0, 100));
}

float EffectLevelStore::storedLevel(const char* key, float defaultLevel)
{
    bool ok = false;
    const float level = AppSettings::instance().value(key, defaultLevel).toFloat(&ok);
    if (!ok || std::isnan(level))
        return defaultLevel;
    return std::clamp(level, 0.0f, 1.0f);
}

int EffectLevelStore::storedInt(const char* key, int defaultValue, int low, int high)
{
    bool ok = false;
    const double value = AppSettings::instance().value(key, defaultValue).toDouble(&ok);
    if (!ok || std::isnan(value))
        return defaultValue;
    return static_cast<int>(std::clamp(value, double(low), double(high)));
}

void EffectLevelStore::write(const char* key, const QVariant& value)
{
    if (m_enabled)
        AppSettings::instance().setValue(key, value);
}

void EffectLevelStore::writeLevel(int item, float level)
{
    write(BeautyItems::at(item).name, level);
}

void EffectLevelStore::writeAiLight(float level)
{
    write(SettingsKeys::aiLight, level);
}

void EffectLevelStore::writePortraitLevel(int level)
{
    write(SettingsKeys::portraitLevel, level);
}

void EffectLevelStore::writePortraitType(int type)
{
    write(SettingsKeys::portraitType, type);
}

void EffectLevelStore::writeBackgroundChoice(const QString& choice)
{
    write(SettingsKeys::portraitItem, choice);
}

void EffectLevelStore::removeBackgroundChoice()
{
    if (m_enabled)
        AppSettings::instance().remove(SettingsKeys::portraitItem);
}
