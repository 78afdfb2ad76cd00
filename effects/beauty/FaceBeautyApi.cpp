// The C interface: a registry of open instances behind int handles. No exception leaves a
// call: a failure inside becomes a logged line and a negative result.
#include "ZR_FaceBeautyLib.h"

#include "BeautyItems.h"
#include "BeautyLog.h"
#include "FaceBeauty.h"

#include <exception>
#include <map>
#include <memory>
#include <mutex>

using beauty::BeautyLog;
using beauty::FaceBeauty;

namespace {
std::mutex g_registryMutex;
std::map<int, std::shared_ptr<FaceBeauty>> g_instances;
int g_nextHandle = 0;

// The instance stays alive for the caller even if another thread closes its handle meanwhile.
std::shared_ptr<FaceBeauty> instance(int handle)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    const auto it = g_instances.find(handle);
    return it == g_instances.end() ? nullptr : it->second;
}

template <typename Call>
int guarded(const char* name, int failure, Call call)
{
    try {
        return call();
    } catch (const std::exception& e) {
        BeautyLog::write(BeautyLog::Error, std::string(name) + " failed: " + e.what());
    } catch (...) {
        BeautyLog::write(BeautyLog::Error, std::string(name) + " failed");
    }
    return failure;
}
} // namespace

extern "C" {

int zr_fb_native_init(const char* modelsDir, int)
{
    return guarded("init", -1, [&] {
        auto created = std::make_shared<FaceBeauty>(modelsDir ? modelsDir : "");
        std::lock_guard<std::mutex> lock(g_registryMutex);
        const int handle = g_nextHandle++;
        g_instances[handle] = std::move(created);
        return handle;
    });
}

bool zr_fb_native_isInited(int handle) { return instance(handle) != nullptr; }

void zr_fb_native_log(zr_fb_log_callback callback, int level) { BeautyLog::setCallback(callback, level); }

void zr_fb_native_setBeautyLevel(int handle, int item, float level)
{
    if (auto fb = instance(handle))
        fb->levels().set(item, level);
}

void zr_fb_native_setAILight(int handle, float level)
{
    if (auto fb = instance(handle))
        fb->levels().setLight(level);
}

int zr_fb_native_process(int handle, BeautyFrame* frame)
{
    auto fb = instance(handle);
    if (!fb || !frame)
        return -1;
    return guarded("process", -1, [&] { return fb->process(*frame); });
}

int zr_fb_native_process2(int handle, BeautyFrame* frame, void*)
{
    auto fb = instance(handle);
    if (!fb || !frame)
        return -1;
    return guarded("process2", -1, [&] { return fb->process2(*frame); });
}

void zr_fb_native_setBgBuffer(int handle, const unsigned char* bgr, int width, int height)
{
    if (auto fb = instance(handle))
        guarded("setBgBuffer", -1, [&] {
            fb->background().set(bgr, width, height);
            return 0;
        });
}

void zr_fb_native_resetCache(int handle)
{
    if (auto fb = instance(handle))
        fb->resetCache();
}

void zr_fb_native_uninit(int handle)
{
    std::shared_ptr<FaceBeauty> closing;
    {
        std::lock_guard<std::mutex> lock(g_registryMutex);
        const auto it = g_instances.find(handle);
        if (it == g_instances.end())
            return;
        closing = std::move(it->second);
        g_instances.erase(it);
    }
    // Freed here, outside the registry lock, unless a call in progress still holds it.
}

bool zr_fb_native_isMutualBeautyType(int item) { return beauty::isCentred(item); }

}
