#include "portrait/MaskRefiner.h"

#include "common/Stripes.h"
#include "common/WholeFactor.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace portrait {
namespace {

struct Coefficients {
    const float* slope;
    const float* offset;
};

// One row of the filter's output from the coefficients of the widened rows above and below it.
// The width comes by value: the byte stores could change one read through a reference as far
// as the compiler knows, and the loop would not be vectorised.
void filterRow(const Coefficients& above, const Coefficients& below, float down, const uchar* __restrict grey,
               uchar* __restrict out, int width)
{
    const float up = 1.f - down;
    const float* __restrict a0 = above.slope;
    const float* __restrict a1 = below.slope;
    const float* __restrict b0 = above.offset;
    const float* __restrict b1 = below.offset;
    for (int x = 0; x < width; ++x) {
        const float a = a0[x] * up + a1[x] * down, b = b0[x] * up + b1[x] * down;
        out[x] = static_cast<uchar>(std::min(std::max(a * grey[x] + b, 0.f), 255.f) + 0.5f);
    }
}

} // namespace

void MaskRefiner::refine(const cv::Mat& probability, int gridLongSide, const cv::Mat& guide,
                         const Settings& settings, float threshold, cv::Mat& mask)
{
    const cv::Size size = guide.size();
    // The uncertain band around an edge is a model pixel or two wide, whatever the frame size.
    const int radius = std::max(1, cvRound(settings.radius * std::max(size.width, size.height)
                                            / std::max(gridLongSide, 1)));
    // The filter's coefficients are means over boxes many pixels wide, so they change slowly:
    // they are found on a grid a whole step coarser (about the model's own, the coarse box a
    // radius of about two) and brought up bilinearly onto the centres of their blocks. Only the
    // last q = a * I + b reads the guide's own pixels, so the edge still follows them.
    const int step = std::clamp(radius / 2, 1, std::max(1, std::min(size.width, size.height) / 16));
    const int coarseRadius = std::max(1, cvRound(double(radius) / step));
    const cv::Size box(2 * coarseRadius + 1, 2 * coarseRadius + 1);
    cv::cvtColor(guide, grey8_, cv::COLOR_BGR2GRAY);
    effects::reduceByWhole(grey8_, step, coarseGrey8_);
    if (probability.size() == size) {
        effects::reduceByWhole(probability, step, coarseP_);
    } else {
        cv::resize(probability, p_, size, 0, 0, cv::INTER_LINEAR);
        effects::reduceByWhole(p_, step, coarseP_);
    }
    const cv::Size coarse = coarseGrey8_.size();

    // One four-channel box filter gives the local means of I, p, I*p and I*I together.
    moments_.create(coarse, CV_32FC4);
    for (int y = 0; y < coarse.height; ++y) {
        const uchar* g = coarseGrey8_.ptr<uchar>(y);
        const float* p = coarseP_.ptr<float>(y);
        cv::Vec4f* m = moments_.ptr<cv::Vec4f>(y);
        for (int x = 0; x < coarse.width; ++x) {
            const float i = g[x] * (1.f / 255.f);
            m[x] = cv::Vec4f(i, p[x], i * p[x], i * i);
        }
    }
    cv::boxFilter(moments_, meanMoments_, CV_32F, box);
    // The coefficients carry the threshold stretch already (it is linear), each in a plane of
    // its own, so that the full-size pass is one multiply-add a pixel that vectorises.
    const float low = std::min(std::max(threshold, 0.f), 0.49f);
    const float gain = 255.f / (1.f - 2.f * low);
    slope_.create(coarse, CV_32F);
    offset_.create(coarse, CV_32F);
    const float epsilon = static_cast<float>(settings.epsilon);
    for (int y = 0; y < coarse.height; ++y) {
        const cv::Vec4f* m = meanMoments_.ptr<cv::Vec4f>(y);
        float* a = slope_.ptr<float>(y);
        float* b = offset_.ptr<float>(y);
        for (int x = 0; x < coarse.width; ++x) {
            const float slope = (m[x][2] - m[x][0] * m[x][1]) / (m[x][3] - m[x][0] * m[x][0] + epsilon);
            a[x] = slope * gain / 255.f;
            b[x] = (m[x][1] - slope * m[x][0] - low) * gain;
        }
    }
    cv::boxFilter(slope_, meanSlope_, CV_32F, box);
    cv::boxFilter(offset_, meanOffset_, CV_32F, box);
    // Brought up bilinearly: across once, on the coarse rows, and down row by row in the last
    // pass, so no full-size plane of coefficients is written and read back.
    effects::widenByWhole(meanSlope_, step, extended_, wideSlope_);
    effects::widenByWhole(meanOffset_, step, extended_, wideOffset_);

    // q = a * I + b, stretched, straight into the 8-bit mask.
    effects::forEachStripe(size.height, [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const effects::EnlargedRow row = effects::enlargedRow(y, step, wideSlope_.rows);
            const Coefficients above{wideSlope_.ptr<float>(row.above), wideOffset_.ptr<float>(row.above)};
            const Coefficients below{wideSlope_.ptr<float>(row.below), wideOffset_.ptr<float>(row.below)};
            filterRow(above, below, row.weight, grey8_.ptr<uchar>(y), mask.ptr<uchar>(y), size.width);
        }
    });
}

} // namespace portrait
