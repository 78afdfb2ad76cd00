#pragma once
// out = (fg * a + bg * (255 - a)) / 255, rounded, for packed BGR rows with one 8-bit alpha
// per pixel. t / 255 rounded is exactly (t + 128 + ((t + 128) >> 8)) >> 8 for every t a blend
// of two bytes can give; unlike a division, that vectorises (the rows must not overlap).
#include <opencv2/core.hpp>

namespace beauty {

inline void blendRow(const uchar* __restrict fg, const uchar* __restrict bg, const uchar* __restrict alpha,
                     uchar* __restrict out, int pixels)
{
    for (int x = 0; x < pixels; ++x) {
        const unsigned k = alpha[x], rest = 255 - k;
        for (int c = 0; c < 3; ++c) {
            const unsigned t = fg[3 * x + c] * k + bg[3 * x + c] * rest + 128;
            out[3 * x + c] = uchar((t + (t >> 8)) >> 8);
        }
    }
}

} // namespace beauty
