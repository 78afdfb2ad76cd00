#pragma once
// The short-range face detector. It only sees faces that fill a good part of its 128x128
// input, so small faces are found by running it on squares smaller than the frame
// (sweepRegions) and merging the finds with a score-weighted suppression.
#include <opencv2/core.hpp>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace nn {
class TfliteModel;
}

namespace face {

struct Detection {
    cv::Rect2f box;                        // picture pixels
    std::array<cv::Point2f, 6> keypoints;  // eyes (image-left, image-right), nose, mouth, ears
    float score = 0.f;
};

class FaceDetector {
public:
    FaceDetector();
    ~FaceDetector();
    bool load(const std::string& path, std::string& error);
    bool isLoaded() const { return model_ != nullptr; }

    // Detections in one square of the picture (it may reach past the picture's border).
    std::vector<Detection> detectIn(const cv::Mat& bgr, const cv::Rect& square);
    // The squares that together find faces down to about a tenth of the picture height:
    // the whole picture first, then overlapping tiles of half and a third of its long side.
    static std::vector<cv::Rect> sweepRegions(cv::Size picture);
    // Score-weighted suppression of overlapping detections, best first.
    static std::vector<Detection> mergeOverlapping(std::vector<Detection> detections);

private:
    void fillInput(const cv::Mat& bgr, const cv::Rect& square);
    std::unique_ptr<nn::TfliteModel> model_;
    std::vector<cv::Point2f> anchors_;
    int regressors_ = -1;
    int classificators_ = -1;
    cv::Mat scaled_, crop_;  // kept between calls
};

} // namespace face
