#include "BeautyLog.h"

#include <atomic>

namespace beauty {

namespace {
std::atomic<BeautyLog::Callback> g_callback{nullptr};
std::atomic<int> g_level{BeautyLog::Info};
} // namespace

void BeautyLog::setCallback(Callback callback, int level)
{
    g_level = level;
    g_callback = callback;
}

void BeautyLog::write(Level level, const std::string& text)
{
    const Callback callback = g_callback;
    if (callback && level <= g_level)
        callback(text.c_str());
}

} // namespace beauty
