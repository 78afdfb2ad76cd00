#pragma once
// Portrait-matting library: the person mask of a frame, and the background pictures and
// videos that replace the rest. Process-wide state, no handle; no Qt, no exceptions across
// the boundary.
//
// Threading: every call may come from any thread. Mask calls are serialised among
// themselves, background calls among themselves, so a mask never waits for a video to open.
// Log lines and background images may arrive on the library's own threads. A callback must
// not wait for a thread that is inside a background call or zr_effect_bg_release (those wait
// for a running callback to finish).
//
// Orientation arguments: quarter turns clockwise that make the picture upright (0..3, taken
// modulo 4); the program always passes 0. Mirror: flip the upright picture left to right.

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

// One log line (without newline) and its level: 0 error, 1 warning, 2 information, 3 detail.
typedef void (*zr_effect_log_callback)(const char* text, int level);
// A new background image: packed 8-bit BGR, rows of width * 3 bytes with no padding,
// height rows. The buffer is valid only during the call.
typedef void (*zr_effect_bg_image_callback)(const unsigned char* bgr, int width, int height);

// Lines up to `level` go to callback from now on; a null callback silences the library.
ZR_PORTRAIT_API void zr_effect_log(zr_effect_log_callback callback, int level);
// threads: not used; the library works on OpenCV's thread pool, sized by the host.
// gpu, reserved1..3: not used (CPU only).
// previewMode: 1 preview, favouring speed: the edge refinement and the temporal smoothing
//   work at about 480 pixels on the long side and the result is scaled up; 0 export: both
//   work at the frame's full size for finer hair and shoulders, at several times the cost.
//   Wide frames (at least 1.4 : 1) use the landscape model in both modes. A change of mode
//   restarts the temporal smoothing.
// threshold: mask clean-up in [0, 0.5): probabilities below it become 0, above 1 - threshold
//   255, the band in between is stretched linearly. Other values mean 0.07.
ZR_PORTRAIT_API void zr_effect_set_params(int threads, bool gpu, bool reserved1, int previewMode,
                                          bool reserved2, float threshold, bool reserved3);
// Loads selfie_segmentation.tflite and selfie_segmentation_landscape.tflite from modelsDir.
// Returns 0; -1 (and a log line) when the square model is missing or unreadable: masks are
// then empty; -2 (and a log line) when only the landscape model is: wide frames then use the
// square model. inputSize (256) and dataDirUtf8 are not needed: the models have fixed sizes
// and the library keeps no files. May be called again after zr_effect_bg_release.
ZR_PORTRAIT_API int zr_effect_bg_init(const char* modelsDir, int inputSize, const char* dataDirUtf8);
// Every later background image goes to callback; null stops them.
ZR_PORTRAIT_API void zr_effect_bg_callback(zr_effect_bg_image_callback callback);
// The picture (JPEG, PNG or another format libavcodec decodes; a JPEG turned as its EXIF
// orientation says) becomes the background and goes to the callback at once; a playing
// background video stops. Returns 0, or -1 with a log line when the picture
// cannot be read, leaving the previous background in place.
ZR_PORTRAIT_API int zr_effect_bg_pic(const char* path, int orientation, bool mirror);
// Opens the video and hands its first frame to the callback at once, then plays it on a
// thread of its own at the video's frame rate (25 fps when the file gives none), looping,
// each frame to the callback, turned as the file's rotation says (as players show it). Returns 0, or -1 with a log line when the file cannot be opened
// or has no frame, leaving the previous background (a playing video keeps playing). A null
// path drops the background video and returns 0.
ZR_PORTRAIT_API int zr_effect_bg_video(const char* path, int orientation, bool mirror);
// Pauses (VIDEO_PAUSE) or resumes (VIDEO_PLAY) the background video where it stands; a new
// video starts playing. No effect without a video.
ZR_PORTRAIT_API void zr_effect_bg_video_state(int state);
// The packed BGR image becomes the background (a playing video stops) and goes to the
// callback at once. An empty image (null, 0 x 0) leaves the background unchanged and returns
// 0; a null image with a size, or a negative size, returns -1 with a log line.
ZR_PORTRAIT_API int zr_effect_bg_mem(const unsigned char* bgr, int width, int height, int orientation,
                                     bool mirror);
// Writes the 8-bit person mask (width * height bytes, 255 = person, soft at the edges) of the
// packed BGR frame into mask. Consecutive calls form a sequence: the mask is smoothed over
// time where the picture stands still. rect, when not null and not empty, limits the work to
// that part of the frame (clipped to it); the mask is 0 outside. Returns 0; -1 for a null
// frame or mask or a size of 0 (with a valid size the mask is zeroed); -2 when no model is
// loaded (the mask is zeroed).
ZR_PORTRAIT_API int zr_effect_bg_mask(const unsigned char* bgr, int orientation, int width, int height,
                                      unsigned char* mask, zreffectrect* rect);
// Forgets the previous frames: the next mask starts a new sequence (a cut, a new video).
ZR_PORTRAIT_API void zr_effect_bg_resetCache();
// Stops the background video and joins its thread, forgets the callback and the models. No
// callback runs after it returns.
ZR_PORTRAIT_API void zr_effect_bg_release();

} // namespace ZRPortraitCOM
