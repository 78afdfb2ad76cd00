#include "EffectParameters.h"

EffectParameters::EffectParameters()
{
    for (int i = 0; i < itemCount; ++i)
        m_levels[i] = BeautyItems::table[i].defaultLevel;
}

EffectParameters::BackgroundType EffectParameters::backgroundTypeFor(int row, bool switchOn)
{
    if (row <= 0)
        return switchOn ? SwitchOnNoBackground : NoBackground;
    if (row == 1)
        return switchOn ? Virtualize : VirtualizeWithoutMatting;
    return switchOn ? ReplaceBackground : FileWithoutMatting;
}

bool EffectParameters::mattingMode() const
{
    const int type = backgroundType;
    return (type == ReplaceBackground && portraitType == AiMatting) || type == Virtualize;
}

bool EffectParameters::changesNoPixel() const
{
    const int type = backgroundType;
    if (aiLight != 0.0f || type == ReplaceBackground || type == Virtualize)
        return false;
    for (int item = 0; item < itemCount; ++item) {
        if (level(item) != (BeautyItems::at(item).centred ? 0.5f : 0.0f))
            return false;
    }
    return true;
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
