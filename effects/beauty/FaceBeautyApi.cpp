// Pass-through face-beauty library: NV12 of the input, backgrounds ignored.
#include "ZR_FaceBeautyLib.h"

#include <opencv2/imgproc.hpp>

#include <mutex>

namespace {
std::mutex g_mutex;
cv::Mat g_frame;  // BGR result of the last process call
bool g_inited = false;
}

extern "C" {

int zr_fb_native_init(const char*, int)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_inited = true;
    return 0;
}

bool zr_fb_native_isInited(int handle) { return handle == 0 && g_inited; }
void zr_fb_native_log(zr_fb_log_callback, int) {}
void zr_fb_native_setBeautyLevel(int, int, float) {}
void zr_fb_native_setAILight(int, float) {}

int zr_fb_native_process(int, BeautyFrame* frame)
{
    if (!frame || !frame->data || frame->width <= 0 || frame->height <= 0)
        return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    cv::Mat(frame->height, frame->width, CV_8UC3, frame->data).copyTo(g_frame);
    return 0;
}

int zr_fb_native_process2(int, BeautyFrame* frame, void*)
{
    if (!frame || !frame->data)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_frame.cols != frame->width || g_frame.rows != frame->height)
        return -1;
    const int w = frame->width, h = frame->height;
    cv::Mat i420;
    cv::cvtColor(g_frame, i420, cv::COLOR_BGR2YUV_I420);
    uint8_t* out = frame->data;
    std::copy(i420.data, i420.data + w * h, out);
    const uint8_t* u = i420.data + w * h;
    const uint8_t* v = u + (w / 2) * (h / 2);
    uint8_t* uv = out + w * h;
    for (int i = 0; i < (w / 2) * (h / 2); ++i) {
        uv[2 * i] = u[i];
        uv[2 * i + 1] = v[i];
    }
    return 0;
}

void zr_fb_native_setBgBuffer(int, const unsigned char*, int, int) {}
void zr_fb_native_resetCache(int) {}

void zr_fb_native_uninit(int)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_inited = false;
    g_frame.release();
}

bool zr_fb_native_isMutualBeautyType(int item)
{
    return item == 11 || item == 12 || item == 14 || item == 15 || item == 16 || item == 17;
}

}
