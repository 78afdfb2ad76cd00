#include "PictureFilters.h"

#include "RowParallel.h"
#include "WholeFactor.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

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
} // namespace

void PictureFilters::sharpen(cv::Mat& bgr, float amount)
{
    if (amount <= 0.f)
        return;
    cv::GaussianBlur(bgr, blurred_, cv::Size(3, 3), 0);
    cv::addWeighted(bgr, 1.0 + amount, blurred_, -amount, 0, bgr);
}

void PictureFilters::fillLight(cv::Mat& bgr, const std::vector<FaceGeometry>& faces, float level)
{
    if (level <= 0.f)
        return;
    // The shadows are judged on a blurred, reduced copy: a local level, so fine contrast stays.
    cv::cvtColor(bgr, grey_, cv::COLOR_BGR2GRAY);
    const int shrink = std::min({kLightShrink, bgr.cols, bgr.rows});
    reduceByWhole(grey_, shrink, small_);
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
    enlargeByWhole(fixedGain_, shrink, extendedGain_, fullGain_);
    forEachRow(bgr.rows, [&](int y) { liftRow(bgr.ptr<uchar>(y), fullGain_.ptr<uint16_t>(y), bgr.cols); });
}

} // namespace beauty
