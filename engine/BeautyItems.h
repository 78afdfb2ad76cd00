#pragma once
// The beauty items in the order the face-beauty library numbers them: the index is the item
// id, the name the settings key, the default the level of a fresh start. A centred item is
// neutral at 0.5 and its panel shows the slider value minus 50.
namespace BeautyItems {

struct Item {
    const char* name;
    float defaultLevel;
    bool centred;
};

inline constexpr Item table[] = {
    {"SMALL_FACE", 0.6f, false},       {"BIG_EYE", 0.6f, false},         {"BRIGHT_EYE", 0.0f, false},
    {"BIG_NOSE", 0.0f, false},         {"SMOOTH_FACE", 0.6f, false},     {"BRIGHT_WHITE", 0.6f, false},
    {"EYEDETAIL", 0.6f, false},        {"NOSEDETAIL", 0.6f, false},      {"SHARPEN", 0.6f, false},
    {"LITTLE_FACE", 0.0f, false},      {"V_FACE", 0.0f, false},          {"MOVE_CHIN", 0.5f, true},
    {"BIG_MOUTH", 0.5f, true},         {"SMILE", 0.0f, false},           {"MOVE_MOUTH", 0.5f, true},
    {"EYE_SPAN", 0.5f, true},          {"MOVE_EYE", 0.5f, true},         {"MOVE_NOSE", 0.5f, true},
    {"SMALL_CHIN", 0.0f, false},       {"SMALL_CHEEKBONES", 0.0f, false}, {"SMALL_MANDIBLE", 0.0f, false},
    {"NARROW_FACE", 0.0f, false},
};

inline constexpr int count = sizeof(table) / sizeof(table[0]);
static_assert(count == 22, "the library numbers 22 items");

// Any item number as callers hand it in, taken modulo count (negative ones too).
constexpr int index(int item)
{
    return ((item % count) + count) % count;
}

constexpr const Item& at(int item)
{
    return table[index(item)];
}

} // namespace BeautyItems
