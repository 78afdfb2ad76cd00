#pragma once
// Composes the beautified picture with its background and writes it as NV12.
//
// Modes (the frame record's backgroundMode):
//  -1  none: the picture itself.
//   0  the person (mask) over the background picture, scaled to cover the frame.
//   1  green screen keyed out over the background picture; 2 blue screen likewise.
//   3  the person over a blurred copy of the frame in which only background pixels are
//      blurred, so the person leaves no halo in it.
// level (backgroundLevel): in modes 1 and 2 the keying strength 0..100; in mode 3 the blur
// strength 0..100 (30: a blur radius of about 2 % of the frame width).
// param (backgroundParam): edge softness 0..100 in every mode; in modes 0 and 3 the mask's
// feather (20: about 2 px at 1000 px width), in modes 1 and 2 the width of the alpha ramp.
// Whatever a mode needs and does not have (no mask, no background picture) leaves the
// picture as it is.
#include "BackgroundBuffer.h"

#include <opencv2/core.hpp>

#include <cstdint>

namespace beauty {

class Compositor {
public:
    enum Mode { None = -1, Picture = 0, GreenScreen = 1, BlueScreen = 2, BlurredBackground = 3 };

    BackgroundBuffer& background() { return background_; }
    // Writes width * height * 3 / 2 bytes of NV12 into nv12. mask: width * height bytes or null.
    void compose(const cv::Mat& bgr, int mode, int level, int param, const uint8_t* mask, uint8_t* nv12);

private:
    void toNv12(const cv::Mat& bgr, uint8_t* nv12);
    // The mask with its edges feathered (8-bit alpha).
    const cv::Mat& featheredMask(const cv::Mat& mask, int param);
    const cv::Mat& composed(const cv::Mat& bgr, int mode, int level, int param, const uint8_t* mask);
    // Blurs the background into blurredRows_: rows as wide as the picture (at least), between
    // two of which each row of the blurred picture lies (effects::enlargedRow). Returns the
    // factor it was worked reduced by.
    int blurBackground(const cv::Mat& bgr, const cv::Mat& alpha, int level);
    static void blend(const cv::Mat& fg, const cv::Mat& bg, const cv::Mat& alpha, cv::Mat& out);
    // blend over the background blurBackground left, each of its rows made when it is blended.
    void blendOverBlur(const cv::Mat& fg, const cv::Mat& alpha, int factor, cv::Mat& out) const;

    BackgroundBuffer background_;
    cv::Mat composed_;
    // Per-frame buffers, kept so that a frame allocates nothing.
    cv::Mat chroma_, halfFeathered_, feathered_, smallPicture_, smallWeight_, weighted_, blurredWeighted_, extended_,
        blurredRows_;
};

} // namespace beauty
