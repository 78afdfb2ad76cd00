#include "WarpField.h"

#include "AlphaBlend.h"
#include "RowParallel.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace beauty {

namespace {
// Smooth bump: 1 at the centre, 0 with zero slope at the radius.
inline float falloff(float r2)
{
    const float t = 1.f - r2;
    return t > 0.f ? t * t : 0.f;
}
} // namespace

void WarpField::reset(const cv::Rect& area, cv::Size picture)
{
    area_ = area & cv::Rect(cv::Point(), picture);
    dx_.create(area_.size(), CV_32F);
    dy_.create(area_.size(), CV_32F);
    dx_ = 0.f;
    dy_ = 0.f;
    touched_ = false;
    planned_ = false;
}

template <typename Displacement>
void WarpField::accumulate(cv::Point2f centre, float radius, Displacement displacement)
{
    if (radius < 1.f || area_.empty())
        return;
    const cv::Rect box = cv::Rect(cv::Point(int(centre.x - radius), int(centre.y - radius)),
                                  cv::Point(int(centre.x + radius) + 2, int(centre.y + radius) + 2))
                         & area_;
    const float inv = 1.f / (radius * radius);
    for (int y = box.y; y < box.br().y; ++y) {
        float* rowX = dx_.ptr<float>(y - area_.y);
        float* rowY = dy_.ptr<float>(y - area_.y);
        const float oy = y - centre.y;
        for (int x = box.x; x < box.br().x; ++x) {
            const float ox = x - centre.x;
            const float w = falloff((ox * ox + oy * oy) * inv);
            if (w <= 0.f)
                continue;
            const cv::Point2f d = displacement(ox, oy, w);
            rowX[x - area_.x] += d.x;
            rowY[x - area_.x] += d.y;
        }
    }
    touched_ = true;
}

void WarpField::addShift(cv::Point2f centre, float radius, cv::Point2f shift)
{
    // Backward mapping: a pixel takes its colour from where the content came from.
    accumulate(centre, radius, [shift](float, float, float w) { return -shift * w; });
}

void WarpField::addScale(cv::Point2f centre, float radius, float amount)
{
    // Sampling nearer the centre magnifies; the weight keeps the edge of the area fixed.
    const float k = amount / (1.f + std::max(amount, 0.f));
    accumulate(centre, radius, [k](float ox, float oy, float w) { return cv::Point2f(-k * w * ox, -k * w * oy); });
}

void WarpField::confine(const std::vector<std::vector<cv::Point>>& hulls, float margin)
{
    if (!touched_)
        return;
    cv::Mat inside(area_.size(), CV_8U, cv::Scalar(0));
    cv::fillPoly(inside, hulls, cv::Scalar(255), cv::LINE_8, 0, -area_.tl());
    // Distance to the hull, mapped to a weight that leaves the hull at 1 with zero slope and
    // reaches 0 at the margin with zero slope.
    cv::Mat outside = 255 - inside, distance;
    cv::distanceTransform(outside, distance, cv::DIST_L2, cv::DIST_MASK_5);
    forEachRow(area_.height, [&](int y) {
        const float* d = distance.ptr<float>(y);
        float* rowX = dx_.ptr<float>(y);
        float* rowY = dy_.ptr<float>(y);
        for (int x = 0; x < area_.width; ++x) {
            const float t = std::min(d[x] / std::max(margin, 1.f), 1.f);
            const float w = 1.f - t * t * (3.f - 2.f * t);
            rowX[x] *= w;
            rowY[x] *= w;
        }
    });
}

void WarpField::limit(float maxShift)
{
    if (!touched_)
        return;
    const float max2 = maxShift * maxShift;
    forEachRow(area_.height, [&](int y) {
        float* rowX = dx_.ptr<float>(y);
        float* rowY = dy_.ptr<float>(y);
        for (int x = 0; x < area_.width; ++x) {
            const float length2 = rowX[x] * rowX[x] + rowY[x] * rowY[x];
            if (length2 <= max2)
                continue;
            const float k = maxShift / std::sqrt(length2);
            rowX[x] *= k;
            rowY[x] *= k;
        }
    });
}

