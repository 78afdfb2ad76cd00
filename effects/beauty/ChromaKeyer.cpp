#include "ChromaKeyer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace beauty {

namespace {
constexpr float kClearlyScreen = 40.f;  // key above which a pixel is taken as screen when measuring
constexpr int kMeasureShrink = 4;
} // namespace

ChromaKeyer::ChromaKeyer(Screen screen, int strength, int softness)
    : channel_(screen == Blue ? 0 : 1),
      strength_(std::clamp(strength, 0, 100) / 100.f),
      softness_(std::clamp(softness, 0, 100) / 100.f),
      screenColour_(screen == Blue ? cv::Vec3f(180, 60, 40) : cv::Vec3f(40, 180, 40))
{
}

float ChromaKeyer::keyOf(const cv::Vec3b& p) const
{
    const int others = std::max(p[(channel_ + 1) % 3], p[(channel_ + 2) % 3]);
    return float(p[channel_] - others);
}

void ChromaKeyer::measureScreen(const cv::Mat& bgr)
{
    cv::Mat small;
    cv::resize(bgr, small, cv::Size(), 1.0 / kMeasureShrink, 1.0 / kMeasureShrink, cv::INTER_NEAREST);
    int histogram[256] = {};
    cv::Vec3d colour;
    int count = 0;
    for (int y = 0; y < small.rows; ++y)
        for (int x = 0; x < small.cols; ++x) {
            const cv::Vec3b p = small.at<cv::Vec3b>(y, x);
            const float key = keyOf(p);
            if (key <= kClearlyScreen)
                continue;
            ++histogram[int(key)];
            colour += cv::Vec3d(p[0], p[1], p[2]);
            ++count;
        }
    if (size_t(count) * 200 < small.total())  // hardly any screen in view: keep what was known
        return;
    int seen = 0, median = 0;
    while (median < 255 && (seen += histogram[median]) * 2 < count)
        ++median;
    screenKey_ = float(median);
    screenColour_ = cv::Vec3f(colour / count);
}

cv::Mat ChromaKeyer::alpha(const cv::Mat& bgr)
{
    measureScreen(bgr);
    const float high = screenKey_ * (1.f - 0.25f * strength_);
    const float low = std::max(0.f, high - screenKey_ * (0.4f + softness_));
    const float ramp = std::max(1.f, high - low);
    cv::Mat a(bgr.size(), CV_32F);
    for (int y = 0; y < bgr.rows; ++y) {
        const cv::Vec3b* p = bgr.ptr<cv::Vec3b>(y);
        float* out = a.ptr<float>(y);
        for (int x = 0; x < bgr.cols; ++x)
            out[x] = std::clamp((high - keyOf(p[x])) / ramp, 0.f, 1.f);
    }
    return a;
}

void ChromaKeyer::composite(const cv::Mat& bgr, const cv::Mat& alpha, const cv::Mat& background,
                            cv::Mat& out) const
{
    out.create(bgr.size(), CV_8UC3);
    const int a1 = (channel_ + 1) % 3, a2 = (channel_ + 2) % 3;
    for (int y = 0; y < bgr.rows; ++y) {
        const cv::Vec3b* c = bgr.ptr<cv::Vec3b>(y);
        const cv::Vec3b* b = background.ptr<cv::Vec3b>(y);
        const float* a = alpha.ptr<float>(y);
        cv::Vec3b* o = out.ptr<cv::Vec3b>(y);
        for (int x = 0; x < bgr.cols; ++x) {
            const float t = 1.f - a[x];
            if (a[x] <= 0.f) {
                o[x] = b[x];
                continue;
            }
            // The foreground's share of the pixel: its colour less the screen's share.
            cv::Vec3f fg;
            for (int k = 0; k < 3; ++k)
                fg[k] = std::max(0.f, c[x][k] - t * screenColour_[k]);
            fg[channel_] = std::min(fg[channel_], std::max(fg[a1], fg[a2]));
            for (int k = 0; k < 3; ++k)
                o[x][k] = cv::saturate_cast<uchar>(fg[k] + t * b[x][k]);
        }
    }
}

} // namespace beauty
