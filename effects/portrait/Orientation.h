#pragma once
// Turns a picture upright: `orientation` quarter turns clockwise (0..3; other values count
// modulo 4), then an optional left-right mirror. When there is nothing to do, dst shares
// src's pixels.

#include <opencv2/core.hpp>

namespace portrait {

void orient(const cv::Mat& src, int orientation, bool mirror, cv::Mat& dst);
// The inverse, for a result computed on the upright picture.
void unorient(const cv::Mat& src, int orientation, bool mirror, cv::Mat& dst);

} // namespace portrait
