#include "PictureFilters.h"

#include "RowParallel.h"
#include "common/Stripes.h"
#include "common/WholeFactor.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace beauty {

namespace {
constexpr int kLightShrink = 8;
constexpr float kAwayFromFaces = 0.35f;  // share of the lift far from any face

// Where the light falls: 1 on and around the faces, kAwayFromFaces elsewhere.
cv::Mat lightWeights(cv::Size size, const std::vector<FaceGeometry>& faces, double scale)
{
    cv::Mat weights(size, CV_32F, cv::Scalar(kAwayFromFaces));
    for (const auto& f : faces) {
        const cv::Point2f c = (f.rightEye() + f.leftEye() + f.mouth()) * (scale / 3.0);
        const float radius = std::max(1.f, float(1.2 * f.height() * scale));
        for (int y = 0; y < size.height; ++y) {
            float* w = weights.ptr<float>(y);
            for (int x = 0; x < size.width; ++x) {
                const float d2 = ((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y)) / (radius * radius);
                const float bump = d2 < 1.f ? (1.f - d2) * (1.f - d2) : 0.f;
                w[x] = std::min(1.f, w[x] + (1.f - kAwayFromFaces) * bump);
            }
        }
    }
    return weights;
}
constexpr int kGainBits = 12, kOne = 1 << kGainBits;

// Every channel of a pixel times its gain (fixed point), but never so much that its brightest
// channel clips, which would shift the hue. A float quotient of these integers is never
// rounded up to the next whole number, so its whole part is the integer quotient; unlike a
// table, it vectorises. A black pixel stays black whatever its gain.
void liftRow(uchar* __restrict p, const uint16_t* __restrict gain, int pixels)
{
    constexpr float kClip = 255.f * kOne;
    for (int x = 0; x < pixels; ++x) {
        const int b = p[3 * x], g = p[3 * x + 1], r = p[3 * x + 2];
        const int top = std::max(std::max(b, g), std::max(r, 1));
        const int k = std::min(int(gain[x]), int(kClip / float(top)));
        p[3 * x] = uchar(std::min(255, (b * k + kOne / 2) >> kGainBits));
        p[3 * x + 1] = uchar(std::min(255, (g * k + kOne / 2) >> kGainBits));
        p[3 * x + 2] = uchar(std::min(255, (r * k + kOne / 2) >> kGainBits));
    }
}

// The unsharp mask's p + amount * (p - blurred) in fixed point, the amount in 128ths: within one
// level of the float sum rounded, and in 16-bit lanes, twice as many to a vector as 32-bit ones.
constexpr int kAmountBits = 7;

// Each step's result fits 16 bits (|product| <= 128 * 255), so the narrowing casts change no
// value; they let the compiler keep the loop in 16-bit lanes.
inline uchar sharpened(int16_t p, int16_t blurred, int16_t amount)
{
    const int16_t product = int16_t(amount * int16_t(p - blurred));
    const int16_t lift = int16_t(int16_t(product + (1 << (kAmountBits - 1))) >> kAmountBits);
    return uchar(std::clamp<int16_t>(int16_t(p + lift), 0, 255));
}

// One row of the unsharp mask. The blur is the 3x3 binomial one, (sum + 8) >> 4, which is
// what cv::GaussianBlur gives an 8-bit picture for a 3x3 kernel; columns are mirrored at
// the edges like its rows. sums: (width + 2) * 3 values of scratch.
void sharpenRow(const uchar* __restrict above, const uchar* __restrict row, const uchar* __restrict below,
                uchar* __restrict out, int width, int amount, uint16_t* __restrict sums)
{
    const int n = 3 * width;
    for (int i = 0; i < n; ++i)
        sums[3 + i] = uint16_t(above[i] + 2 * row[i] + below[i]);
    const int left = width > 1 ? 1 : 0, right = width > 1 ? width - 2 : 0;
    for (int c = 0; c < 3; ++c) {
        sums[c] = sums[3 + 3 * left + c];
        sums[3 + n + c] = sums[3 + 3 * right + c];
    }
    for (int i = 0; i < n; ++i) {
        const int16_t blurred = int16_t(uint16_t(sums[i] + 2 * sums[3 + i] + sums[6 + i] + 8) >> 4);
        out[i] = sharpened(row[i], blurred, int16_t(amount));
    }
}
} // namespace

void PictureFilters::sharpen(const cv::Mat& bgr, cv::Mat& out, float amount)
{
    out.create(bgr.size(), CV_8UC3);
    if (amount <= 0.f) {
        copyInStripes(bgr, out);
        return;
    }
    // Amounts above 1 would overflow the 16-bit product.
    const int fixedAmount = int(std::lround(std::min(amount, 1.f) * (1 << kAmountBits)));
    const int width = bgr.cols, last = bgr.rows - 1;
    effects::forEachStripe(bgr.rows, [&](const cv::Range& rows) {
        std::vector<uint16_t> sums(size_t(width + 2) * 3);
        for (int y = rows.start; y < rows.end; ++y) {
            // Mirrored at the edges without repeating the edge row, as cv::GaussianBlur does.
            const uchar* above = bgr.ptr<uchar>(y > 0 ? y - 1 : std::min(1, last));
            const uchar* below = bgr.ptr<uchar>(y < last ? y + 1 : std::max(last - 1, 0));
            sharpenRow(above, bgr.ptr<uchar>(y), below, out.ptr<uchar>(y), width, fixedAmount, sums.data());
        }
    });
}

void PictureFilters::fillLight(cv::Mat& bgr, const std::vector<FaceGeometry>& faces, float level)
{
    if (level <= 0.f)
        return;
    // The shadows are judged on a blurred, reduced copy: a local level, so fine contrast stays.
    // The grey of the reduced colours is the reduced grey but for rounding, at a 64th of the cost.
    const int shrink = std::min({kLightShrink, bgr.cols, bgr.rows});
    effects::reduceByWhole(bgr, shrink, smallColour_);
    cv::cvtColor(smallColour_, small_, cv::COLOR_BGR2GRAY);
    cv::GaussianBlur(small_, small_, cv::Size(), 2.0);
    const cv::Mat weights = lightWeights(small_.size(), faces, 1.0 / shrink);
    gain_.create(small_.size(), CV_32F);
    for (int y = 0; y < small_.rows; ++y) {
        const uchar* l = small_.ptr<uchar>(y);
        const float* w = weights.ptr<float>(y);
        float* g = gain_.ptr<float>(y);
        for (int x = 0; x < small_.cols; ++x) {
            const float shadow = 1.f - l[x] / 255.f;
            g[x] = 1.f + 0.8f * level * w[x] * shadow * shadow;
        }
    }
    // Fixed point from here on: the full-size pass is the costly one.
    gain_.convertTo(fixedGain_, CV_16U, kOne);
    // Each row of the full-size gain is made from two widened rows as it is used.
    effects::widenByWhole(fixedGain_, shrink, extendedGain_, gainRows_);
    effects::forEachEnlargedRow<uint16_t>(gainRows_, shrink, bgr.rows, bgr.cols, [&](int y, const uint16_t* gain) {
        liftRow(bgr.ptr<uchar>(y), gain, bgr.cols);
    });
}

} // namespace beauty
