#include "Compositor.h"

#include "AlphaBlend.h"
#include "ChromaKeyer.h"

#include "RowParallel.h"
#include "common/WholeFactor.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace beauty {

namespace {
constexpr double kWorkingSigma = 3.0;  // blur width, in pixels of the reduced copy
constexpr int kGaussianWidest = 7;     // box width up to which a feather is one Gaussian
} // namespace

void Compositor::toNv12(const cv::Mat& bgr, uint8_t* nv12)
{
    const int w = bgr.cols, h = bgr.rows;
    // Planar YUV 4:2:0 takes the bytes NV12 takes: converted straight into the output, only
    // the chroma planes are then set aside and interleaved back.
    cv::Mat planar(h * 3 / 2, w, CV_8U, nv12);
    cv::cvtColor(bgr, planar, cv::COLOR_BGR2YUV_I420);
    CV_Assert(planar.data == nv12);
    const size_t quarter = size_t(w / 2) * (h / 2);
    chroma_.create(1, int(2 * quarter), CV_8U);
    std::memcpy(chroma_.data, nv12 + size_t(w) * h, 2 * quarter);
    const cv::Mat u(h / 2, w / 2, CV_8U, chroma_.data), v(h / 2, w / 2, CV_8U, chroma_.data + quarter);
    cv::Mat uv(h / 2, w / 2, CV_8UC2, nv12 + size_t(w) * h);
    effects::forEachStripe(uv.rows, [&](const cv::Range& rows) {
        cv::Mat out = uv.rowRange(rows);
        cv::merge(std::vector<cv::Mat>{u.rowRange(rows), v.rowRange(rows)}, out);
    });
}

const cv::Mat& Compositor::featheredMask(const cv::Mat& mask, int param)
{
    const double sigma = std::max(0.8, std::clamp(param, 0, 100) / 10.0 * mask.cols / 1000.0);
    // Two box blurs of the same width are close to a Gaussian and cost the same at any width.
    const int width = std::max(3, int(std::sqrt(6.0 * sigma * sigma + 1.0)) | 1);
    if (width <= kGaussianWidest) {
        // Narrow, one Gaussian over the two boxes' reach costs less than they do.
        const cv::Size reach(2 * width - 1, 2 * width - 1);
        effects::filterInStripes(mask, feathered_, CV_8U, [&](const cv::Mat& in, cv::Mat& out) {
            cv::GaussianBlur(in, out, reach, sigma);
        });
        return feathered_;
    }
    const auto blur = [width](const cv::Mat& in, cv::Mat& out) { cv::blur(in, out, cv::Size(width, width)); };
    effects::filterInStripes(mask, halfFeathered_, CV_8U, blur);
    effects::filterInStripes(halfFeathered_, feathered_, CV_8U, blur);
    return feathered_;
}

void Compositor::blend(const cv::Mat& fg, const cv::Mat& bg, const cv::Mat& alpha, cv::Mat& out)
{
    out.create(fg.size(), CV_8UC3);
    forEachRow(fg.rows, [&](int y) {
        blendRow(fg.ptr<uchar>(y), bg.ptr<uchar>(y), alpha.ptr<uchar>(y), out.ptr<uchar>(y), fg.cols);
    });
}

int Compositor::blurBackground(const cv::Mat& bgr, const cv::Mat& alpha, int level)
{
    // A blur weighted by how much each pixel is background (normalised convolution): the
    // person's pixels add nothing, so no halo of them spreads into the blurred background.
    // It is worked at a size where the blur is narrow, then scaled back.
    const double sigma = bgr.cols * (0.005 + 0.0005 * std::clamp(level, 0, 100));
    const int factor = std::min({std::max(4, int(std::lround(sigma / kWorkingSigma))), bgr.cols, bgr.rows});
    effects::reduceByWhole(bgr, factor, smallPicture_);
    effects::reduceByWhole(alpha, factor, smallWeight_);
    // The weighted picture and its weight in one four-channel plane, blurred in one call.
    weighted_.create(smallPicture_.size(), CV_32FC4);
    for (int y = 0; y < weighted_.rows; ++y) {
        const cv::Vec3b* p = smallPicture_.ptr<cv::Vec3b>(y);
        const uchar* a = smallWeight_.ptr<uchar>(y);
        cv::Vec4f* out = weighted_.ptr<cv::Vec4f>(y);
        for (int x = 0; x < weighted_.cols; ++x) {
            const float w = 1.f - a[x] / 255.f;
            out[x] = {p[x][0] * w, p[x][1] * w, p[x][2] * w, w};
        }
    }
    cv::GaussianBlur(weighted_, blurredWeighted_, cv::Size(), sigma / factor);
    // Deep inside the person no background is near; the picture itself stands in, unseen.
    constexpr float eps = 1e-3f;
    for (int y = 0; y < weighted_.rows; ++y) {
        cv::Vec3b* p = smallPicture_.ptr<cv::Vec3b>(y);
        const cv::Vec4f* sum = blurredWeighted_.ptr<cv::Vec4f>(y);
        for (int x = 0; x < weighted_.cols; ++x) {
            const float total = sum[x][3] + eps;
            for (int c = 0; c < 3; ++c)
                p[x][c] = cv::saturate_cast<uchar>((sum[x][c] + p[x][c] * eps) / total);
        }
    }
    effects::widenByWhole(smallPicture_, factor, extended_, blurredRows_);
    return factor;
}

void Compositor::blendOverBlur(const cv::Mat& fg, const cv::Mat& alpha, int factor, cv::Mat& out) const
{
    out.create(fg.size(), CV_8UC3);
    effects::forEachEnlargedRow<uchar>(blurredRows_, factor, fg.rows, 3 * fg.cols, [&](int y, const uchar* background) {
        blendRow(fg.ptr<uchar>(y), background, alpha.ptr<uchar>(y), out.ptr<uchar>(y), fg.cols);
    });
}

const cv::Mat& Compositor::composed(const cv::Mat& bgr, int mode, int level, int param, const uint8_t* mask)
{
    const cv::Mat maskMat = mask ? cv::Mat(bgr.size(), CV_8U, const_cast<uint8_t*>(mask)) : cv::Mat();
    switch (mode) {
    case Picture: {
        const cv::Mat cover = background_.cover(bgr.size());
        if (maskMat.empty() || cover.empty())
            return bgr;
        blend(bgr, cover, featheredMask(maskMat, param), composed_);
        return composed_;
    }
    case BlurredBackground: {
        if (maskMat.empty())
            return bgr;
        const cv::Mat& alpha = featheredMask(maskMat, param);
        blendOverBlur(bgr, alpha, blurBackground(bgr, alpha, level), composed_);
        return composed_;
    }
    case GreenScreen:
    case BlueScreen: {
        const cv::Mat cover = background_.cover(bgr.size());
        if (cover.empty())
            return bgr;
        ChromaKeyer keyer(mode == GreenScreen ? ChromaKeyer::Green : ChromaKeyer::Blue, level, param);
        keyer.composite(bgr, keyer.alpha(bgr), cover, composed_);
        return composed_;
    }
    default:
        return bgr;
    }
}

void Compositor::compose(const cv::Mat& bgr, int mode, int level, int param, const uint8_t* mask, uint8_t* nv12)
{
    toNv12(composed(bgr, mode, level, param, mask), nv12);
}

} // namespace beauty