void WarpField::findMirror(double sigma)
{
    // The offset to the mirror image across the outline, 2 (nearest background pixel - p),
    // for every face pixel. It is made smooth: the nearest pixel jumps from one to the next
    // along a curved outline, and a jagged offset would show as steps in the mirrored
    // background. The blur is normalised by the share of face pixels it covers, so the offset
    // does not shrink towards the outline. Smooth, it is found at half size.
    cv::resize(solid_, halfSolid_, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
    cv::compare(halfSolid_, 128, halfSolid_, cv::CMP_GE);
    const cv::Size half = halfSolid_.size();
    halfMirrorX_.create(half, CV_32F);
    halfMirrorY_.create(half, CV_32F);
    halfMirrorX_ = 0.f;
    halfMirrorY_ = 0.f;
    if (!half.empty() && cv::countNonZero(halfSolid_) < half.area()) {
        cv::distanceTransform(halfSolid_, distance_, labels_, cv::DIST_L2, cv::DIST_MASK_5, cv::DIST_LABEL_PIXEL);
        labelled_.assign(size_t(half.area()) + 1, cv::Point());
        for (int y = 0; y < half.height; ++y) {
            const uchar* s = halfSolid_.ptr<uchar>(y);
            const int* l = labels_.ptr<int>(y);
            for (int x = 0; x < half.width; ++x)
                if (!s[x] && size_t(l[x]) < labelled_.size())
                    labelled_[size_t(l[x])] = cv::Point(x, y);
        }
        forEachRow(half.height, [&](int y) {
            const uchar* s = halfSolid_.ptr<uchar>(y);
            const int* l = labels_.ptr<int>(y);
            float* mx = halfMirrorX_.ptr<float>(y);
            float* my = halfMirrorY_.ptr<float>(y);
            for (int x = 0; x < half.width; ++x)
                if (s[x] && size_t(l[x]) < labelled_.size()) {
                    const cv::Point offset = 4 * (labelled_[size_t(l[x])] - cv::Point(x, y));  // full-size pixels
                    mx[x] = float(offset.x);
                    my[x] = float(offset.y);
                }
        });
    }
    halfSolid_.convertTo(faceShare_, CV_32F, 1.0 / 255);
    const double halfSigma = std::max(1.0, sigma / 2);
    cv::GaussianBlur(halfMirrorX_, halfMirrorX_, cv::Size(), halfSigma);
    cv::GaussianBlur(halfMirrorY_, halfMirrorY_, cv::Size(), halfSigma);
    cv::GaussianBlur(faceShare_, faceShare_, cv::Size(), halfSigma);
    cv::max(faceShare_, 1e-3f, faceShare_);
    cv::divide(halfMirrorX_, faceShare_, halfMirrorX_);
    cv::divide(halfMirrorY_, faceShare_, halfMirrorY_);
    cv::resize(halfMirrorX_, mirrorX_, area_.size(), 0, 0, cv::INTER_LINEAR);
    cv::resize(halfMirrorY_, mirrorY_, area_.size(), 0, 0, cv::INTER_LINEAR);
}

void WarpField::plan(const std::vector<std::vector<cv::Point>>& outlines, cv::Size picture)
{
    planned_ = touched_ && !area_.empty();
    if (!planned_)
        return;
    // Content may be pulled in from beyond the area, so the source reaches as far past it as
    // the longest displacement, and as far again for the mirrored background.
    double minX, maxX, minY, maxY;
    cv::minMaxLoc(dx_, &minX, &maxX);
    cv::minMaxLoc(dy_, &minY, &maxY);
    const int reach = 2 * int(std::ceil(std::max({-minX, maxX, -minY, maxY}))) + 2;
    sourceArea_ = cv::Rect(area_.x - reach, area_.y - reach, area_.width + 2 * reach, area_.height + 2 * reach)
                  & cv::Rect(cv::Point(), picture);
    const cv::Point offset = area_.tl() - sourceArea_.tl();
    inside_.create(sourceArea_.size(), CV_8U);
    inside_ = 0;
    cv::fillPoly(inside_, outlines, cv::Scalar(255), cv::LINE_AA, 0, -sourceArea_.tl());

    cv::compare(inside_(cv::Rect(offset, area_.size())), 128, solid_, cv::CMP_GE);
    findMirror(std::max(1.5, 0.35 * (reach - 2) / 2.0));
    faceMapX_.create(area_.size(), CV_32F);
    faceMapY_.create(area_.size(), CV_32F);
    backMapX_.create(area_.size(), CV_32F);
    backMapY_.create(area_.size(), CV_32F);
    forEachRow(area_.height, [&](int y) {
        const float* dx = dx_.ptr<float>(y);
        const float* dy = dy_.ptr<float>(y);
        const uchar* s = solid_.ptr<uchar>(y);
        const float* mx = mirrorX_.ptr<float>(y);
        const float* my = mirrorY_.ptr<float>(y);
        float* fx = faceMapX_.ptr<float>(y);
        float* fy = faceMapY_.ptr<float>(y);
        float* bx = backMapX_.ptr<float>(y);
        float* by = backMapY_.ptr<float>(y);
        for (int x = 0; x < area_.width; ++x) {
            fx[x] = float(offset.x + x) + dx[x];
            fy[x] = float(offset.y + y) + dy[x];
            bx[x] = float(offset.x + x) + (s[x] ? mx[x] : 0.f);
            by[x] = float(offset.y + y) + (s[x] ? my[x] : 0.f);
        }
    });
    cv::remap(inside_, alpha_, faceMapX_, faceMapY_, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
}

void WarpField::apply(cv::Mat& bgr)
{
    if (!planned_)
        return;
    CV_Assert((sourceArea_ & cv::Rect(0, 0, bgr.cols, bgr.rows)) == sourceArea_);
    bgr(sourceArea_).copyTo(source_);
    cv::remap(source_, face_, faceMapX_, faceMapY_, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    cv::remap(source_, back_, backMapX_, backMapY_, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    cv::Mat target = bgr(area_);
    forEachRow(area_.height, [&](int y) {
        blendRow(face_.ptr<uchar>(y), back_.ptr<uchar>(y), alpha_.ptr<uchar>(y), target.ptr<uchar>(y), area_.width);
    });
    planned_ = false;
}

} // namespace beauty
