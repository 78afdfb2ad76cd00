#include "Nv12Conversion.h"

#include <opencv2/imgproc.hpp>

namespace Nv12Conversion {

void fromBgr(const cv::Mat& bgr, cv::Mat& nv12)
{
    const int w = bgr.cols, h = bgr.rows;
    cv::Mat i420;
    cv::cvtColor(bgr, i420, cv::COLOR_BGR2YUV_I420);
    nv12.create(h * 3 / 2, w, CV_8UC1);
    i420.rowRange(0, h).copyTo(nv12.rowRange(0, h));
    // The planar U and V (each h/2 x w/2, continuous) merge into the interleaved plane.
    const cv::Mat u(h / 2, w / 2, CV_8UC1, i420.ptr(h));
    const cv::Mat v(h / 2, w / 2, CV_8UC1, i420.ptr(h) + size_t(w / 2) * (h / 2));
    cv::Mat uv(h / 2, w / 2, CV_8UC2, nv12.ptr(h));
    cv::merge(std::vector<cv::Mat>{u, v}, uv);
}

} // namespace Nv12Conversion
