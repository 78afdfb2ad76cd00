#pragma once
// Shrinks pictures fast without aliasing: area averaging by exact halves (OpenCV's quick
// path; other area factors are many times slower), then bilinear for the last factor below
// two. Keeps its intermediate images between calls.

#include <opencv2/core.hpp>

namespace portrait {

class Shrinker {
public:
    void shrink(const cv::Mat& src, cv::Size size, cv::Mat& dst);

private:
    cv::Mat halves_[2];
};

} // namespace portrait
