#pragma once
// The BeautyFrame record as zr_fb_native_process expects it for one packed BGR picture:
// the size, the pixel format, no mask, no background mode and the library's defaults. The
// callers change what differs before process2 (output buffer, mask, mode and level).
#include "ZR_FaceBeautyLib.h"

#ifdef __cplusplus

inline BeautyFrame beautyFrameFor(unsigned char* bgr, int width, int height)
{
    BeautyFrame frame{};
    frame.width = width;
    frame.height = height;
    frame.dataSize = width * height * 3;
    frame.pixelFormat = 7;     // packed 8-bit BGR
    frame.data = bgr;
    frame.result = -1;
    frame.backgroundMode = -1; // none
    frame.backgroundLevel = 30;
    frame.backgroundParam = 20;
    return frame;
}

#endif
