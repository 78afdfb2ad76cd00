#pragma once
// The state behind the portrait library's C interface: the segmentation models and the
// per-frame mask pipeline, and the current background with its callback.
//
// Threading: mask calls are serialised by one lock, background calls by another, so a mask
// never waits for a background video to open. Background images reach the callback from the
// calling thread (picture, memory frame) or from the video's thread, one at a time.

#include "common/EffectLog.h"
#include "common/SideThread.h"
#include "portrait/BackgroundVideoPlayer.h"
#include "portrait/HeadCloseUp.h"
#include "portrait/HeadFinder.h"
#include "portrait/MaskRefiner.h"
#include "portrait/PersonSegmenter.h"
#include "portrait/Shrinker.h"
#include "portrait/TemporalSmoother.h"

#include <memory>
#include <mutex>
#include <string>

namespace portrait {

class PortraitLibrary {
public:
    using ImageCallback = void (*)(const unsigned char* bgr, int width, int height);

    static PortraitLibrary& instance();

    effects::EffectLog& log() { return log_; }

    void setMode(bool preview, float threshold);
    int init(const std::string& modelsDir);
    int mask(const cv::Mat& frame, int orientation, cv::Rect area, unsigned char* out);
    void resetCache();

    void setCallback(ImageCallback callback);
    int setPicture(const std::string& path, int orientation, bool mirror);
    int setVideo(const char* path, int orientation, bool mirror);
    void setVideoPlaying(bool playing);
    int setFrame(const cv::Mat& bgr, int orientation, bool mirror);
    void release();

private:
    PortraitLibrary() = default;
    void computeMask(const cv::Mat& upright, cv::Mat& mask);
    void findHead(const cv::Mat& picture);
    // Looks for the face in picture on the library's thread, for the next frame's close look.
    void startHeadSearch(const cv::Mat& picture);
    // Every use of the head's state waits for that search first.
    void waitForHeadSearch();
    // What the last frames taught (the smoothing, the head and its close look) no longer holds.
    void forgetSequence();
    void deliver(const cv::Mat& bgr);

    effects::EffectLog log_{"portrait: "};

    std::mutex maskMutex_;
    std::unique_ptr<PersonSegmenter> general_;
    std::unique_ptr<PersonSegmenter> landscape_;
    std::unique_ptr<PersonSegmenter> closeUpModel_;  // its own copy: the frame model's state stays
    PersonSegmenter* lastModel_ = nullptr;
    HeadFinder head_;
    HeadCloseUp closeUp_;
    cv::Rect2f face_;      // found in the last frame searched, empty when none
    cv::Size faceFoundIn_; // the size of that frame's picture; empty before the first search
    TemporalSmoother smoother_;
    MaskRefiner refiner_;
    Shrinker shrinker_;
    bool preview_ = true;
    float threshold_ = 0.07f;
    bool warnedUninitialised_ = false;
    cv::Mat upright_, uprightMask_, orientedMask_, workFrame_, workMask_, probability_, searched_;
    // Declared after everything its tasks use, so it is gone, and they have ended, first.
    effects::SideThread side_;

    std::mutex backgroundMutex_;
    std::unique_ptr<BackgroundVideoPlayer> player_;

    std::mutex callbackMutex_;
    ImageCallback callback_ = nullptr;
    cv::Mat delivered_;
};

} // namespace portrait
