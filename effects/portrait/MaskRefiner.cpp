#include "portrait/MaskRefiner.h"

#include "common/Stripes.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace portrait {

void MaskRefiner::refine(const cv::Mat& probability, int gridLongSide, const cv::Mat& guide,
                         const Settings& settings, float threshold, cv::Mat& mask)
{
    const cv::Size size = guide.size();
    // The uncertain band around an edge is a model pixel or two wide, whatever the frame size.
    const int radius = std::max(1, cvRound(settings.radius * std::max(size.width, size.height)
                                            / std::max(gridLongSide, 1)));
    const cv::Size box(2 * radius + 1, 2 * radius + 1);
    cv::cvtColor(guide, grey8_, cv::COLOR_BGR2GRAY);
    if (probability.size() == size)
        p_ = probability;
    else
        cv::resize(probability, p_, size, 0, 0, cv::INTER_LINEAR);

    // One four-channel box filter gives the local means of I, p, I*p and I*I together. Each
    // pass runs in stripes on OpenCV's pool, and a box filter with what follows it on the same
    // rows; a stripe's filter reads its neighbours' rows, which the pass before has finished.
    moments_.create(size, CV_32FC4);
    effects::forEachStripe(size.height, [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uchar* g = grey8_.ptr<uchar>(y);
            const float* p = p_.ptr<float>(y);
            cv::Vec4f* m = moments_.ptr<cv::Vec4f>(y);
            for (int x = 0; x < size.width; ++x) {
                const float i = g[x] * (1.f / 255.f);
                m[x] = cv::Vec4f(i, p[x], i * p[x], i * i);
            }
        }
    });
    meanMoments_.create(size, CV_32FC4);
    coefficients_.create(size, CV_32FC2);
    const float epsilon = static_cast<float>(settings.epsilon);
    effects::forEachStripe(size.height, [&](const cv::Range& rows) {
        cv::Mat means = meanMoments_.rowRange(rows);
        cv::boxFilter(moments_.rowRange(rows), means, CV_32F, box);
        for (int y = rows.start; y < rows.end; ++y) {
            const cv::Vec4f* m = meanMoments_.ptr<cv::Vec4f>(y);
            cv::Vec2f* ab = coefficients_.ptr<cv::Vec2f>(y);
            for (int x = 0; x < size.width; ++x) {
                const float a = (m[x][2] - m[x][0] * m[x][1]) / (m[x][3] - m[x][0] * m[x][0] + epsilon);
                ab[x] = cv::Vec2f(a, m[x][1] - a * m[x][0]);
            }
        }
    });
    // q = a * I + b, then the threshold stretch, straight into the 8-bit mask.
    meanCoefficients_.create(size, CV_32FC2);
    const float low = std::min(std::max(threshold, 0.f), 0.49f);
    const float gain = 255.f / (1.f - 2.f * low);
    effects::forEachStripe(size.height, [&](const cv::Range& rows) {
        cv::Mat means = meanCoefficients_.rowRange(rows);
        cv::boxFilter(coefficients_.rowRange(rows), means, CV_32F, box);
        for (int y = rows.start; y < rows.end; ++y) {
            const cv::Vec2f* ab = meanCoefficients_.ptr<cv::Vec2f>(y);
            const uchar* g = grey8_.ptr<uchar>(y);
            uchar* out = mask.ptr<uchar>(y);
            for (int x = 0; x < size.width; ++x) {
                const float v = (ab[x][0] * g[x] * (1.f / 255.f) + ab[x][1] - low) * gain;
                out[x] = static_cast<uchar>(std::min(std::max(v, 0.f), 255.f) + 0.5f);
            }
        }
    });
}

} // namespace portrait
