#pragma once
#include <opencv2/core.hpp>

// NV12 as the beauty library writes it: (H * 3 / 2) rows of W bytes, the Y plane, then U and V
// interleaved at half size, with OpenCV's BT.601 coefficients.
namespace Nv12Conversion {

// bgr: W x H, both even. nv12 is (re)allocated only when its shape differs.
void fromBgr(const cv::Mat& bgr, cv::Mat& nv12);

} // namespace Nv12Conversion
