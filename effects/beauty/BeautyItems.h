#pragma once
// The 22 beauty items in the engine's fixed order, and the level of each one.
#include <array>
#include <atomic>

namespace beauty {

enum BeautyItem {
    SMALL_FACE = 0,
    BIG_EYE,
    BRIGHT_EYE,
    BIG_NOSE,
    SMOOTH_FACE,
    BRIGHT_WHITE,
    EYEDETAIL,
    NOSEDETAIL,
    SHARPEN,
    LITTLE_FACE,
    V_FACE,
    MOVE_CHIN,
    BIG_MOUTH,
    SMILE,
    MOVE_MOUTH,
    EYE_SPAN,
    MOVE_EYE,
    MOVE_NOSE,
    SMALL_CHIN,
    SMALL_CHEEKBONES,
    SMALL_MANDIBLE,
    NARROW_FACE,
    ITEM_COUNT
};

// Centred items are neutral at 0.5 and move both ways; the others are identity at 0.
bool isCentred(int item);
float neutralLevel(int item);

// Levels written by the GUI thread while a frame is being processed on another: each level is
// atomic, so a frame sees either the old or the new value of an item, never a torn one.
class BeautyLevels {
public:
    BeautyLevels();
    void set(int item, float level);
    float get(int item) const;
    // Signed deviation from the neutral level, -1..1 for centred items, 0..1 for the others.
    float amount(int item) const;
    void setLight(float level);
    float light() const;

private:
    std::array<std::atomic<float>, ITEM_COUNT> levels_;
    std::atomic<float> light_{0.f};
};

} // namespace beauty
