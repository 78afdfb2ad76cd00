#pragma once
// Face-beauty library: face analysis, the beauty items, the fill light and the
// composition of the person over a background into NV12. Plain C calls on an int
// handle; no Qt, no exceptions across the boundary (a failure inside a call is logged and
// returned as a negative value).
//
// Face analysis: the short-range face detector finds faces (over the whole frame and over
// tiles of it, so faces down to about a tenth of the frame height are found), the 468-point
// landmark model follows up to three of them from frame to frame, and a One-Euro filter
// driven by each face's overall motion holds a still face steady without dragging a moving
// one. The detector sweeps the whole frame on the first frame after opening or resetCache;
// later it looks at a part of the frame each frame while no face is known, and every fifteenth
// frame while fewer than three are.
//
// Threading:
//  - process, process2 and resetCache of one handle are serialised by the library; the
//    engine calls them from its one working thread.
//  - setBeautyLevel and setAILight may be called from any thread at any time; a frame in
//    progress sees either the old or the new level of an item.
//  - setBgBuffer may be called from any thread at any time, also from within a call made
//    under the caller's effect lock and while process2 runs: see there.
//  - init, uninit, isInited and log may be called from any thread; uninit while another
//    thread is inside a call of the same handle waits for nothing but frees the instance
//    only when that call has returned.
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
    int32_t result;          // 24  what process returned; not read by the library
    uint8_t mattingOn;       // 28  not read by the library
    uint8_t outputSkipped;   // 29  never set by this library (it always writes its output)
    uint8_t reserved30[2];   // 30
    int32_t reserved32;      // 32
    uint8_t reserved36[4];   // 36
    uint8_t* mask;           // 40  8-bit person mask, width * height, or null; read by modes 0 and 3
    int32_t backgroundMode;  // 48  -1 none, 0 matted replacement, 1 green, 2 blue, 3 blurred own background
    int32_t backgroundLevel; // 52  0..100: keying strength in modes 1 and 2 (more keys out more of the
                             //     screen's darker and paler parts); blur strength in mode 3 (30: a
                             //     blur radius of about 2 % of the frame width); unused otherwise
    int32_t backgroundParam; // 56  0..100: edge softness; modes 0 and 3 feather the mask (20: about
                             //     2 px at 1000 px width), modes 1 and 2 widen the alpha ramp
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

// Beauty items (the engine's item order). Levels are 0..1. The six centred items (11, 12, 14,
// 15, 16, 17) are neutral at 0.5: above it they move one way, below it the other. Every other
// item leaves the picture as it is at 0 and is strongest at 1. Shape items act only inside each
// face's outline and a margin of a quarter of the face's width around it.
//   0 SMALL_FACE        cheeks drawn in towards the face's midline (slimmer face)
//   1 BIG_EYE           eyes magnified
//   2 BRIGHT_EYE        irises and eye whites clearer: local contrast and a little light
//   3 BIG_NOSE          nose slimmed: the wings drawn in
//   4 SMOOTH_FACE       edge-preserving smoothing of the skin only, keeping part of its texture
//   5 BRIGHT_WHITE      skin lightened with its hue kept
//   6 EYEDETAIL         dark circles under the eyes lightened
//   7 NOSEDETAIL        nasolabial folds softened
//   8 SHARPEN           whole picture sharpened
//   9 LITTLE_FACE       lower face shrunk towards the nose
//  10 V_FACE            lower jaw drawn in towards the chin (V-shaped outline)
//  11 MOVE_CHIN         centred: above 0.5 a longer chin, below a shorter one
//  12 BIG_MOUTH         centred: above 0.5 a larger mouth, below a smaller one
//  13 SMILE             mouth corners lifted
//  14 MOVE_MOUTH        centred: above 0.5 a longer philtrum (mouth lower), below a shorter one
//  15 EYE_SPAN          centred: above 0.5 eyes further apart, below closer together
//  16 MOVE_EYE          centred: above 0.5 eyes higher, below lower
//  17 MOVE_NOSE         centred: above 0.5 a longer nose (tip lower), below a shorter one
//  18 SMALL_CHIN        chin sides drawn in, tip slightly longer (pointed chin)
//  19 SMALL_CHEEKBONES  cheekbones drawn in
//  20 SMALL_MANDIBLE    jaw angles drawn in and up
//  21 NARROW_FACE       whole face width drawn in
// With every item at its neutral level and the light at 0, process2 writes exactly the NV12 of
// the frame given to process.

