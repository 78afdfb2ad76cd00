#include "ChromaKeyer.h"

#include "RowParallel.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace beauty {

namespace {
constexpr float kClearlyScreen = 40.f;  // key above which a pixel is taken as screen when measuring
constexpr int kMeasureShrink = 4;
constexpr int kEdgeReach = 6;     // pixels around an edge searched for sure colours
constexpr float kMinSpan = 24.f;  // foreground and screen closer than this cannot be unmixed
} // namespace

ChromaKeyer::ChromaKeyer(Screen screen, int strength, int softness)
    : channel_(screen == Blue ? 0 : 1),
      strength_(std::clamp(strength, 0, 100) / 100.f),
      softness_(std::clamp(softness, 0, 100) / 100.f)
{
}

float ChromaKeyer::keyOf(const cv::Vec3b& p) const
{
    const int others = std::max(p[(channel_ + 1) % 3], p[(channel_ + 2) % 3]);
    return float(p[channel_] - others);
}

void ChromaKeyer::measureScreen(const cv::Mat& bgr)
{
    cv::Mat small;
    cv::resize(bgr, small, cv::Size(), 1.0 / kMeasureShrink, 1.0 / kMeasureShrink, cv::INTER_NEAREST);
    int histogram[256] = {};
    int count = 0;
    for (int y = 0; y < small.rows; ++y)
        for (int x = 0; x < small.cols; ++x) {
            const cv::Vec3b p = small.at<cv::Vec3b>(y, x);
            const float key = keyOf(p);
            if (key <= kClearlyScreen)
                continue;
            ++histogram[int(key)];
            ++count;
        }
    if (size_t(count) * 200 < small.total())  // hardly any screen in view: keep what was known
        return;
    int seen = 0, median = 0;
    while (median < 255 && (seen += histogram[median]) * 2 < count)
        ++median;
    screenKey_ = float(median);
}

cv::Mat ChromaKeyer::alpha(const cv::Mat& bgr)
{
    measureScreen(bgr);
    const float high = screenKey_ * (1.f - 0.25f * strength_);
    const float low = std::max(0.f, high - screenKey_ * (0.4f + softness_));
    const float ramp = std::max(1.f, high - low);
    cv::Mat channels[3], others, key, a;
    cv::split(bgr, channels);
    cv::max(channels[(channel_ + 1) % 3], channels[(channel_ + 2) % 3], others);
    cv::subtract(channels[channel_], others, key, cv::noArray(), CV_16S);
    key.convertTo(a, CV_32F, -1.0 / ramp, high / ramp);
    a = cv::max(cv::min(a, 1.f), 0.f);
    refineEdges(bgr, a);
    return a;
}

namespace {
// Sums of weighted colour and of weight around every pixel of a reduced copy: (b, g, r) * w
// and w in four channels, so one box filter gathers both.
cv::Mat weightedSums(const cv::Mat& colour, const cv::Mat& mask8, int reach)
{
    cv::Mat weight;
    cv::resize(mask8, weight, colour.size(), 0, 0, cv::INTER_AREA);
    cv::Mat sums(colour.size(), CV_32FC4);
    for (int y = 0; y < colour.rows; ++y) {
        const cv::Vec3b* c = colour.ptr<cv::Vec3b>(y);
        const uchar* w = weight.ptr<uchar>(y);
        cv::Vec4f* out = sums.ptr<cv::Vec4f>(y);
        for (int x = 0; x < colour.cols; ++x) {
            const float k = w[x] / 255.f;
            out[x] = cv::Vec4f(c[x][0] * k, c[x][1] * k, c[x][2] * k, k);
        }
    }
    cv::boxFilter(sums, sums, -1, cv::Size(2 * reach + 1, 2 * reach + 1), cv::Point(-1, -1), false);
    return sums;
}

// The mean colour of a sum, if enough weight was found.
inline bool meanOf(const cv::Vec4f& sum, cv::Vec3f& mean)
{
    if (sum[3] < 0.5f)
        return false;
    mean = cv::Vec3f(sum[0], sum[1], sum[2]) / sum[3];
    return true;
}
} // namespace

