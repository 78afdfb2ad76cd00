#pragma once
// Face-beauty library: face analysis, the beauty items, the fill light and the
// composition of the person over a background into NV12. Plain C calls on an int
// handle; no Qt, no exceptions across the boundary.
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(ZR_FACEBEAUTY_BUILD)
#    define ZR_FB_API __declspec(dllexport)
#  else
#    define ZR_FB_API __declspec(dllimport)
#  endif
#else
#  define ZR_FB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The per-frame record of zr_fb_native_process and zr_fb_native_process2. Its layout is
// fixed (64 bytes, little-endian, native alignment): callers and the library agree on it
// byte for byte.
typedef struct BeautyFrame {
    int32_t width;           //  0
    int32_t height;          //  4
    int32_t dataSize;        //  8  width * height * 3
    int32_t pixelFormat;     // 12  7: packed 8-bit BGR
    uint8_t* data;           // 16  process: the BGR frame; process2: the NV12 output or null
    int32_t result;          // 24
    uint8_t mattingOn;       // 28
    uint8_t outputSkipped;   // 29
    uint8_t reserved30[2];   // 30
    int32_t reserved32;      // 32
    uint8_t reserved36[4];   // 36
    uint8_t* mask;           // 40  8-bit person mask, width * height, or null
    int32_t backgroundMode;  // 48  -1 none, 0 matted replacement, 1 green, 2 blue, 3 blurred own background
    int32_t backgroundLevel; // 52
    int32_t backgroundParam; // 56
    uint8_t reserved60;      // 60
    uint8_t reserved61[3];   // 61
} BeautyFrame;

#ifdef __cplusplus
static_assert(sizeof(BeautyFrame) == 64, "BeautyFrame is 64 bytes");
static_assert(offsetof(BeautyFrame, data) == 16, "BeautyFrame.data at 16");
static_assert(offsetof(BeautyFrame, result) == 24, "BeautyFrame.result at 24");
static_assert(offsetof(BeautyFrame, mattingOn) == 28, "BeautyFrame.mattingOn at 28");
static_assert(offsetof(BeautyFrame, outputSkipped) == 29, "BeautyFrame.outputSkipped at 29");
static_assert(offsetof(BeautyFrame, reserved32) == 32, "BeautyFrame reserved int at 32");
static_assert(offsetof(BeautyFrame, mask) == 40, "BeautyFrame.mask at 40");
static_assert(offsetof(BeautyFrame, backgroundMode) == 48, "BeautyFrame.backgroundMode at 48");
static_assert(offsetof(BeautyFrame, backgroundLevel) == 52, "BeautyFrame.backgroundLevel at 52");
static_assert(offsetof(BeautyFrame, backgroundParam) == 56, "BeautyFrame.backgroundParam at 56");
static_assert(offsetof(BeautyFrame, reserved60) == 60, "BeautyFrame reserved byte at 60");
#endif

typedef void (*zr_fb_log_callback)(const char* text);

// Opens the library with the model files of modelsDir. Returns a handle >= 0, or a negative
// value when the library cannot work (a model missing or unreadable).
ZR_FB_API int zr_fb_native_init(const char* modelsDir, int options);
ZR_FB_API bool zr_fb_native_isInited(int handle);
ZR_FB_API void zr_fb_native_log(zr_fb_log_callback callback, int level);
// item 0..21 in the engine's item order; level 0..1.
ZR_FB_API void zr_fb_native_setBeautyLevel(int handle, int item, float level);
ZR_FB_API void zr_fb_native_setAILight(int handle, float level);
// Analyses the BGR frame in frame->data and applies the beauty items to it in place.
ZR_FB_API int zr_fb_native_process(int handle, BeautyFrame* frame);
// Writes the NV12 result (width * height * 3 / 2 bytes) into frame->data when it is not null,
// composing the background by frame->backgroundMode. effectLock is the address of the
// caller's effect lock.
ZR_FB_API int zr_fb_native_process2(int handle, BeautyFrame* frame, void* effectLock);
// Background image for the replacement mode: packed 8-bit BGR, width * height * 3 bytes,
// copied by the call.
ZR_FB_API void zr_fb_native_setBgBuffer(int handle, const unsigned char* bgr, int width, int height);
ZR_FB_API void zr_fb_native_resetCache(int handle);
ZR_FB_API void zr_fb_native_uninit(int handle);
// True for the items whose neutral level is 0.5 (they move both ways).
ZR_FB_API bool zr_fb_native_isMutualBeautyType(int item);

#ifdef __cplusplus
}
#endif
