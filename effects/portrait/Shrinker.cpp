#include "portrait/Shrinker.h"

#include <opencv2/imgproc.hpp>

namespace portrait {

void Shrinker::shrink(const cv::Mat& src, cv::Size size, cv::Mat& dst)
{
    cv::Mat from = src;
    for (int i = 0; from.cols >= 2 * size.width && from.rows >= 2 * size.height; i ^= 1) {
        // An odd last row or column is dropped so that the factor is exactly two.
        const cv::Mat even = from(cv::Rect(0, 0, from.cols & ~1, from.rows & ~1));
        cv::resize(even, halves_[i], cv::Size(even.cols / 2, even.rows / 2), 0, 0, cv::INTER_AREA);
        from = halves_[i];
    }
    cv::resize(from, dst, size, 0, 0, cv::INTER_LINEAR);
}

} // namespace portrait
