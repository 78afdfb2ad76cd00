#pragma once
// Reduction and enlargement by a whole factor. Area averaging is many times faster by a whole
// factor than by any other, so the few pixels beyond the last whole block are left out of the
// reduction; the enlargement carries the last block on over them (it reaches past the
// picture), which nothing smooth enough to be worked reduced can show.
#include "common/Stripes.h"

#include <opencv2/core.hpp>

#include <cmath>
#include <cstdint>
#include <type_traits>
#include <vector>

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

// The bilinear enlargement of small (its last row and column repeated once more) by factor,
// made in two halves. This is the first: small's rows made wide, one more row than small has.
// Row y of the enlargement is then rows[above] * (1 - weight) + rows[below] * weight, for the
// EnlargedRow of y among that many rows, so that a caller that reads each row once needs no
// full-size copy. The enlargement's top left part matches the picture reduced to small.
void widenByWhole(const cv::Mat& small, int factor, cv::Mat& extended, cv::Mat& rows);

struct EnlargedRow {
    int above, below;
    float weight;
};
EnlargedRow enlargedRow(int y, int factor, int rows);

// out = above * (1 - weight) + below * weight for rows of 8- or 16-bit values, within a level:
// 8-bit values with the weight in 256ths in 16-bit lanes, which the compiler vectorises twice
// as wide; 16-bit ones with it in 2^15ths in 32-bit lanes.
template <typename T>
void mixRows(const T* __restrict above, const T* __restrict below, float weight, T* __restrict out, int count)
{
    static_assert(std::is_same_v<T, uint8_t> || std::is_same_v<T, uint16_t>, "8- or 16-bit values");
    using Wide = std::conditional_t<sizeof(T) == 1, uint16_t, uint32_t>;
    constexpr int bits = sizeof(T) == 1 ? 8 : 15;
    const Wide down = Wide(std::lround(weight * float(1 << bits))), up = Wide((1 << bits) - down);
    for (int i = 0; i < count; ++i)
        out[i] = T(Wide(above[i] * up + below[i] * down + (Wide(1) << (bits - 1))) >> bits);
}

// use(y, row) for every row y in [0, height) of the enlargement of the widened rows (8- or
// 16-bit values), each row of width values made just before its use, in stripes on OpenCV's
// pool.
template <typename T, typename Use>
void forEachEnlargedRow(const cv::Mat& rows, int factor, int height, int width, Use&& use)
{
    forEachStripe(height, [&](const cv::Range& stripe) {
        std::vector<T> row(static_cast<size_t>(width));
        for (int y = stripe.start; y < stripe.end; ++y) {
            const EnlargedRow at = enlargedRow(y, factor, rows.rows);
            mixRows(rows.ptr<T>(at.above), rows.ptr<T>(at.below), at.weight, row.data(), width);
            use(y, row.data());
        }
    });
}

} // namespace effects
