// Pass-through portrait library: empty masks, backgrounds accepted and ignored.
#include "ZR_Portrait_SDK.h"

#include <cstring>

namespace ZRPortraitCOM {

void zr_effect_log(zr_effect_log_callback, int) {}
void zr_effect_set_params(int, bool, bool, int, bool, float, bool) {}
int zr_effect_bg_init(const char*, int, const char*) { return 0; }
void zr_effect_bg_callback(zr_effect_bg_image_callback) {}
int zr_effect_bg_pic(const char*, int, bool) { return 0; }
int zr_effect_bg_video(const char*, int, bool) { return 0; }
void zr_effect_bg_video_state(int) {}
int zr_effect_bg_mem(const unsigned char*, int, int, int, bool) { return 0; }

int zr_effect_bg_mask(const unsigned char*, int, int width, int height, unsigned char* mask, zreffectrect*)
{
    if (!mask || width <= 0 || height <= 0)
        return -1;
    std::memset(mask, 0, static_cast<size_t>(width) * height);
    return 0;
}

void zr_effect_bg_resetCache() {}
void zr_effect_bg_release() {}

} // namespace ZRPortraitCOM
