#include "PictureFilters.h"

#include "RowParallel.h"

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
} // namespace

void PictureFilters::sharpen(cv::Mat& bgr, float amount)
{
    if (amount <= 0.f)
        return;
    cv::Mat blurred;
    cv::GaussianBlur(bgr, blurred, cv::Size(3, 3), 0);
    cv::addWeighted(bgr, 1.0 + amount, blurred, -amount, 0, bgr);
}

void PictureFilters::fillLight(cv::Mat& bgr, const std::vector<FaceGeometry>& faces, float level)
{
    if (level <= 0.f)
        return;
    // The shadows are judged on a blurred, reduced copy: a local level, so fine contrast stays.
    cv::Mat grey, small;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    const cv::Size reduced(std::max(1, bgr.cols / kLightShrink), std::max(1, bgr.rows / kLightShrink));
    cv::resize(grey, small, reduced, 0, 0, cv::INTER_AREA);
    cv::GaussianBlur(small, small, cv::Size(), 2.0);
    const cv::Mat weights = lightWeights(small.size(), faces, double(small.cols) / bgr.cols);
    cv::Mat gain(small.size(), CV_32F);
    for (int y = 0; y < small.rows; ++y) {
        const uchar* l = small.ptr<uchar>(y);
        const float* w = weights.ptr<float>(y);
        float* g = gain.ptr<float>(y);
        for (int x = 0; x < small.cols; ++x) {
            const float shadow = 1.f - l[x] / 255.f;
            g[x] = 1.f + 0.8f * level * w[x] * shadow * shadow;
        }
    }
    // Fixed point from here on: the full-size pass is the costly one.
    constexpr int kOne = 1 << 12;
    cv::Mat fixedGain;
    gain.convertTo(fixedGain, CV_16U, kOne);
    cv::resize(fixedGain, fixedGain, bgr.size(), 0, 0, cv::INTER_LINEAR);
    // The largest gain that keeps a pixel's brightest channel from clipping, which would shift its hue.
    int limit[256];
    for (int top = 0; top < 256; ++top)
        limit[top] = top > 0 ? 255 * kOne / top : kOne;
    forEachRow(bgr.rows, [&](int y) {
        cv::Vec3b* p = bgr.ptr<cv::Vec3b>(y);
        const uint16_t* g = fixedGain.ptr<uint16_t>(y);
        for (int x = 0; x < bgr.cols; ++x) {
            const int k = std::min(int(g[x]), limit[std::max({p[x][0], p[x][1], p[x][2]})]);
            for (int c = 0; c < 3; ++c)
                p[x][c] = uchar(std::min(255, (p[x][c] * k + kOne / 2) >> 12));
        }
    });
}

} // namespace beauty
