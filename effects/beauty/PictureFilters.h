#pragma once
// The items that work on the whole picture: sharpening and the fill light.
#include "FaceGeometry.h"

#include <opencv2/core.hpp>

#include <vector>

namespace beauty {

class PictureFilters {
public:
    // Unsharp masking of fine detail, into out; amount 0 copies the picture as it is, amounts
    // above 1 count as 1. The result is within a level of a 3x3 cv::GaussianBlur and
    // cv::addWeighted, in one pass.
    void sharpen(const cv::Mat& bgr, cv::Mat& out, float amount);
    // Lifts shadows, most on and around the faces, while highlights keep their level. Every
    // channel of a pixel gets the same gain, so colours keep their hue. Level 0: no change.
    void fillLight(cv::Mat& bgr, const std::vector<FaceGeometry>& faces, float level);

private:
    // Per-frame buffers, kept so that a frame allocates nothing.
    cv::Mat smallColour_, small_, gain_, fixedGain_, extendedGain_, gainRows_;
};

} // namespace beauty
