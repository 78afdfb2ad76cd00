#include "BeautyItems.h"

#include <algorithm>

namespace beauty {

bool isCentred(int item)
{
    switch (item) {
    case MOVE_CHIN:
    case BIG_MOUTH:
    case MOVE_MOUTH:
    case EYE_SPAN:
    case MOVE_EYE:
    case MOVE_NOSE:
        return true;
    default:
        return false;
    }
}

float neutralLevel(int item) { return isCentred(item) ? 0.5f : 0.f; }

BeautyLevels::BeautyLevels()
{
    for (int i = 0; i < ITEM_COUNT; ++i)
        levels_[i] = neutralLevel(i);
}

void BeautyLevels::set(int item, float level)
{
    if (item < 0 || item >= ITEM_COUNT || !(level == level))  // NaN never becomes a level
        return;
    levels_[item] = std::clamp(level, 0.f, 1.f);
}

float BeautyLevels::get(int item) const { return item >= 0 && item < ITEM_COUNT ? levels_[item].load() : 0.f; }

float BeautyLevels::amount(int item) const
{
    const float level = get(item);
    return isCentred(item) ? (level - 0.5f) * 2.f : level;
}

void BeautyLevels::setLight(float level)
{
    if (level == level)
        light_ = std::clamp(level, 0.f, 1.f);
}

float BeautyLevels::light() const { return light_; }

} // namespace beauty
