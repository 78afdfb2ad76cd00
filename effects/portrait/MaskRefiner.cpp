#include "portrait/MaskRefiner.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace portrait {

cv::Size MaskRefiner::workSize(cv::Size frameSize, const Settings& settings)
{
    const int longSide = std::max(frameSize.width, frameSize.height);
    if (settings.workLongSide <= 0 || longSide <= settings.workLongSide)
        return frameSize;
    const double scale = double(settings.workLongSide) / longSide;
    return {std::max(1, cvRound(frameSize.width * scale)), std::max(1, cvRound(frameSize.height * scale))};
}

void MaskRefiner::refine(const cv::Mat& probability, const cv::Mat& frame, const Settings& settings,
                         float threshold, cv::Mat& mask)
{
    const cv::Size work = workSize(frame.size(), settings);
    // The uncertain band around an edge is a model pixel or two wide, whatever the frame size.
    const int radius = std::max(1, cvRound(settings.radius * std::max(work.width, work.height)
                                            / std::max(probability.cols, probability.rows)));
    const cv::Size box(2 * radius + 1, 2 * radius + 1);

    if (work == frame.size()) {
        cv::cvtColor(frame, grey8_, cv::COLOR_BGR2GRAY);
    } else {
        cv::resize(frame, small_, work, 0, 0, cv::INTER_AREA);
        cv::cvtColor(small_, grey8_, cv::COLOR_BGR2GRAY);
    }
    grey8_.convertTo(grey_, CV_32F, 1.0 / 255.0);
    cv::resize(probability, p_, work, 0, 0, cv::INTER_LINEAR);

    cv::boxFilter(grey_, meanI_, CV_32F, box);
    cv::boxFilter(p_, meanP_, CV_32F, box);
    cv::multiply(grey_, p_, corrIp_);
    cv::boxFilter(corrIp_, corrIp_, CV_32F, box);
    cv::multiply(grey_, grey_, varI_);
    cv::boxFilter(varI_, varI_, CV_32F, box);
    for (int y = 0; y < work.height; ++y) {
        const float* mi = meanI_.ptr<float>(y);
        const float* cip = corrIp_.ptr<float>(y);
        const float* vi = varI_.ptr<float>(y);
        float* mp = meanP_.ptr<float>(y);  // becomes b
        float* a = corrIp_.ptr<float>(y);
        for (int x = 0; x < work.width; ++x) {
            const float coefficient = (cip[x] - mi[x] * mp[x]) / (vi[x] - mi[x] * mi[x] + float(settings.epsilon));
            mp[x] -= coefficient * mi[x];
            a[x] = coefficient;
        }
    }
    cv::boxFilter(corrIp_, a_, CV_32F, box);
    cv::boxFilter(meanP_, b_, CV_32F, box);
    // q = a * I + b, then the threshold stretch, straight into the 8-bit mask.
    const float low = std::min(std::max(threshold, 0.f), 0.49f);
    const float gain = 255.f / (1.f - 2.f * low);
    for (int y = 0; y < work.height; ++y) {
        const float* a = a_.ptr<float>(y);
        const float* b = b_.ptr<float>(y);
        const float* i = grey_.ptr<float>(y);
        uchar* out = mask.ptr<uchar>(y);
        for (int x = 0; x < work.width; ++x) {
            const float v = (a[x] * i[x] + b[x] - low) * gain;
            out[x] = static_cast<uchar>(std::min(std::max(v, 0.f), 255.f) + 0.5f);
        }
    }
}

} // namespace portrait
