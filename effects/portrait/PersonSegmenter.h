#pragma once
// Runs a selfie segmentation model on a BGR picture and gives the person probability at the
// model's resolution. The picture is stretched to the tensor, as the model was trained.

#include "nn/TfliteModel.h"
#include "portrait/Shrinker.h"

#include <opencv2/core.hpp>

#include <memory>
#include <string>

namespace portrait {

class PersonSegmenter {
public:
    // Null, with the reason in error, when the file is missing, unreadable or not a
    // one-channel segmentation model with a 3-channel image input.
    static std::unique_ptr<PersonSegmenter> load(const std::string& path, std::string& error);

    cv::Size inputSize() const { return inputSize_; }
    // The frame as the model saw it (BGR, inputSize), kept until the next call.
    const cv::Mat& small() const { return small_; }
    // Probabilities in [0, 1] (CV_32F, inputSize); points into the model, valid until the
    // next call.
    cv::Mat segment(const cv::Mat& bgr);
    // segment in two steps, for work on small() while the model runs: the picture into the
    // model's input, then the model.
    void show(const cv::Mat& bgr);
    cv::Mat run();

private:
    explicit PersonSegmenter(std::unique_ptr<nn::TfliteModel> model);

    std::unique_ptr<nn::TfliteModel> model_;
    cv::Size inputSize_;
    Shrinker shrinker_;
    cv::Mat small_;
    cv::Mat rgb_;
};

} // namespace portrait
