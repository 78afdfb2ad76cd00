#pragma once
// Temporal filter of one face's landmarks: a One-Euro filter whose cut-off follows the speed
// of the whole face (its translation and its change of size) and, per point, only the part of
// the point's own motion that stands well above the face's typical point noise. A raw
// per-point speed would be mostly sensor noise on a still face and open the filter; the face's
// common motion averages that noise out over 468 points, and the noise floor is measured on
// the many points that are still. So a still face is held firmly, a moving face is followed
// with little lag, and so is a mouth that opens in a still face.
#include <opencv2/core.hpp>

#include <vector>

namespace face {

class LandmarkFilter {
public:
    // minCutoffHz: cut-off of a still face; beta: added cut-off per face size per second of the
    // face's common motion; frameRate: the rate at which filter() is called.
    explicit LandmarkFilter(float minCutoffHz = 0.4f, float beta = 15.f, float frameRate = 30.f);
    void reset();
    const std::vector<cv::Point2f>& filter(const std::vector<cv::Point2f>& raw);

private:
    float minCutoff_, beta_, rate_;
    std::vector<cv::Point2f> state_, previous_;
    std::vector<float> pointSpeeds_;  // each point's own motion, px per frame, smoothed
    float speed_ = 0.f;
};

} // namespace face
