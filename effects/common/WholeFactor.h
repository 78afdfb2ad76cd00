#pragma once
// Reduction and enlargement by a whole factor. OpenCV's area averaging is many times faster
// by a whole factor than by any other, so the few pixels beyond the last whole block are left
// out of the reduction; the enlargement carries the last block on over them (a copy of it
// reaches past the picture), which nothing smooth enough to be worked reduced can show.
#include "common/Stripes.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace effects {

// The part of a picture of this size that whole blocks of factor x factor pixels cover.
inline cv::Rect wholeBlocks(cv::Size size, int factor)
{
    return {0, 0, size.width / factor * factor, size.height / factor * factor};
}

// Every block is averaged on its own, so stripes of block rows give the whole call's result;
// OpenCV works this one on the calling thread only.
inline void reduceByWhole(const cv::Mat& picture, int factor, cv::Mat& small)
{
    const cv::Rect covered = wholeBlocks(picture.size(), factor);
    small.create(covered.size() / factor, picture.type());
    forEachStripe(small.rows, [&](const cv::Range& rows) {
        cv::Mat out = small.rowRange(rows);
        const cv::Rect blocks(0, rows.start * factor, covered.width, rows.size() * factor);
        cv::resize(picture(blocks), out, out.size(), 0, 0, cv::INTER_AREA);
    });
}

// large: at least as large as the picture reduced to small; its top left part matches it.
inline void enlargeByWhole(const cv::Mat& small, int factor, cv::Mat& extended, cv::Mat& large)
{
    cv::copyMakeBorder(small, extended, 0, 1, 0, 1, cv::BORDER_REPLICATE);
    cv::resize(extended, large, extended.size() * factor, 0, 0, cv::INTER_LINEAR);
}

} // namespace effects
