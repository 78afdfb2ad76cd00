#include "LandmarkFilter.h"

#include <cmath>

namespace face {

namespace {
constexpr float kSpeedCutoffHz = 1.f;

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
    speed_ = 0.f;
}

const std::vector<cv::Point2f>& LandmarkFilter::filter(const std::vector<cv::Point2f>& raw)
{
    if (raw.empty() || state_.size() != raw.size()) {
        state_ = previous_ = raw;
        speed_ = 0.f;
        return state_;
    }
    const cv::Point2f c0 = centroid(previous_), c1 = centroid(raw);
    const float size0 = spread(previous_, c0), size1 = spread(raw, c1);
    const float motion = float(cv::norm(c1 - c0)) + std::abs(size1 - size0);
    const float rawSpeed = motion * rate_ / std::max(size1, 1.f);
    speed_ += smoothing(kSpeedCutoffHz, rate_) * (rawSpeed - speed_);
    const float alpha = smoothing(minCutoff_ + beta_ * speed_, rate_);
    for (size_t i = 0; i < raw.size(); ++i)
        state_[i] += alpha * (raw[i] - state_[i]);
    previous_ = raw;
    return state_;
}

} // namespace face
