#include "EffectParameters.h"

#include "app/AppSettings.h"

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
    AppSettings& settings = AppSettings::instance();
    for (int i = 0; i < itemCount; ++i)
        m_levels[i] = settings.value(kItemNames[i], kDefaultLevels[i]).toFloat();
    aiLight = settings.value("AI_LIGHT", defaultAiLight).toFloat();
    portraitLevel = static_cast<float>(settings.value("portrait_level", defaultPortraitLevel).toInt());
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
