#pragma once
// Follows up to three faces through a video. Each known face is followed from its previous
// landmarks (one landmark run per face and frame); the detector runs only to find faces:
// over the whole sweep on the first frame, then two squares of the sweep per frame while no
// face is known, and one square every few frames while fewer than three are.
//
// Threading: one tracker is used by one thread at a time.
#include "FaceDetector.h"
#include "FaceLandmarker.h"
#include "LandmarkFilter.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace face {

struct TrackedFace {
    int id = 0;
    std::vector<cv::Point2f> points;  // filtered, picture pixels
    std::vector<cv::Point2f> raw;     // as the model gave them this frame
    LandmarkFilter filter;
};

class FaceTracker {
public:
    static constexpr int kMaxFaces = 3;

    // Loads both models from modelsDir; false with a reason when one is missing or unusable.
    bool load(const std::string& modelsDir, std::string& error);
    bool isLoaded() const { return detector_.isLoaded() && landmarker_.isLoaded(); }

    // Analyses one frame and returns the faces seen in it.
    const std::vector<TrackedFace>& update(const cv::Mat& bgr);
    const std::vector<TrackedFace>& faces() const { return faces_; }
    // Forgets every face and the detection schedule; the next frame is swept fully.
    void reset();

private:
    void follow(const cv::Mat& bgr);
    void detect(const cv::Mat& bgr);
    bool isKnown(const cv::Rect2f& box) const;
    void addFace(const cv::Mat& bgr, const Detection& detection);

    FaceDetector detector_;
    FaceLandmarker landmarker_;
    std::vector<TrackedFace> faces_;
    std::vector<cv::Rect> sweep_;
    cv::Size sweepSize_;
    size_t nextRegion_ = 0;
    long frame_ = 0;
    int nextId_ = 1;
};

} // namespace face
