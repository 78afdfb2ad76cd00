#include "EffectParameters.h"

#include "app/AppSettings.h"

#include <algorithm>
#include <cmath>

namespace {

const char* const kItemNames[EffectParameters::itemCount] = {
    "SMALL_FACE", "BIG_EYE",     "BRIGHT_EYE", "BIG_NOSE",   "SMOOTH_FACE", "BRIGHT_WHITE",
    "EYEDETAIL",  "NOSEDETAIL",  "SHARPEN",    "LITTLE_FACE", "V_FACE",     "MOVE_CHIN",
    "BIG_MOUTH",  "SMILE",       "MOVE_MOUTH", "EYE_SPAN",   "MOVE_EYE",    "MOVE_NOSE",
    "SMALL_CHIN", "SMALL_CHEEKBONES", "SMALL_MANDIBLE", "NARROW_FACE",
};

const float kDefaultLevels[EffectParameters::itemCount] = {
    0.6f, 0.6f, 0.0f, 0.0f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.0f, 0.0f,
    0.5f, 0.5f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f,
};

} // namespace

EffectParameters::EffectParameters()
{
    for (int i = 0; i < itemCount; ++i)
        m_levels[i] = kDefaultLevels[i];
}

int EffectParameters::itemIndex(int item)
{
    // A negative index would otherwise read before the table.
    const int index = item % itemCount;
    return index < 0 ? index + itemCount : index;
}

const char* EffectParameters::itemName(int item)
{
    return kItemNames[itemIndex(item)];
}

float EffectParameters::defaultLevel(int item)
{
    return kDefaultLevels[itemIndex(item)];
}

void EffectParameters::load()
{
    for (int i = 0; i < itemCount; ++i)
        m_levels[i] = storedLevel(kItemNames[i], kDefaultLevels[i]);
    aiLight = storedLevel("AI_LIGHT", defaultAiLight);
    portraitLevel = static_cast<float>(storedInt("portrait_level", defaultPortraitLevel, 0, 100));
}

// A hand-edited or damaged store must not reach the libraries: text and NaN read as the
// default, numbers are held to their range. The file itself is left as it is.
float EffectParameters::storedLevel(const char* key, float defaultLevel)
{
    bool ok = false;
    const float level = AppSettings::instance().value(key, defaultLevel).toFloat(&ok);
    if (!ok || std::isnan(level))
        return defaultLevel;
    return std::clamp(level, 0.0f, 1.0f);
}

int EffectParameters::storedInt(const char* key, int defaultValue, int low, int high)
{
    bool ok = false;
    const double value = AppSettings::instance().value(key, defaultValue).toDouble(&ok);
    if (!ok || std::isnan(value))
        return defaultValue;
    return static_cast<int>(std::clamp(value, double(low), double(high)));
}

bool EffectParameters::mattingMode() const
{
    const int type = backgroundType;
    return (type == ReplaceBackground && portraitType == 0) || type == Virtualize;
}

void EffectParameters::updateMattingFlags()
{
    const bool active = mattingMode();
    mattingJustEnabled = active && !mattingActive;
    mattingActive = active;
}

void EffectParameters::resetMattingFlags()
{
    const bool active = mattingMode();
    mattingJustEnabled = active;
    mattingActive = active;
}
