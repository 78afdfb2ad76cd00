#pragma once
// Calms the person mask over time without dragging moving edges behind.
//
// Each pixel follows the new mask by a weight that depends on what changed in the picture
// there: a small weight where the picture is still and the mask only wobbles or jumps (sensor
// noise, the model's doubts about hair and shoulders, noise passed on by the edge refinement),
// the full weight where the picture moved (a person moving, a new scene). So still parts stop flickering and a moving
// edge is where the new frame puts it. A shift of the whole picture (camera shake, a pan) is
// measured and the history moved along with it first, so it counts neither as motion nor
// leaves a trail.

#include <opencv2/core.hpp>

namespace portrait {

class TemporalSmoother {
public:
    // mask: CV_8U at the frame's size, updated in place. smallBgr: the frame as the model saw
    // it, for telling motion from noise. A change of either size starts afresh.
    void apply(cv::Mat& mask, const cv::Mat& smallBgr);
    void reset();

    // Weight of the new frame where nothing moved.
    static constexpr float kStillWeight = 0.18f;

private:
    cv::Point2d pictureShift();

    cv::Mat state_;         // smoothed mask, CV_32F in [0, 255]
    cv::Mat previous_;      // blurred previous small frame, CV_32FC3 in [0, 1]
    cv::Mat previousGrey_;  // and its grey levels
    cv::Mat window_;        // Hanning window for the shift measurement
    cv::Mat colour_, grey_, windowedPrevious_, windowedCurrent_, aligned_, difference_, motion_, motionFull_,
        stateAligned_;
};

} // namespace portrait
