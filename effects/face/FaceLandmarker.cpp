#include "FaceLandmarker.h"

#include "FaceMeshIndices.h"
#include "nn/TfliteModel.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace face {

namespace {
constexpr int kInput = 192;
constexpr float kRegionScale = 1.5f;

float tilt(cv::Point2f from, cv::Point2f to)
{
    float angle = -std::atan2(-(to.y - from.y), to.x - from.x);
    while (angle >= float(CV_PI))
        angle -= float(2 * CV_PI);
    while (angle < -float(CV_PI))
        angle += float(2 * CV_PI);
    return angle;
}

// Picture position of a point given in the region's own unit square (0..1 on both axes).
cv::Point2f toPicture(const FaceRegion& r, float u, float v)
{
    const float c = std::cos(r.angle), s = std::sin(r.angle);
    const float x = (u - 0.5f) * r.side, y = (v - 0.5f) * r.side;
    return {r.centre.x + c * x - s * y, r.centre.y + s * x + c * y};
}
} // namespace

FaceLandmarker::FaceLandmarker() = default;
FaceLandmarker::~FaceLandmarker() = default;

bool FaceLandmarker::load(const std::string& path, std::string& error)
{
    auto model = nn::TfliteModel::load(path, error);
    if (!model)
        return false;
    const int points = model->outputIndex("conv2d_21"), presence = model->outputIndex("conv2d_31");
    if (points < 0 || presence < 0 || model->inputShape(0) != std::vector<int>{1, kInput, kInput, 3}) {
        error = path + ": not the 468-point face landmark model";
        return false;
    }
    model_ = std::move(model);
    pointsOutput_ = points;
    presenceOutput_ = presence;
    return true;
}

FaceRegion FaceLandmarker::regionFromDetection(const Detection& d)
{
    FaceRegion r;
    r.centre = (d.box.tl() + d.box.br()) * 0.5f;
    r.side = kRegionScale * std::max(d.box.width, d.box.height);
    r.angle = tilt(d.keypoints[0], d.keypoints[1]);
    return r;
}

cv::Rect2f FaceLandmarker::bounds(const std::vector<cv::Point2f>& points)
{
    if (points.empty())
        return {};
    cv::Point2f low = points.front(), high = points.front();
    for (const auto& p : points) {
        low = cv::Point2f(std::min(low.x, p.x), std::min(low.y, p.y));
        high = cv::Point2f(std::max(high.x, p.x), std::max(high.y, p.y));
    }
    return cv::Rect2f(low, high);
}

FaceRegion FaceLandmarker::regionFromPoints(const std::vector<cv::Point2f>& points)
{
    const cv::Rect2f box = bounds(points);
    FaceRegion r;
    r.centre = (box.tl() + box.br()) * 0.5f;
    r.side = kRegionScale * std::max(box.width, box.height);
    r.angle = tilt(points[mesh::kRightEyeOuter], points[mesh::kLeftEyeOuter]);
    return r;
}

float FaceLandmarker::run(const cv::Mat& bgr, const FaceRegion& region, std::vector<cv::Point2f>& points)
{
    if (!model_ || bgr.empty() || region.side < 8.f)
        return 0.f;
    cv::Point2f from[3] = {toPicture(region, 0, 0), toPicture(region, 1, 0), toPicture(region, 0, 1)};
    const cv::Point2f to[3] = {{0, 0}, {float(kInput), 0}, {0, float(kInput)}};
    // A large face is area-averaged down first: sampling it straight into the small input
    // would alias the sensor noise into landmark jitter.
    cv::Mat source = bgr;
    const float shrink = kInput / region.side;
    if (shrink < 0.67f) {
        const cv::Point2f far = toPicture(region, 1, 1);
        const cv::Rect2f corners = bounds(std::vector<cv::Point2f>{from[0], from[1], from[2], far});
        const cv::Rect area = cv::Rect(corners) & cv::Rect(0, 0, bgr.cols, bgr.rows);
        if (area.area() > 0) {
            const cv::Size size(std::max(1, int(std::lround(area.width * shrink))),
                                std::max(1, int(std::lround(area.height * shrink))));
            cv::resize(bgr(area), source, size, 0, 0, cv::INTER_AREA);
            const float sx = float(size.width) / area.width, sy = float(size.height) / area.height;
            for (auto& p : from)
                p = cv::Point2f((p.x - area.x) * sx, (p.y - area.y) * sy);
        }
    }
    cv::Mat crop;
    cv::warpAffine(source, crop, cv::getAffineTransform(from, to), cv::Size(kInput, kInput), cv::INTER_LINEAR,
                   cv::BORDER_REPLICATE);
    float* in = model_->input(0);
    for (int y = 0; y < kInput; ++y) {
        const cv::Vec3b* row = crop.ptr<cv::Vec3b>(y);
        for (int x = 0; x < kInput; ++x, in += 3) {
            in[0] = row[x][2] / 255.f;
            in[1] = row[x][1] / 255.f;
            in[2] = row[x][0] / 255.f;
        }
    }
    model_->run();
    const float* out = model_->output(pointsOutput_);
    points.resize(mesh::kPointCount);
    for (int i = 0; i < mesh::kPointCount; ++i)
        points[i] = toPicture(region, out[3 * i] / kInput, out[3 * i + 1] / kInput);
    return 1.f / (1.f + std::exp(-model_->output(presenceOutput_)[0]));
}

} // namespace face
