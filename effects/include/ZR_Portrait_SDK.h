#pragma once
// Portrait-matting library: the person mask of a frame, and the background pictures and
// videos that replace the rest. Process-wide state, no handle; no Qt, no exceptions across
// the boundary.

#if defined(_WIN32)
#  if defined(ZR_PORTRAIT_BUILD)
#    define ZR_PORTRAIT_API __declspec(dllexport)
#  else
#    define ZR_PORTRAIT_API __declspec(dllimport)
#  endif
#else
#  define ZR_PORTRAIT_API __attribute__((visibility("default")))
#endif

namespace ZRPortraitCOM {

// Part of a frame to look at; a null rectangle means the whole frame.
struct zreffectrect {
    int x;
    int y;
    int width;
    int height;
};

enum video_state { VIDEO_PAUSE = 0, VIDEO_PLAY = 1 };

typedef void (*zr_effect_log_callback)(const char* text, int level);
// A new background image: packed 8-bit BGR, rows of width * 3 bytes with no padding,
// height rows. The buffer is valid only during the call.
typedef void (*zr_effect_bg_image_callback)(const unsigned char* bgr, int width, int height);

ZR_PORTRAIT_API void zr_effect_log(zr_effect_log_callback callback, int level);
ZR_PORTRAIT_API void zr_effect_set_params(int threads, bool gpu, bool reserved1, int previewMode,
                                          bool reserved2, float threshold, bool reserved3);
// Loads the models of modelsDir. Returns 0, or a negative value when a model is missing or
// unreadable (masks are then empty).
ZR_PORTRAIT_API int zr_effect_bg_init(const char* modelsDir, int inputSize, const char* dataDirUtf8);
ZR_PORTRAIT_API void zr_effect_bg_callback(zr_effect_bg_image_callback callback);
ZR_PORTRAIT_API int zr_effect_bg_pic(const char* path, int orientation, bool mirror);
// A null path drops the background video.
ZR_PORTRAIT_API int zr_effect_bg_video(const char* path, int orientation, bool mirror);
ZR_PORTRAIT_API void zr_effect_bg_video_state(int state);
// An empty image (null, 0 x 0) leaves the background unchanged.
ZR_PORTRAIT_API int zr_effect_bg_mem(const unsigned char* bgr, int width, int height, int orientation,
                                     bool mirror);
// Writes the 8-bit person mask (width * height bytes) of the packed BGR frame into mask.
ZR_PORTRAIT_API int zr_effect_bg_mask(const unsigned char* bgr, int orientation, int width, int height,
                                      unsigned char* mask, zreffectrect* rect);
ZR_PORTRAIT_API void zr_effect_bg_resetCache();
ZR_PORTRAIT_API void zr_effect_bg_release();

} // namespace ZRPortraitCOM
