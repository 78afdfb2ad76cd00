#pragma once
// Runs a per-row pixel loop over OpenCV's thread pool: the frame passes are serial, so the
// second core would otherwise idle through every hand-written loop.
#include "common/Stripes.h"

#include <opencv2/core.hpp>

namespace beauty {

template <typename RowFunction>
void forEachRow(int rows, RowFunction row)
{
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& range) {
        for (int y = range.start; y < range.end; ++y)
            row(y);
    }, 8);
}

// A copy of 8 MB costs a millisecond on one core.
inline void copyInStripes(const cv::Mat& src, cv::Mat& dst)
{
    effects::filterInStripes(src, dst, src.type(), [](const cv::Mat& in, cv::Mat& out) { in.copyTo(out); });
}

} // namespace beauty
