#include "portrait/TemporalSmoother.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace portrait {
namespace {

// Grey-level change (after a blur that hides sub-pixel camera shake and noise) and
// probability change that count as real motion, ramping from "still" to "moving".
constexpr float kMotionLow = 0.03f, kMotionHigh = 0.10f;
constexpr float kJumpLow = 0.15f, kJumpHigh = 0.45f;

inline float ramp(float v, float low, float high)
{
    return std::min(std::max((v - low) / (high - low), 0.f), 1.f);
}

} // namespace

void TemporalSmoother::reset()
{
    state_.release();
    previous_.release();
}

void TemporalSmoother::apply(cv::Mat& probability, const cv::Mat& smallBgr)
{
    cv::cvtColor(smallBgr, grey_, cv::COLOR_BGR2GRAY);
    grey_.convertTo(blurred_, CV_32F, 1.0 / 255.0);
    cv::GaussianBlur(blurred_, blurred_, cv::Size(5, 5), 0);
    if (state_.size() != probability.size() || previous_.size() != blurred_.size()) {
        probability.copyTo(state_);
        blurred_.copyTo(previous_);
        return;
    }
    for (int y = 0; y < probability.rows; ++y) {
        float* p = probability.ptr<float>(y);
        float* s = state_.ptr<float>(y);
        const float* g = blurred_.ptr<float>(y);
        float* gPrev = previous_.ptr<float>(y);
        for (int x = 0; x < probability.cols; ++x) {
            const float motion = std::max(ramp(std::abs(g[x] - gPrev[x]), kMotionLow, kMotionHigh),
                                          ramp(std::abs(p[x] - s[x]), kJumpLow, kJumpHigh));
            const float weight = kStillWeight + (1.f - kStillWeight) * motion;
            s[x] += weight * (p[x] - s[x]);
            p[x] = s[x];
            gPrev[x] = g[x];
        }
    }
}

} // namespace portrait
