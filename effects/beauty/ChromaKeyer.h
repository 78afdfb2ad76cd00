#pragma once
// Green and blue screen keying. A pixel's key is how far its screen channel stands above the
// larger of the other two. The screen's own key is measured on every frame, so the alpha ramp
// follows the lighting: a pixel with the screen's key is transparent, one with none opaque.
// Near edges a pixel is a mix of foreground and screen; there its alpha is its share, found
// by unmixing it between the sure foreground and sure screen colours nearby. Spill is removed
// by limiting the screen channel to the larger of the other two.
#include <opencv2/core.hpp>

namespace beauty {

class ChromaKeyer {
public:
    enum Screen { Green = 1, Blue = 2 };
    // strength 0..100: more keys out more of the screen's darker and paler parts.
    // softness 0..100: width of the ramp between opaque and transparent.
    ChromaKeyer(Screen screen, int strength, int softness);

    // Foreground alpha 0..1 (CV_32F) of a BGR picture.
    cv::Mat alpha(const cv::Mat& bgr);
    // The keyed picture over background: the picture with its spill removed, weighted by
    // alpha, the background by 1 - alpha.
    void composite(const cv::Mat& bgr, const cv::Mat& alpha, const cv::Mat& background, cv::Mat& out) const;

private:
    float keyOf(const cv::Vec3b& p) const;
    void measureScreen(const cv::Mat& bgr);
    void refineEdges(const cv::Mat& bgr, cv::Mat& alpha) const;

    int channel_;
    float strength_, softness_;
    float screenKey_ = 120.f;
};

} // namespace beauty
