#pragma once
// Local warps summed into one displacement field over a region of the picture and applied
// with one remap. Each warp is anchored at a point and fades smoothly to nothing at its
// radius; the field is then confined to the faces' hulls, fading to nothing over a margin
// beyond them, so everything outside hull and margin keeps its exact pixels.
//
// The faces' outlines split the result in two: what the field brings from inside an outline
// is face, everything else is background, and the background never moves. Where a face has
// been drawn in, the strip it leaves is filled with the background beside it, mirrored across
// the outline, so the background stays continuous at the old outline and the new face edge is
// the only edge there.
#include <opencv2/core.hpp>

#include <vector>

namespace beauty {

class WarpField {
public:
    // Starts an empty field over the given area (clipped to the picture).
    void reset(const cv::Rect& area, cv::Size picture);
    // Moves the content around centre by shift (pixels), fading out at radius.
    void addShift(cv::Point2f centre, float radius, cv::Point2f shift);
    // Magnifies (amount > 0) or shrinks (amount < 0) the content around centre; amount 0.3
    // makes the middle about 30 % larger.
    void addScale(cv::Point2f centre, float radius, float amount);
    // Multiplies the field by a weight that is 1 inside the union of the hulls and falls to 0
    // at margin pixels outside them.
    void confine(const std::vector<std::vector<cv::Point>>& hulls, float margin);
    // Shortens every displacement longer than maxShift to that length: many items at full
    // strength add up, and beyond a point the sum would fold the picture over itself.
    void limit(float maxShift);
    // Works out all the resampling needs that the picture's pixels do not decide (where every
    // pixel reads, the mirrored background, the faces' coverage), from the field and the
    // faces' contours alone; so it may run while another thread still works on the picture.
    void plan(const std::vector<std::vector<cv::Point>>& outlines, cv::Size picture);
    // Resamples the picture, of the planned size, in place through the planned field.
    void apply(cv::Mat& bgr);

private:
    template <typename Displacement>
    void accumulate(cv::Point2f centre, float radius, Displacement displacement);
    // Fills mirrorX_, mirrorY_ (area size) from solid_ (the faces' pixels of the area).
    void findMirror(double sigma);

    cv::Rect area_;
    cv::Mat dx_, dy_;  // CV_32F, the source offset of every pixel of the area
    bool touched_ = false;
    bool planned_ = false;
    cv::Rect sourceArea_;
    // Per-frame buffers, kept so that a frame allocates nothing.
    cv::Mat source_, inside_, solid_, halfSolid_, halfMirrorX_, halfMirrorY_, distance_, labels_, mirrorX_, mirrorY_, faceShare_, faceMapX_, faceMapY_, backMapX_,
        backMapY_, face_, back_, alpha_;
    std::vector<cv::Point> labelled_;
};

} // namespace beauty
