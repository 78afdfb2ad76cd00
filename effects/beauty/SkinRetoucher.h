#pragma once
// The skin items of one face, worked on the face's own area of the picture: smoothing and
// whitening of the skin, lighter dark circles, softer nasolabial folds and clearer eyes.
#include "BeautyItems.h"
#include "FaceGeometry.h"

#include <opencv2/core.hpp>

namespace beauty {

class SkinRetoucher {
public:
    static bool isActive(const BeautyLevels& levels);
    static void apply(cv::Mat& bgr, const FaceGeometry& face, const BeautyLevels& levels);

    // The skin of the face and around it (forehead, temples, ears, neck; not the eyes, brows,
    // lips, nor anything not skin-coloured) as weights 0..1 over the area, 0 at the skin's
    // edges and rising softly inside it. Exposed for tests.
    static cv::Mat skinMask(const cv::Mat& area, const FaceGeometry& face, cv::Point origin);
};

} // namespace beauty
