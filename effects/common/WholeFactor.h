#pragma once
// Reduction and enlargement by a whole factor. OpenCV's area averaging is many times faster
// by a whole factor than by any other, so the few pixels beyond the last whole block are left
// out of the reduction; the enlargement carries the last block on over them (a copy of it
// reaches past the picture), which nothing smooth enough to be worked reduced can show.
#include <opencv2/core.hpp>

namespace effects {

// The part of a picture of this size that whole blocks of factor x factor pixels cover.
inline cv::Rect wholeBlocks(cv::Size size, int factor)
{
    return {0, 0, size.width / factor * factor, size.height / factor * factor};
}

// Each block of factor x factor pixels averaged into one, with the bytes of OpenCV's area
// reduction; in stripes of block rows on OpenCV's pool. A picture smaller than one block
// gives an empty result; small must not be the picture itself.
void reduceByWhole(const cv::Mat& picture, int factor, cv::Mat& small);

// large: at least as large as the picture reduced to small; its top left part matches it.
void enlargeByWhole(const cv::Mat& small, int factor, cv::Mat& extended, cv::Mat& large);

// The first half of enlargeByWhole: only the rows made wide, one more than small has. Row y of
// the enlargement is then rows[above] * (1 - weight) + rows[below] * weight, for the
// EnlargedRow of y among that many rows: a caller that reads each row once need not hold the
// whole enlargement.
void widenByWhole(const cv::Mat& small, int factor, cv::Mat& extended, cv::Mat& rows);

struct EnlargedRow {
    int above, below;
    float weight;
};
EnlargedRow enlargedRow(int y, int factor, int rows);

} // namespace effects
