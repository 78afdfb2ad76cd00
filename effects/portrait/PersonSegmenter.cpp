#include "portrait/PersonSegmenter.h"

#include <opencv2/imgproc.hpp>

namespace portrait {

std::unique_ptr<PersonSegmenter> PersonSegmenter::load(const std::string& path, std::string& error)
{
    auto model = nn::TfliteModel::load(path, error);
    if (!model)
        return nullptr;
    const std::vector<int>& in = model->inputShape(0);
    if (model->inputCount() != 1 || model->outputCount() != 1 || in.size() != 4 || in[3] != 3
        || model->outputSize(0) != static_cast<size_t>(in[1]) * in[2]) {
        error = path + ": not a segmentation model";
        return nullptr;
    }
    return std::unique_ptr<PersonSegmenter>(new PersonSegmenter(std::move(model)));
}

PersonSegmenter::PersonSegmenter(std::unique_ptr<nn::TfliteModel> model)
    : model_(std::move(model)), inputSize_(model_->inputShape(0)[2], model_->inputShape(0)[1])
{
}

cv::Mat PersonSegmenter::segment(const cv::Mat& bgr)
{
    show(bgr);
    return run();
}

void PersonSegmenter::show(const cv::Mat& bgr)
{
    shrinker_.shrink(bgr, inputSize_, small_);
    cv::cvtColor(small_, rgb_, cv::COLOR_BGR2RGB);
    cv::Mat input(inputSize_, CV_32FC3, model_->input(0));
    rgb_.convertTo(input, CV_32FC3, 1.0 / 255.0);
}

cv::Mat PersonSegmenter::run()
{
    model_->run();
    return cv::Mat(inputSize_, CV_32F, const_cast<float*>(model_->output(0)));
}

} // namespace portrait
