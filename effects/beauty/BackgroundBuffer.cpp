#include "BackgroundBuffer.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace beauty {

void BackgroundBuffer::set(const unsigned char* bgr, int width, int height)
{
    if (!bgr || width <= 0 || height <= 0) {
        clear();
        return;
    }
    cv::Mat fresh = cv::Mat(height, width, CV_8UC3, const_cast<unsigned char*>(bgr)).clone();
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = fresh;
    ++generation_;
}

void BackgroundBuffer::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = cv::Mat();
    ++generation_;
}

cv::Mat BackgroundBuffer::cover(cv::Size size)
{
    cv::Mat picture;
    uint64_t generation;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        picture = current_;
        generation = generation_;
    }
    if (picture.empty())
        return cv::Mat();
    if (generation == coverGeneration_ && cover_.size() == size)
        return cover_;
    const double scale = std::max(double(size.width) / picture.cols, double(size.height) / picture.rows);
    const cv::Size scaled(std::max(size.width, int(std::ceil(picture.cols * scale))),
                          std::max(size.height, int(std::ceil(picture.rows * scale))));
    cv::Mat resized;
    cv::resize(picture, resized, scaled, 0, 0, scale < 1.0 ? cv::INTER_AREA : cv::INTER_LINEAR);
    const cv::Rect middle((scaled.width - size.width) / 2, (scaled.height - size.height) / 2, size.width,
                          size.height);
    cover_ = resized(middle).clone();
    coverGeneration_ = generation;
    return cover_;
}

} // namespace beauty
