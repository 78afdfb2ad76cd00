#pragma once
// Calms the person probability over time without dragging moving edges behind.
//
// Each pixel follows the new probability by a weight that depends on what changed there:
// a small weight where the picture is still and the probability only wobbles (sensor noise,
// model jitter), the full weight where the picture moved or the probability jumped (a person
// moving, a new scene). So still parts stop flickering and a moving edge is where the new
// frame puts it.

#include <opencv2/core.hpp>

namespace portrait {

class TemporalSmoother {
public:
    // probability: CV_32F in [0, 1]; smallBgr: the frame at the same size. Updates the
    // probability in place. A change of size starts afresh.
    void apply(cv::Mat& probability, const cv::Mat& smallBgr);
    void reset();

    // Weight of the new frame where nothing moved.
    static constexpr float kStillWeight = 0.25f;

private:
    cv::Mat state_;     // smoothed probability
    cv::Mat previous_;  // blurred grey of the previous frame, CV_32F in [0, 1]
    cv::Mat grey_;
    cv::Mat blurred_;
};

} // namespace portrait
