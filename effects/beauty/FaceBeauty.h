#pragma once
// One open instance of the face-beauty library: the levels, the face tracker, the beautified
// frame between process and process2, and the background.
//
// Threading: process, process2 and resetCache are serialised by an internal mutex (the engine
// calls them from one thread); levels may be set from any thread at any time; the background
// may be replaced from any thread at any time (see BackgroundBuffer).
#include "BeautyItems.h"
#include "Compositor.h"
#include "FaceGeometry.h"
#include "PictureFilters.h"
#include "WarpField.h"
#include "ZR_FaceBeautyLib.h"
#include "common/SideThread.h"
#include "face/FaceTracker.h"

#include <opencv2/core.hpp>

#include <mutex>
#include <string>
#include <vector>

namespace beauty {

class FaceBeauty {
public:
    // Without the face models the instance still works: the face items then have no effect.
    explicit FaceBeauty(const std::string& modelsDir);

    BeautyLevels& levels() { return levels_; }
    BackgroundBuffer& background() { return compositor_.background(); }

    // Returns the number of faces seen, or -1 for a frame it cannot take (left untouched).
    int process(BeautyFrame& frame);
    // Returns 0, or -1 when no frame of this size was processed before or data is unusable.
    int process2(BeautyFrame& frame);
    void resetCache();

private:
    void beautify(cv::Mat& bgr);
    void retouchSkin(cv::Mat& bgr, const std::vector<FaceGeometry>& faces);
    void planWarp(const std::vector<FaceGeometry>& faces, cv::Size picture);
    bool usesFaces() const;

    std::mutex work_;
    BeautyLevels levels_;
    face::FaceTracker tracker_;
    Compositor compositor_;
    WarpField warp_;
    PictureFilters filters_;
    effects::SideThread side_;
    cv::Mat result_;  // the beautified frame of the last process call
};

} // namespace beauty
