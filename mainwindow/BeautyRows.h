#pragma once

#include "engine/BeautyItems.h"

// One row of the beauty pages: the engine's item index and the slider and value label of the
// form. Whether the item is centred comes from the item table.
struct BeautyRow
{
    int index;
    const char* slider;
    const char* valueLabel;
};

// Every beauty item of the engine has exactly one row; the AI light and the matting
// strength are handled by name.
inline constexpr BeautyRow kBeautyRows[] = {
    {4, "slider_smooth", "label_smooth_level"},
    {5, "slider_white", "label_white_level"},
    {8, "slider_sharp", "label_sharp_level"},
    {0, "slider_small_face", "label_small_face_level"},
    {1, "slider_big_eye", "label_big_eye_level"},
    {6, "slider_darkeye", "label_darkeye_level"},
    {7, "slider_falingwen", "label_falingwen_level"},
    {9, "slider_little_face", "label_little_face_level"},
    {21, "slider_narrow_face", "label_narrow_face_level"},
    {19, "slider_checkbones", "label_checkbones_level"},
    {20, "slider_mandible", "label_mandible_level"},
    {10, "slider_v_face", "label_v_face_level"},
    {15, "slider_eye_span", "label_eye_span_level"},
    {16, "slider_eye_move", "label_eye_move_level"},
    {2, "slider_eye_bright", "label_eye_bright_level"},
    {3, "slider_nose_size", "label_nose_size_level"},
    {17, "slider_nose_move", "label_nose_move_level"},
    {14, "slider_mouth_move", "label_mouth_move_level"},
    {12, "slider_big_mouth", "label_big_mouth_level"},
    {13, "slider_smile", "label_smile_level"},
    {11, "slider_xiaba_move", "label_xiaba_move_level"},
    {18, "slider_xiaba_narrow", "label_xiaba_narrow_level"},
};
static_assert(sizeof(kBeautyRows) / sizeof(kBeautyRows[0]) == BeautyItems::count, "one row per beauty item");
