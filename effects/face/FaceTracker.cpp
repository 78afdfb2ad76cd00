#include "FaceTracker.h"

#include <algorithm>

namespace face {

namespace {
constexpr float kMinPresence = 0.5f;
constexpr int kRegionsWhileNone = 2;  // detector runs per frame while no face is known
constexpr int kSearchEveryFrames = 15;
constexpr float kSameFaceIou = 0.3f;

float iou(const cv::Rect2f& a, const cv::Rect2f& b)
{
    const float inter = (a & b).area();
    const float uni = a.area() + b.area() - inter;
    return uni > 0.f ? inter / uni : 0.f;
}
} // namespace

bool FaceTracker::load(const std::string& modelsDir, std::string& error)
{
    return detector_.load(modelsDir + "/face_detection_short_range.tflite", error)
           && landmarker_.load(modelsDir + "/face_landmark.tflite", error);
}

void FaceTracker::reset()
{
    faces_.clear();
    sweep_.clear();
    sweepSize_ = cv::Size();
    nextRegion_ = 0;
    frame_ = 0;
}

const std::vector<TrackedFace>& FaceTracker::update(const cv::Mat& bgr)
{
    if (!isLoaded() || bgr.empty())
        return faces_;
    if (bgr.size() != sweepSize_) {
        // A new picture size makes every known position meaningless.
        reset();
        sweepSize_ = bgr.size();
        sweep_ = FaceDetector::sweepRegions(sweepSize_);
    }
    follow(bgr);
    const bool searching = faces_.empty() || frame_ % kSearchEveryFrames == 0;
    if (int(faces_.size()) < kMaxFaces && searching)
        detect(bgr);
    ++frame_;
    return faces_;
}

void FaceTracker::follow(const cv::Mat& bgr)
{
    for (auto it = faces_.begin(); it != faces_.end();) {
        const float presence = landmarker_.run(bgr, FaceLandmarker::regionFromPoints(it->raw), it->raw);
        if (presence < kMinPresence) {
            it = faces_.erase(it);
            continue;
        }
        it->points = it->filter.filter(it->raw);
        ++it;
    }
    // Two faces that drifted onto the same one are one face.
    for (size_t i = 0; i < faces_.size(); ++i)
        for (size_t j = faces_.size() - 1; j > i; --j)
            if (iou(FaceLandmarker::bounds(faces_[i].raw), FaceLandmarker::bounds(faces_[j].raw)) > kSameFaceIou)
                faces_.erase(faces_.begin() + long(j));
}

void FaceTracker::detect(const cv::Mat& bgr)
{
    // The first frame gets the whole sweep, so a still picture finds its faces at once; later
    // frames spread the sweep over many frames, thinly while faces are being followed.
    const size_t count = frame_ == 0 ? sweep_.size() : faces_.empty() ? size_t(kRegionsWhileNone) : 1;
    std::vector<Detection> found;
    for (size_t i = 0; i < count; ++i) {
        const auto inRegion = detector_.detectIn(bgr, sweep_[nextRegion_]);
        found.insert(found.end(), inRegion.begin(), inRegion.end());
        nextRegion_ = (nextRegion_ + 1) % sweep_.size();
    }
    for (const Detection& d : FaceDetector::mergeOverlapping(std::move(found)))
        if (int(faces_.size()) < kMaxFaces && !isKnown(d.box))
            addFace(bgr, d);
}

bool FaceTracker::isKnown(const cv::Rect2f& box) const
{
    return std::any_of(faces_.begin(), faces_.end(), [&](const TrackedFace& f) {
        return iou(box, FaceLandmarker::bounds(f.raw)) > kSameFaceIou;
    });
}

void FaceTracker::addFace(const cv::Mat& bgr, const Detection& detection)
{
    TrackedFace face;
    if (landmarker_.run(bgr, FaceLandmarker::regionFromDetection(detection), face.raw) < kMinPresence)
        return;
    // A second pass from the landmarks' own region: the detector's box is only roughly placed.
    if (landmarker_.run(bgr, FaceLandmarker::regionFromPoints(face.raw), face.raw) < kMinPresence)
        return;
    if (isKnown(FaceLandmarker::bounds(face.raw)))
        return;
    face.id = nextId_++;
    face.points = face.filter.filter(face.raw);
    faces_.push_back(std::move(face));
}

} // namespace face
