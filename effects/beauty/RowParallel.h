#pragma once
// Runs a per-row pixel loop over OpenCV's thread pool: the frame passes are serial, so the
// second core would otherwise idle through every hand-written loop.
#include "common/Stripes.h"

#include <opencv2/core.hpp>

#include <future>
#include <utility>

namespace beauty {

template <typename RowFunction>
void forEachRow(int rows, RowFunction row)
{
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& range) {
        for (int y = range.start; y < range.end; ++y)
            row(y);
    }, 8);
}

// Runs two independent jobs at the same time: the second on a thread of its own, so OpenCV's
// parallel calls in either still spread over the pool as they would alone.
template <typename First, typename Second>
void runBoth(First&& first, Second&& second)
{
    auto other = std::async(std::launch::async, std::forward<Second>(second));
    first();
    other.get();
}

// A copy of 8 MB costs a millisecond on one core.
inline void copyInStripes(const cv::Mat& src, cv::Mat& dst)
{
    effects::filterInStripes(src, dst, src.type(), [](const cv::Mat& in, cv::Mat& out) { in.copyTo(out); });
}

} // namespace beauty
