#pragma once
// out = (fg * a + bg * (255 - a)) / 255, rounded, for packed BGR rows with one 8-bit alpha
// per pixel. Sixteen pixels at a time in 16-bit lanes: t / 255 rounded is exactly
// (t + 128 + ((t + 128) >> 8)) >> 8 for every t a blend of two bytes can give.
#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

namespace beauty {

inline void blendRow(const uchar* fg, const uchar* bg, const uchar* alpha, uchar* out, int pixels)
{
    int x = 0;
#if CV_SIMD128
    const cv::v_uint16x8 full = cv::v_setall_u16(255), half = cv::v_setall_u16(128);
    const auto mix = [&](const cv::v_uint16x8& f, const cv::v_uint16x8& b, const cv::v_uint16x8& a) {
        const cv::v_uint16x8 t = f * a + b * (full - a) + half;
        return (t + (t >> 8)) >> 8;
    };
    for (; x + 16 <= pixels; x += 16) {
        cv::v_uint8x16 f[3], b[3], o[3];
        cv::v_load_deinterleave(fg + 3 * x, f[0], f[1], f[2]);
        cv::v_load_deinterleave(bg + 3 * x, b[0], b[1], b[2]);
        cv::v_uint16x8 aLow, aHigh;
        cv::v_expand(cv::v_load(alpha + x), aLow, aHigh);
        for (int c = 0; c < 3; ++c) {
            cv::v_uint16x8 fLow, fHigh, bLow, bHigh;
            cv::v_expand(f[c], fLow, fHigh);
            cv::v_expand(b[c], bLow, bHigh);
            o[c] = cv::v_pack(mix(fLow, bLow, aLow), mix(fHigh, bHigh, aHigh));
        }
        cv::v_store_interleave(out + 3 * x, o[0], o[1], o[2]);
    }
#endif
    for (; x < pixels; ++x) {
        const int k = alpha[x];
        for (int c = 0; c < 3; ++c)
            out[3 * x + c] = uchar((fg[3 * x + c] * k + bg[3 * x + c] * (255 - k) + 127) / 255);
    }
}

} // namespace beauty
