#pragma once
// Brings a low-resolution person probability up to a working size with a guided filter
// steered by the frame's grey levels, so the mask edge follows hair and shoulders in the
// picture rather than the model's coarse grid.

#include <opencv2/core.hpp>

namespace portrait {

class MaskRefiner {
public:
    struct Settings {
        int workLongSide;   // long side of the working size; 0 = the frame's own size
        double radius;      // box radius in pixels of the probability map (the model's grid)
        double epsilon;     // edge sensitivity (smaller follows the picture more closely)
    };

    // The size refine() works and answers at for a frame of frameSize.
    static cv::Size workSize(cv::Size frameSize, const Settings& settings);

    // probability: CV_32F in [0, 1] at any size; frame: BGR; mask: CV_8U of workSize (may be
    // a view into the caller's buffer). threshold maps probabilities below it to 0 and above
    // 1 - threshold to 255, stretching the band in between.
    void refine(const cv::Mat& probability, const cv::Mat& frame, const Settings& settings, float threshold,
                cv::Mat& mask);

private:
    cv::Mat small_, grey8_, grey_, p_, meanI_, meanP_, corrIp_, varI_, a_, b_;
};

} // namespace portrait
