#pragma once
// Temporal filter of one face's landmarks: a One-Euro filter whose cut-off follows the speed
// of the whole face (its translation and its change of size) rather than each point's own
// speed. The per-point speed of a still face is mostly sensor noise, which would open the
// filter; the face's common motion averages that noise out over 468 points, so a still face
// is held firmly while a moving one is followed with little lag.
#include <opencv2/core.hpp>

#include <vector>

namespace face {

class LandmarkFilter {
public:
    // minCutoffHz: cut-off of a still face; beta: added cut-off per face size per second of
    // motion; frameRate: the rate at which filter() is called.
    explicit LandmarkFilter(float minCutoffHz = 0.4f, float beta = 40.f, float frameRate = 30.f);
    void reset();
    const std::vector<cv::Point2f>& filter(const std::vector<cv::Point2f>& raw);

private:
    float minCutoff_, beta_, rate_;
    std::vector<cv::Point2f> state_, previous_;
    float speed_ = 0.f;
};

} // namespace face
