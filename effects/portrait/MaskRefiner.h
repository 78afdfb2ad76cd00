#pragma once
// Brings a low-resolution person probability up to the frame's size with a guided filter
// steered by the frame's grey levels, so the mask edge follows hair and shoulders in the
// picture rather than the model's coarse grid. The filter runs at a working size and its
// linear coefficients are applied at full size (the "fast" guided filter).

#include <opencv2/core.hpp>

namespace portrait {

class MaskRefiner {
public:
    struct Settings {
        int workLongSide;   // long side of the working size; 0 = the frame's own size
        double radius;      // box radius in pixels of the probability map (the model's grid)
        double epsilon;     // edge sensitivity (smaller follows the picture more closely)
    };

    // probability: CV_32F in [0, 1] at any size; frame: BGR; mask: CV_8U at the frame's size
    // (may be a view into the caller's buffer). threshold maps probabilities below it to 0 and
    // above 1 - threshold to 255, stretching the band in between.
    void refine(const cv::Mat& probability, const cv::Mat& frame, const Settings& settings, float threshold,
                cv::Mat& mask);

private:
    cv::Mat grey8_, greyFull_, grey_, p_, meanI_, meanP_, corrIp_, varI_, a_, b_, aFull_, bFull_;
};

} // namespace portrait