void ChromaKeyer::refineEdges(const cv::Mat& bgr, cv::Mat& alpha) const
{
    // The key of an edge pixel depends on the foreground's own colour, so the ramp alone
    // misjudges it. Near every edge the pixel is unmixed instead: its alpha is where its
    // colour lies between the nearby sure foreground and the nearby sure screen. The nearby
    // colours change slowly, so they are gathered at a quarter of the size.
    cv::Mat hard = alpha >= 0.5f, band, grown, shrunk;
    cv::dilate(hard, grown, cv::Mat(), cv::Point(-1, -1), 2);
    cv::erode(hard, shrunk, cv::Mat(), cv::Point(-1, -1), 2);
    band = (grown & ~shrunk) | ((alpha > 0.f) & (alpha < 1.f));
    if (cv::countNonZero(band) == 0)
        return;
    constexpr int kShrink = 4;
    cv::Mat colour;
    cv::resize(bgr, colour, cv::Size((bgr.cols + kShrink - 1) / kShrink, (bgr.rows + kShrink - 1) / kShrink), 0, 0,
               cv::INTER_AREA);
    const int reach = std::max(1, kEdgeReach * 2 / kShrink);
    const cv::Mat fgSums = weightedSums(colour, shrunk & (alpha >= 1.f), reach);
    const cv::Mat bgSums = weightedSums(colour, ~grown & (alpha <= 0.f), reach);
    forEachRow(bgr.rows, [&](int y) {
        const uchar* inBand = band.ptr<uchar>(y);
        const cv::Vec3b* c = bgr.ptr<cv::Vec3b>(y);
        const cv::Vec4f* fs = fgSums.ptr<cv::Vec4f>(y / kShrink);
        const cv::Vec4f* bs = bgSums.ptr<cv::Vec4f>(y / kShrink);
        float* a = alpha.ptr<float>(y);
        for (int x = 0; x < bgr.cols; ++x) {
            cv::Vec3f f, b;
            if (!inBand[x] || !meanOf(fs[x / kShrink], f) || !meanOf(bs[x / kShrink], b))
                continue;
            const cv::Vec3f span = f - b;
            const float length2 = span.dot(span);
            if (length2 < kMinSpan * kMinSpan)
                continue;
            a[x] = std::clamp((cv::Vec3f(c[x]) - b).dot(span) / length2, 0.f, 1.f);
        }
    });
}

void ChromaKeyer::composite(const cv::Mat& bgr, const cv::Mat& alpha, const cv::Mat& background,
                            cv::Mat& out) const
{
    out.create(bgr.size(), CV_8UC3);
    const int a1 = (channel_ + 1) % 3, a2 = (channel_ + 2) % 3;
    forEachRow(bgr.rows, [&](int y) {
        const cv::Vec3b* c = bgr.ptr<cv::Vec3b>(y);
        const cv::Vec3b* b = background.ptr<cv::Vec3b>(y);
        const float* a = alpha.ptr<float>(y);
        cv::Vec3b* o = out.ptr<cv::Vec3b>(y);
        for (int x = 0; x < bgr.cols; ++x) {
            const float t = 1.f - a[x];
            if (a[x] <= 0.f) {
                o[x] = b[x];
                continue;
            }
            // The pixel with its spill taken out: the screen channel no higher than the larger
            // of the other two. Edge pixels are a mix; taking the screen out of them by their
            // alpha would leave the screen's complement wherever alpha is misjudged, whereas
            // this leaves at worst a touch of grey.
            cv::Vec3f fg(c[x][0], c[x][1], c[x][2]);
            fg[channel_] = std::min(fg[channel_], std::max(fg[a1], fg[a2]));
            for (int k = 0; k < 3; ++k)
                o[x][k] = cv::saturate_cast<uchar>(a[x] * fg[k] + t * b[x][k]);
        }
    });
}

} // namespace beauty
