#include "portrait/HeadFinder.h"

#include <algorithm>

namespace portrait {
namespace {

// A known face is followed in a square this many times its size; a new face must score this
// well (the sweep's small squares give weak false finds), and a face missed this many frames
// running is given up.
constexpr float kFollowSquare = 2.5f;
constexpr float kNewFaceScore = 0.7f;
constexpr int kMaxMisses = 3;
// The detector is the costly part. A known face is looked for every second frame: the square
// looked at closely is far larger than a head moves in a frame. Without a face, one square
// of the sweep is tried every kSearchEvery frames.
constexpr long kFollowEvery = 2, kSearchEvery = 3;

// The best of the merged finds; score 0 when there is none.
face::Detection best(std::vector<face::Detection> found)
{
    found = face::FaceDetector::mergeOverlapping(std::move(found));
    const auto it = std::max_element(found.begin(), found.end(),
                                     [](const auto& a, const auto& b) { return a.score < b.score; });
    return it == found.end() ? face::Detection{} : *it;
}

} // namespace

bool HeadFinder::load(const std::string& modelsDir, std::string& error)
{
    return detector_.load(modelsDir + "/face_detection_short_range.tflite", error);
}

void HeadFinder::reset()
{
    face_ = cv::Rect2f();
    misses_ = 0;
    sweep_.clear();
    nextSquare_ = 0;
    frame_ = 0;
}

cv::Rect2f HeadFinder::find(const cv::Mat& bgr)
{
    if (!detector_.isLoaded() || bgr.empty())
        return {};
    const int longSide = std::max(bgr.cols, bgr.rows);
    const double k = longSide > kLongSide ? double(kLongSide) / longSide : 1.0;
    const cv::Mat* small = &bgr;
    if (k < 1.0) {
        shrinker_.shrink(bgr, cv::Size(std::max(1, cvRound(bgr.cols * k)), std::max(1, cvRound(bgr.rows * k))), small_);
        small = &small_;
    }
    ++frame_;
    if (face_.empty() || !follow(*small))
        search(*small);
    if (face_.empty())
        return {};
    const float back = float(bgr.cols) / float(small->cols);
    return {face_.x * back, face_.y * back, face_.width * back, face_.height * back};
}

bool HeadFinder::follow(const cv::Mat& small)
{
    if (frame_ % kFollowEvery != 0)
        return true;
    const cv::Point2f centre = (face_.tl() + face_.br()) * 0.5f;
    const int side = std::max(16, cvRound(kFollowSquare * std::max(face_.width, face_.height)));
    const cv::Rect square(cvRound(centre.x) - side / 2, cvRound(centre.y) - side / 2, side, side);
    const face::Detection d = best(detector_.detectIn(small, square));
    if (d.score > 0.f) {
        face_ = d.box;
        misses_ = 0;
        return true;
    }
    if (++misses_ >= kMaxMisses) {
        face_ = cv::Rect2f();
        misses_ = 0;
        return false;
    }
    return true;  // a missed frame keeps the last place: a blink of the detector is no lost head
}

void HeadFinder::search(const cv::Mat& small)
{
    const bool fresh = sweep_.empty() || sweepSize_ != small.size();
    if (fresh) {
        sweep_ = face::FaceDetector::sweepRegions(small.size());
        sweepSize_ = small.size();
        nextSquare_ = 0;
    } else if (frame_ % kSearchEvery != 0) {
        return;
    }
    const size_t count = fresh ? sweep_.size() : 1;
    std::vector<face::Detection> found;
    for (size_t i = 0; i < count; ++i) {
        const auto some = detector_.detectIn(small, sweep_[nextSquare_]);
        found.insert(found.end(), some.begin(), some.end());
        nextSquare_ = (nextSquare_ + 1) % sweep_.size();
    }
    const face::Detection d = best(std::move(found));
    if (d.score >= kNewFaceScore)
        face_ = d.box;
}

} // namespace portrait
