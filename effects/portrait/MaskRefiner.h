#pragma once
// Brings a low-resolution person probability up to the size of a guide picture with a guided
// filter steered by the picture's grey levels, so the mask edge follows hair and shoulders in
// the picture rather than the model's coarse grid.

#include <opencv2/core.hpp>

namespace portrait {

class MaskRefiner {
public:
    struct Settings {
        double radius;   // box radius in pixels of the model's grid
        double epsilon;  // edge sensitivity (smaller follows the picture more closely)
    };

    // probability: CV_32F in [0, 1] at any size, from a model whose grid has gridLongSide
    // pixels on its long side; guide: BGR; mask: CV_8U of the guide's size (may be a view into
    // the caller's buffer). threshold maps probabilities below it to 0 and above 1 - threshold
    // to 255, stretching the band in between.
    void refine(const cv::Mat& probability, int gridLongSide, const cv::Mat& guide, const Settings& settings,
                float threshold, cv::Mat& mask);

private:
    cv::Mat grey8_, p_, coarseGrey8_, coarseP_, moments_, meanMoments_, slope_, offset_, meanSlope_, meanOffset_,
        extended_, wideSlope_, wideOffset_;
};

} // namespace portrait
