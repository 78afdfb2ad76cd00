// The portrait library's C interface: argument checks, then the process-wide state.
#include "ZR_Portrait_SDK.h"

#include "portrait/PortraitLibrary.h"

#include <cstring>
#include <string>

using portrait::PortraitLibrary;

namespace ZRPortraitCOM {
namespace {

PortraitLibrary& library()
{
    return PortraitLibrary::instance();
}

// OpenCV reports some failures (memory, codecs) by throwing; nothing may cross the C interface.
template <typename F> auto guarded(const char* call, int failure, F&& body) -> decltype(body())
{
    try {
        return body();
    } catch (const std::exception& e) {
        library().log().write(effects::EffectLog::Error, std::string(call) + " failed: " + e.what());
    }
    return static_cast<decltype(body())>(failure);
}

} // namespace

void zr_effect_log(zr_effect_log_callback callback, int level)
{
    library().log().setSink(callback, level);
}

void zr_effect_set_params(int, bool, bool, int previewMode, bool, float threshold, bool)
{
    library().setMode(previewMode != 0, threshold);  // only plain values: cannot throw
}

int zr_effect_bg_init(const char* modelsDir, int inputSize, const char*)
{
    if (!modelsDir) {
        library().log().write(effects::EffectLog::Error, "no models folder given, matting is off");
        return -1;
    }
    if (inputSize != 256)
        library().log().write(effects::EffectLog::Info,
                              "input size " + std::to_string(inputSize) + " ignored: the models have fixed sizes");
    return guarded("init", -1, [&] { return library().init(modelsDir); });
}

void zr_effect_bg_callback(zr_effect_bg_image_callback callback)
{
    library().setCallback(callback);
}

int zr_effect_bg_pic(const char* path, int orientation, bool mirror)
{
    if (!path) {
        library().log().write(effects::EffectLog::Warning, "no background picture path given");
        return -1;
    }
    return guarded("background picture", -1, [&] { return library().setPicture(path, orientation, mirror); });
}

int zr_effect_bg_video(const char* path, int orientation, bool mirror)
{
    return guarded("background video", -1, [&] { return library().setVideo(path, orientation, mirror); });
}

void zr_effect_bg_video_state(int state)
{
    guarded("video state", 0, [&] { library().setVideoPlaying(state == VIDEO_PLAY); return 0; });
}

int zr_effect_bg_mem(const unsigned char* bgr, int width, int height, int orientation, bool mirror)
{
    if (!bgr && width == 0 && height == 0)
        return 0;
    if (!bgr || width <= 0 || height <= 0) {
        library().log().write(effects::EffectLog::Warning, "background frame rejected: no pixels or a bad size");
        return -1;
    }
    return guarded("background frame", -1, [&] {
        const cv::Mat frame(height, width, CV_8UC3, const_cast<unsigned char*>(bgr));
        return library().setFrame(frame, orientation, mirror);
    });
}

int zr_effect_bg_mask(const unsigned char* bgr, int orientation, int width, int height, unsigned char* mask,
                      zreffectrect* rect)
{
    if (!mask || width <= 0 || height <= 0)
        return -1;
    if (!bgr) {
        std::memset(mask, 0, static_cast<size_t>(width) * height);
        return -1;
    }
    const cv::Rect area = rect && rect->width > 0 && rect->height > 0
        ? cv::Rect(rect->x, rect->y, rect->width, rect->height)
        : cv::Rect(0, 0, width, height);
    return guarded("mask", -1, [&] {
        const cv::Mat frame(height, width, CV_8UC3, const_cast<unsigned char*>(bgr));
        return library().mask(frame, orientation, area, mask);
    });
}

void zr_effect_bg_resetCache()
{
    guarded("reset", 0, [] { library().resetCache(); return 0; });
}

void zr_effect_bg_release()
{
    guarded("release", 0, [] { library().release(); return 0; });
}

} // namespace ZRPortraitCOM
