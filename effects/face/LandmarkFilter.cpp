#include "LandmarkFilter.h"

#include <algorithm>
#include <cmath>

namespace face {

namespace {
constexpr float kSpeedCutoffHz = 1.f;
constexpr float kNoiseMultiple = 1.7f;  // own speed above this many times the typical one is motion
// Added cut-off per face size per second of a point's own motion: higher than the face's, as
// lips and lids move fast and only the points that really move are affected.
constexpr float kPointBeta = 40.f;

float smoothing(float cutoffHz, float rate)
{
    const float tau = 1.f / (2.f * float(CV_PI) * cutoffHz);
    return 1.f / (1.f + tau * rate);
}

cv::Point2f centroid(const std::vector<cv::Point2f>& points)
{
    cv::Point2f sum;
    for (const auto& p : points)
        sum += p;
    return sum / float(points.size());
}

float spread(const std::vector<cv::Point2f>& points, cv::Point2f centre)
{
    float sum = 0.f;
    for (const auto& p : points)
        sum += float(cv::norm(p - centre));
    return sum / float(points.size());
}
} // namespace

LandmarkFilter::LandmarkFilter(float minCutoffHz, float beta, float frameRate)
    : minCutoff_(minCutoffHz), beta_(beta), rate_(frameRate)
{
}

void LandmarkFilter::reset()
{
    state_.clear();
    previous_.clear();
    pointSpeeds_.clear();
    speed_ = 0.f;
}

const std::vector<cv::Point2f>& LandmarkFilter::filter(const std::vector<cv::Point2f>& raw)
{
    if (raw.empty() || state_.size() != raw.size()) {
        state_ = previous_ = raw;
        pointSpeeds_.assign(raw.size(), 0.f);
        speed_ = 0.f;
        return state_;
    }
    const cv::Point2f c0 = centroid(previous_), c1 = centroid(raw);
    const float size0 = spread(previous_, c0), size1 = spread(raw, c1);
    const float size = std::max(size1, 1.f);
    const float motion = float(cv::norm(c1 - c0)) + std::abs(size1 - size0);
    const float speedSmoothing = smoothing(kSpeedCutoffHz, rate_);
    speed_ += speedSmoothing * (motion * rate_ / size - speed_);
    // Each point's own motion beyond the face's common one (a mouth opening, a blink).
    for (size_t i = 0; i < raw.size(); ++i) {
        const float own = float(cv::norm((raw[i] - previous_[i]) - (c1 - c0)));
        pointSpeeds_[i] += speedSmoothing * (own - pointSpeeds_[i]);
    }
    // Most points of a face are still at any moment: their typical own speed is the noise,
    // and only what stands well above it counts as motion of a point.
    std::vector<float> sorted = pointSpeeds_;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const float noise = sorted[sorted.size() / 2];
    for (size_t i = 0; i < raw.size(); ++i) {
        const float excess = std::max(0.f, pointSpeeds_[i] - kNoiseMultiple * noise);
        const float alpha = smoothing(minCutoff_ + beta_ * speed_ + kPointBeta * excess * rate_ / size, rate_);
        state_[i] += alpha * (raw[i] - state_[i]);
    }
    previous_ = raw;
    return state_;
}

} // namespace face
