#pragma once
// The 468-point landmark model on a rotated square around one face.
#include "FaceDetector.h"

#include <opencv2/core.hpp>

#include <memory>
#include <string>
#include <vector>

namespace nn {
class TfliteModel;
}

namespace face {

// A rotated square of the picture: its centre, side and clockwise tilt (radians).
struct FaceRegion {
    cv::Point2f centre;
    float side = 0.f;
    float angle = 0.f;
};

class FaceLandmarker {
public:
    FaceLandmarker();
    ~FaceLandmarker();
    bool load(const std::string& path, std::string& error);
    bool isLoaded() const { return model_ != nullptr; }

    // Runs the model on the region; fills 468 points in picture pixels and returns the
    // probability that the region holds a face.
    float run(const cv::Mat& bgr, const FaceRegion& region, std::vector<cv::Point2f>& points);

    static FaceRegion regionFromDetection(const Detection& detection);
    // The region for the next frame, from this frame's points (outer eye corners give the tilt).
    static FaceRegion regionFromPoints(const std::vector<cv::Point2f>& points);
    // The axis-aligned box around the points.
    static cv::Rect2f bounds(const std::vector<cv::Point2f>& points);

private:
    std::unique_ptr<nn::TfliteModel> model_;
    int pointsOutput_ = -1;
    int presenceOutput_ = -1;
};

} // namespace face
