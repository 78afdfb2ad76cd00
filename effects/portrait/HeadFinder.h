#pragma once
// Where the person's face is, so the mask knows where head and hair must be. The face
// detector follows a known face with one run on a square around it per frame; while no face
// is known it sweeps the picture, all of it on the first frame and then a square now and then.
// It works on a copy of the picture reduced to at most kLongSide pixels.

#include "face/FaceDetector.h"
#include "portrait/Shrinker.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace portrait {

class HeadFinder {
public:
    bool load(const std::string& modelsDir, std::string& error);
    // The face box in the picture's pixels; empty when no face is known.
    cv::Rect2f find(const cv::Mat& bgr);
    void reset();

    static constexpr int kLongSide = 480;

private:
    bool follow(const cv::Mat& small);
    void search(const cv::Mat& small);

    face::FaceDetector detector_;
    Shrinker shrinker_;
    cv::Mat small_;
    cv::Rect2f face_;  // in the reduced picture's pixels
    int misses_ = 0;
    std::vector<cv::Rect> sweep_;
    cv::Size sweepSize_;
    size_t nextSquare_ = 0;
    long frame_ = 0;
};

} // namespace portrait
