#pragma once

// One row of the beauty pages: the engine's item index, the slider and value label of the
// form, and whether the item is two-sided (neutral at 50, shown as value − 50).
struct BeautyRow
{
    int index;
    const char* slider;
    const char* valueLabel;
    bool isSigned;
};

// Every beauty item of the engine has exactly one row; the AI light and the matting
// strength are handled by name.
inline constexpr BeautyRow kBeautyRows[] = {
    {4, "slider_smooth", "label_smooth_level", false},
    {5, "slider_white", "label_white_level", false},
    {8, "slider_sharp", "label_sharp_level", false},
    {0, "slider_small_face", "label_small_face_level", false},
    {1, "slider_big_eye", "label_big_eye_level", false},
    {6, "slider_darkeye", "label_darkeye_level", false},
    {7, "slider_falingwen", "label_falingwen_level", false},
    {9, "slider_little_face", "label_little_face_level", false},
    {21, "slider_narrow_face", "label_narrow_face_level", false},
    {19, "slider_checkbones", "label_checkbones_level", false},
    {20, "slider_mandible", "label_mandible_level", false},
    {10, "slider_v_face", "label_v_face_level", false},
    {15, "slider_eye_span", "label_eye_span_level", true},
    {16, "slider_eye_move", "label_eye_move_level", true},
    {2, "slider_eye_bright", "label_eye_bright_level", false},
    {3, "slider_nose_size", "label_nose_size_level", false},
    {17, "slider_nose_move", "label_nose_move_level", true},
    {14, "slider_mouth_move", "label_mouth_move_level", true},
    {12, "slider_big_mouth", "label_big_mouth_level", true},
    {13, "slider_smile", "label_smile_level", false},
    {11, "slider_xiaba_move", "label_xiaba_move_level", true},
    {18, "slider_xiaba_narrow", "label_xiaba_narrow_level", false},
};
inline constexpr int kBeautyItemCount = 22;
static_assert(sizeof(kBeautyRows) / sizeof(kBeautyRows[0]) == kBeautyItemCount, "one row per beauty item");
