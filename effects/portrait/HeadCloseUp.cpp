#include "portrait/HeadCloseUp.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace portrait {
namespace {

// In face-box sizes: the square's side and how far its centre lies above the face's.
constexpr float kSide = 3.2f, kLift = 0.35f;
// Share of the square's side over which the close look fades into the frame's.
constexpr float kFade = 0.18f;
// The square is compared at this size (each pixel an average of many, so sensor noise stays
// far below kMoved); it has moved when more than kMovedShare of its pixels changed by kMoved
// grey levels or more. A head moving by a pixel changes several times that share along its edge.
constexpr int kThumbnail = 32;
constexpr double kMoved = 8;
constexpr double kMovedShare = 0.01;

// 1 in the middle, falling smoothly to 0 at the square's edges.
void fillWindow(cv::Mat& window, int side)
{
    window.create(side, side, CV_32F);
    const float fade = std::max(1.f, kFade * side);
    for (int y = 0; y < side; ++y) {
        float* w = window.ptr<float>(y);
        for (int x = 0; x < side; ++x) {
            const float edge = float(std::min({x, y, side - 1 - x, side - 1 - y}));
            const float t = std::min(edge / fade, 1.f);
            w[x] = t * t * (3.f - 2.f * t);
        }
    }
}

} // namespace

cv::Rect HeadCloseUp::square(const cv::Rect2f& face)
{
    const int side = std::max(8, cvRound(kSide * std::max(face.width, face.height)));
    const float cx = face.x + 0.5f * face.width, cy = face.y + (0.5f - kLift) * face.height;
    return {cvRound(cx) - side / 2, cvRound(cy) - side / 2, side, side};
}

void HeadCloseUp::reset()
{
    look_ = cv::Rect();
}

void HeadCloseUp::takeThumbnail(const cv::Mat& picture)
{
    const cv::Rect seen = look_ & cv::Rect(0, 0, picture.cols, picture.rows);
    cv::resize(picture(seen), thumbnail_, cv::Size(kThumbnail, kThumbnail), 0, 0, cv::INTER_AREA);
}

bool HeadCloseUp::holdsStill(const cv::Mat& picture)
{
    if (look_.empty() || picture.size() != lookedAt_)
        return false;
    takeThumbnail(picture);
    cv::absdiff(thumbnail_, reference_, difference_);
    cv::threshold(difference_.reshape(1), difference_, kMoved, 255, cv::THRESH_BINARY);
    return cv::countNonZero(difference_) <= kMovedShare * difference_.total();
}

bool HeadCloseUp::look(const cv::Mat& picture, const cv::Rect2f& face, PersonSegmenter& model)
{
    look_ = square(face);
    lookedAt_ = picture.size();
    const cv::Rect seen = look_ & cv::Rect(0, 0, picture.cols, picture.rows);
    if (seen.width < 8 || seen.height < 8) {
        reset();
        return false;
    }
    // Beyond the picture the square is filled with its edge, as a camera would have gone on.
    cv::copyMakeBorder(picture(seen), crop_, seen.y - look_.y, look_.br().y - seen.br().y, seen.x - look_.x,
                       look_.br().x - seen.br().x, cv::BORDER_REPLICATE);
    cv::resize(model.segment(crop_), closeUp_, look_.size(), 0, 0, cv::INTER_LINEAR);
    if (window_.cols != look_.width)
        fillWindow(window_, look_.width);
    takeThumbnail(picture);
    thumbnail_.copyTo(reference_);
    return true;
}

void HeadCloseUp::blendInto(cv::Mat& probability) const
{
    CV_Assert(probability.size() == lookedAt_ && probability.type() == CV_32F);
    const cv::Rect seen = look_ & cv::Rect(0, 0, probability.cols, probability.rows);
    const cv::Point at = seen.tl() - look_.tl();
    for (int y = 0; y < seen.height; ++y) {
        float* p = probability.ptr<float>(seen.y + y) + seen.x;
        const float* c = closeUp_.ptr<float>(at.y + y) + at.x;
        const float* w = window_.ptr<float>(at.y + y) + at.x;
        for (int x = 0; x < seen.width; ++x)
            p[x] += w[x] * (c[x] - p[x]);
    }
}

} // namespace portrait
