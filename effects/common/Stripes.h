#pragma once
// The frame passes of both libraries are serial, and several OpenCV calls (box filters, blends,
// per-element arithmetic, copies) run on the calling thread only: split into horizontal stripes on
// OpenCV's pool, the second core takes its share of each.
#include <opencv2/core.hpp>

#include <algorithm>

namespace effects {

// body(cv::Range) for stripes that together cover rows [0, rows). Stripes of fewer than minRows
// rows are not worth a hand-off.
template <typename Body>
void forEachStripe(int rows, Body&& body, int minRows = 16)
{
    const int stripes = std::clamp(rows / std::max(minRows, 1), 1, 2 * std::max(1, cv::getNumThreads()));
    if (stripes == 1) {
        body(cv::Range(0, rows));
        return;
    }
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& range) { body(range); }, stripes);
}

// dst = filter(src), the filter called once per stripe. A filter given a stripe of a larger
// picture reads the rows beyond the stripe as neighbours, so the result is the whole call's; it
// is not when dst is src, which the stripes would read after their neighbours wrote it.
template <typename Filter>
void filterInStripes(const cv::Mat& src, cv::Mat& dst, int type, Filter&& filter)
{
    CV_Assert(src.data != dst.data || src.empty());
    dst.create(src.size(), type);
    forEachStripe(src.rows, [&](const cv::Range& rows) {
        cv::Mat out = dst.rowRange(rows);
        filter(src.rowRange(rows), out);
    });
}

} // namespace effects
