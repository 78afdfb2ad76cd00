#include "BeautyTestSupport.h"

#include "BeautyFrameFor.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <cstring>

namespace beautytest {

BeautyFrame frameFor(cv::Mat& bgr)
{
    return beautyFrameFor(bgr.data, bgr.cols, bgr.rows);
}

cv::Mat render(int handle, const cv::Mat& bgr, int mode, const cv::Mat& mask, int level, int param)
{
    cv::Mat work = bgr.clone();
    BeautyFrame f = frameFor(work);
    f.result = zr_fb_native_process(handle, &f);
    if (f.result < 0)
        return cv::Mat();
    cv::Mat nv12(bgr.rows * 3 / 2, bgr.cols, CV_8U);
    cv::Mat maskCopy = mask.clone();
    f.mattingOn = 1;
    f.data = nv12.data;
    f.mask = maskCopy.empty() ? nullptr : maskCopy.data;
    f.backgroundMode = mode;
    f.backgroundLevel = level;
    f.backgroundParam = param;
    return zr_fb_native_process2(handle, &f, nullptr) == 0 ? nv12 : cv::Mat();
}

cv::Mat toNv12(const cv::Mat& bgr)
{
    cv::Mat i420, nv12(bgr.rows * 3 / 2, bgr.cols, CV_8U);
    cv::cvtColor(bgr, i420, cv::COLOR_BGR2YUV_I420);
    const size_t luma = size_t(bgr.cols) * bgr.rows, quarter = luma / 4;
    std::memcpy(nv12.data, i420.data, luma);
    for (size_t i = 0; i < quarter; ++i) {
        nv12.data[luma + 2 * i] = i420.data[luma + i];
        nv12.data[luma + 2 * i + 1] = i420.data[luma + quarter + i];
    }
    return nv12;
}

cv::Mat fromNv12(const cv::Mat& nv12)
{
    cv::Mat bgr;
    cv::cvtColor(nv12, bgr, cv::COLOR_YUV2BGR_NV12);
    return bgr;
}

double maxDifference(const cv::Mat& a, const cv::Mat& b)
{
    if (a.size() != b.size() || a.type() != b.type())
        return 1e9;
    cv::Mat d;
    cv::absdiff(a, b, d);
    double high = 0;
    cv::minMaxLoc(d.reshape(1), nullptr, &high);
    return high;
}

void setNeutral(int handle)
{
    for (int i = 0; i < 22; ++i)
        zr_fb_native_setBeautyLevel(handle, i, zr_fb_native_isMutualBeautyType(i) ? 0.5f : 0.f);
    zr_fb_native_setAILight(handle, 0.f);
}

std::string modelsDir()
{
    const char* bin = std::getenv("VYR_BIN_DIR");
    return std::string(bin ? bin : ".") + "/models";
}

cv::Mat testPicture(const std::string& name)
{
    const char* source = std::getenv("VYR_SOURCE_DIR");
    cv::Mat picture = cv::imread(std::string(source ? source : ".") + "/.cache/testdata/" + name, cv::IMREAD_COLOR);
    return picture.empty() ? picture : picture(cv::Rect(0, 0, picture.cols & ~1, picture.rows & ~1)).clone();
}

} // namespace beautytest