// Opens an instance with the model files of modelsDir (face_detection_short_range.tflite and
// face_landmark.tflite). When they are missing or unreadable the instance still opens, logs
// why, and works without faces: the face items then have no effect, sharpening, the light
// (without its face weighting) and the background modes still work. options: unused (the
// engine passes 4). Returns a handle >= 0, or -1 when no instance could be made at all.
ZR_FB_API int zr_fb_native_init(const char* modelsDir, int options);
// True while the handle is open.
ZR_FB_API bool zr_fb_native_isInited(int handle);
// Log lines of the given level and below go to callback (0 errors, 1 warnings, 2 information,
// 3 details), on the thread that writes them; null silences the library. Process-wide.
ZR_FB_API void zr_fb_native_log(zr_fb_log_callback callback, int level);
// item 0..21 in the engine's item order (others are ignored); level 0..1, clamped; a level
// that is not a number is ignored. Kept for later frames.
ZR_FB_API void zr_fb_native_setBeautyLevel(int handle, int item, float level);
// Fill light 0..1: shadows lifted, most on and around the faces, highlights kept. 0: none.
ZR_FB_API void zr_fb_native_setAILight(int handle, float level);
// Analyses the BGR frame in frame->data (width * height * 3 bytes, pixelFormat 7, even width
// and height) and applies the items to it in place; keeps the result for process2. Returns
// the number of faces followed (0..3), or -1 for a frame it cannot take (left untouched).
ZR_FB_API int zr_fb_native_process(int handle, BeautyFrame* frame);
// Writes the NV12 result (width * height * 3 / 2 bytes: Y plane, then interleaved U and V)
// of the last processed frame into frame->data when it is not null, composing the background
// by frame->backgroundMode:
//  -1  none: the processed frame.
//   0  the person (frame->mask) over the picture of setBgBuffer, scaled to cover the frame
//      (aspect kept, centred, the overflow cut off); mask edges feathered.
//   1  green screen keyed out over that picture, with spill removal; 2 blue screen likewise.
//   3  the person over a blurred copy of the frame in which only background pixels are
//      blurred, so no halo of the person shows in it.
// A mode whose mask or picture is missing writes the processed frame. Returns 0, or -1 when
// the handle is unknown or no frame of this width and height was processed since the last
// resetCache.
// effectLock is the address of the caller's effect lock. The library does not lock it: the
// engine's preview already holds it around this call, and setBgBuffer may be called from
// within a call made under it, so taking it here would deadlock. The background picture is
// instead exchanged under the library's own mutex (see setBgBuffer), which is all that is
// needed to never read a half-written picture.
ZR_FB_API int zr_fb_native_process2(int handle, BeautyFrame* frame, void* effectLock);
// Background picture for modes 0, 1 and 2: packed 8-bit BGR, width * height * 3 bytes,
// copied by the call; null or an empty size clears it. The copy is made into a fresh buffer
// outside any lock and then swapped in under the library's own mutex; process2 takes its
// reference under the same mutex, so it composes with either the old or the new picture,
// whole, whichever thread calls this and whenever.
ZR_FB_API void zr_fb_native_setBgBuffer(int handle, const unsigned char* bgr, int width, int height);
// Forgets all state between frames: the faces followed and the processed frame. Levels and
// the background picture stay.
ZR_FB_API void zr_fb_native_resetCache(int handle);
// Closes the handle; later calls with it do nothing or fail.
ZR_FB_API void zr_fb_native_uninit(int handle);
// True exactly for the six centred items, whose neutral level is 0.5 (they move both ways).
ZR_FB_API bool zr_fb_native_isMutualBeautyType(int item);

#ifdef __cplusplus
}
#endif
