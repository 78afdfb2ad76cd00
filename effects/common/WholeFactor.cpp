#include "common/WholeFactor.h"

#include "common/Stripes.h"

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <vector>

namespace effects {
namespace {

// Column sums of up to this many rows of bytes fit 16 bits.
constexpr int kMaxShortSumRows = 257;

// One row of blocks of an 8-bit picture: the columns summed down the block's rows (a loop the
// compiler vectorises), then each block's columns summed. OpenCV's area reduction, for any
// factor but 2, rounds the float product of the sum and 1/area to nearest even; so does this.
void reduceBlockRow(const cv::Mat& picture, int top, int factor, uchar* out, int outColumns,
                    std::vector<uint16_t>& columns)
{
    const int channels = picture.channels();
    const int width = outColumns * factor * channels;
    columns.assign(static_cast<size_t>(width), 0);
    uint16_t* __restrict sums = columns.data();
    for (int k = 0; k < factor; ++k) {
        const uchar* __restrict row = picture.ptr<uchar>(top + k);
        for (int i = 0; i < width; ++i)
            sums[i] = uint16_t(sums[i] + row[i]);
    }
    const float scale = 1.f / float(factor * factor);
    const int blockWidth = factor * channels;
    for (int x = 0; x < outColumns; ++x)
        for (int c = 0; c < channels; ++c) {
            const uint16_t* column = sums + x * blockWidth + c;
            int sum = 0;
            for (int k = 0; k < blockWidth; k += channels)
                sum += column[k];
            out[x * channels + c] = cv::saturate_cast<uchar>(float(sum) * scale);
        }
}

bool reducesByRows(const cv::Mat& picture, int factor)
{
    // OpenCV's own halving rounds half up, which it does in vector code of its own.
    return picture.depth() == CV_8U && factor > 2 && factor <= kMaxShortSumRows;
}

} // namespace

void reduceByWhole(const cv::Mat& picture, int factor, cv::Mat& small)
{
    // In place, the smaller result would take the picture's buffer before it is read.
    CV_Assert(factor > 0 && (picture.data != small.data || picture.empty()));
    const cv::Rect covered = wholeBlocks(picture.size(), factor);
    small.create(covered.size() / factor, picture.type());
    if (small.empty())
        return;
    const bool byRows = reducesByRows(picture, factor);
    forEachStripe(small.rows, [&](const cv::Range& rows) {
        if (!byRows) {
            // OpenCV works this one on the calling thread only: each stripe of block rows is a
            // call of its own.
            cv::Mat out = small.rowRange(rows);
            const cv::Rect blocks(0, rows.start * factor, covered.width, rows.size() * factor);
            cv::resize(picture(blocks), out, out.size(), 0, 0, cv::INTER_AREA);
            return;
        }
        std::vector<uint16_t> columns;
        for (int y = rows.start; y < rows.end; ++y)
            reduceBlockRow(picture, y * factor, factor, small.ptr<uchar>(y), small.cols, columns);
    });
}

void widenByWhole(const cv::Mat& small, int factor, cv::Mat& extended, cv::Mat& rows)
{
    cv::copyMakeBorder(small, extended, 0, 1, 0, 1, cv::BORDER_REPLICATE);
    cv::resize(extended, rows, cv::Size(extended.cols * factor, extended.rows), 0, 0, cv::INTER_LINEAR);
}

EnlargedRow enlargedRow(int y, int factor, int rows)
{
    // Where OpenCV's bilinear enlargement samples: pixel centres on pixel centres, the first
    // and the last row carried on beyond them.
    const float at = (y + 0.5f) / float(factor) - 0.5f;
    if (at <= 0.f)
        return {0, 0, 0.f};
    const int above = int(at);
    if (above >= rows - 1)
        return {rows - 1, rows - 1, 0.f};
    return {above, above + 1, at - float(above)};
}

} // namespace effects
