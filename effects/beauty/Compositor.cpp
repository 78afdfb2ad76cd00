#include "Compositor.h"

#include "ChromaKeyer.h"

#include "RowParallel.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace beauty {

namespace {
constexpr double kWorkingSigma = 3.0;  // blur width, in pixels of the reduced copy
}

void Compositor::toNv12(const cv::Mat& bgr, uint8_t* nv12)
{
    const int w = bgr.cols, h = bgr.rows;
    cv::Mat i420;
    cv::cvtColor(bgr, i420, cv::COLOR_BGR2YUV_I420);
    std::memcpy(nv12, i420.data, size_t(w) * h);
    const uint8_t* u = i420.data + size_t(w) * h;
    const uint8_t* v = u + size_t(w / 2) * (h / 2);
    uint8_t* uv = nv12 + size_t(w) * h;
    for (size_t i = 0, n = size_t(w / 2) * (h / 2); i < n; ++i) {
        uv[2 * i] = u[i];
        uv[2 * i + 1] = v[i];
    }
}

cv::Mat Compositor::featheredMask(const cv::Mat& mask, int param)
{
    const double sigma = std::max(0.8, std::clamp(param, 0, 100) / 10.0 * mask.cols / 1000.0);
    // Two box blurs of the same width are close to a Gaussian and cost the same at any width.
    const int width = std::max(3, int(std::sqrt(6.0 * sigma * sigma + 1.0)) | 1);
    cv::Mat blurred;
    cv::blur(mask, blurred, cv::Size(width, width));
    cv::blur(blurred, blurred, cv::Size(width, width));
    return blurred;
}

void Compositor::blend(const cv::Mat& fg, const cv::Mat& bg, const cv::Mat& alpha, cv::Mat& out)
{
    out.create(fg.size(), CV_8UC3);
    forEachRow(fg.rows, [&](int y) {
        const cv::Vec3b* f = fg.ptr<cv::Vec3b>(y);
        const cv::Vec3b* b = bg.ptr<cv::Vec3b>(y);
        const uchar* a = alpha.ptr<uchar>(y);
        cv::Vec3b* o = out.ptr<cv::Vec3b>(y);
        for (int x = 0; x < fg.cols; ++x) {
            const int k = a[x];
            for (int c = 0; c < 3; ++c)
                o[x][c] = uchar((f[x][c] * k + b[x][c] * (255 - k) + 127) / 255);
        }
    });
}

void Compositor::blurredBackground(const cv::Mat& bgr, const cv::Mat& alpha, int level, cv::Mat& out) const
{
    // A blur weighted by how much each pixel is background (normalised convolution): the
    // person's pixels add nothing, so no halo of them spreads into the blurred background.
    // It is worked at a size where the blur is narrow, then scaled back.
    const double sigma = bgr.cols * (0.005 + 0.0005 * std::clamp(level, 0, 100));
    const double shrink = std::min(0.25, kWorkingSigma / sigma);
    cv::Mat picture, weight;
    cv::resize(bgr, picture, cv::Size(), shrink, shrink, cv::INTER_AREA);
    cv::resize(alpha, weight, picture.size(), 0, 0, cv::INTER_AREA);
    picture.convertTo(picture, CV_32FC3);
    weight.convertTo(weight, CV_32F, -1.0 / 255, 1.0);
    cv::Mat weight3, sum, total;
    cv::merge(std::vector<cv::Mat>(3, weight), weight3);
    cv::GaussianBlur(picture.mul(weight3), sum, cv::Size(), sigma * shrink);
    cv::GaussianBlur(weight3, total, cv::Size(), sigma * shrink);
    // Deep inside the person no background is near; the picture itself stands in, unseen.
    const double eps = 1e-3;
    cv::Mat small = (sum + picture * eps) / (total + cv::Scalar::all(eps));
    small.convertTo(small, CV_8UC3);
    cv::resize(small, out, bgr.size(), 0, 0, cv::INTER_LINEAR);
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
        const cv::Mat alpha = featheredMask(maskMat, param);
        cv::Mat blurred;
        blurredBackground(bgr, alpha, level, blurred);
        blend(bgr, blurred, alpha, composed_);
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
