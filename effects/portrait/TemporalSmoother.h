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
    // First, what moved in the frame: smallBgr is the frame as the model saw it, for telling
    // motion from noise; maskSize the size of the mask to come. A change of either size starts
    // afresh. This needs no mask, so it can run while the mask is still being made.
    void observe(const cv::Mat& smallBgr, cv::Size maskSize);
    // Then the frame's mask (CV_8U of maskSize), updated in place.
    void apply(cv::Mat& mask);
    void reset();

    // Weight of the new frame where nothing moved.
    static constexpr float kStillWeight = 0.18f;

private:
    void startShiftMeasurement(cv::Size size);
    cv::Point2d pictureShift();

    cv::Mat state_;     // smoothed mask, CV_32F in [0, 255]
    cv::Mat previous_;  // blurred previous small frame, CV_32FC3 in [0, 1]
    cv::Mat spectrum_, previousSpectrum_;  // of the frames' windowed grey levels, complex
    cv::Mat window_;                       // Hanning window for the shift measurement
    cv::Mat lowPass_;                      // weights of the cross-power spectrum's frequencies
    cv::Mat colour_, grey_, windowed_, crossPower_, correlation_, aligned_, difference_, motion_, motionFull_,
        stateAligned_;
    bool fresh_ = true; // the frame observed starts the history
};

} // namespace portrait
