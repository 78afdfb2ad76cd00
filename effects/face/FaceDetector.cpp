#include "FaceDetector.h"

#include "nn/TfliteModel.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace face {

namespace {
constexpr int kInput = 128;
constexpr float kMinScore = 0.5f;
constexpr float kMergeIou = 0.3f;

std::vector<cv::Point2f> makeAnchors()
{
    // Two anchors per cell on the 16x16 grid, six per cell on the 8x8 grid, all of unit size.
    std::vector<cv::Point2f> anchors;
    anchors.reserve(896);
    const int grids[2] = {16, 8}, perCell[2] = {2, 6};
    for (int g = 0; g < 2; ++g)
        for (int y = 0; y < grids[g]; ++y)
            for (int x = 0; x < grids[g]; ++x)
                for (int a = 0; a < perCell[g]; ++a)
                    anchors.emplace_back((x + 0.5f) / grids[g], (y + 0.5f) / grids[g]);
    return anchors;
}

float iou(const cv::Rect2f& a, const cv::Rect2f& b)
{
    const float inter = (a & b).area();
    const float uni = a.area() + b.area() - inter;
    return uni > 0.f ? inter / uni : 0.f;
}

// Evenly spaced tile origins covering [0, length) with tiles of the given side, half overlapping.
std::vector<int> tileOrigins(int length, int side)
{
    if (side >= length)
        return {(length - side) / 2};
    const int count = static_cast<int>(std::ceil((length - side) / (side / 2.0))) + 1;
    std::vector<int> origins;
    for (int i = 0; i < count; ++i)
        origins.push_back(static_cast<int>(std::lround(double(length - side) * i / (count - 1))));
    return origins;
}
} // namespace

FaceDetector::FaceDetector() : anchors_(makeAnchors()) {}
FaceDetector::~FaceDetector() = default;

bool FaceDetector::load(const std::string& path, std::string& error)
{
    auto model = nn::TfliteModel::load(path, error);
    if (!model)
        return false;
    const int reg = model->outputIndex("regressors"), cls = model->outputIndex("classificators");
    if (reg < 0 || cls < 0 || model->inputShape(0) != std::vector<int>{1, kInput, kInput, 3}
        || model->outputShape(reg) != std::vector<int>{1, 896, 16}) {
        error = path + ": not the short-range face detector";
        return false;
    }
    model_ = std::move(model);
    regressors_ = reg;
    classificators_ = cls;
    return true;
}

std::vector<cv::Rect> FaceDetector::sweepRegions(cv::Size picture)
{
    const int longSide = std::max(picture.width, picture.height);
    const int shortSide = std::min(picture.width, picture.height);
    std::vector<cv::Rect> regions{cv::Rect((picture.width - longSide) / 2, (picture.height - longSide) / 2,
                                           longSide, longSide)};
    for (int side : {shortSide, shortSide / 2}) {
        if (side >= longSide * 9 / 10 || side < 32)
            continue;
        for (int y : tileOrigins(picture.height, side))
            for (int x : tileOrigins(picture.width, side))
                regions.emplace_back(x, y, side, side);
    }
    return regions;
}

void FaceDetector::fillInput(const cv::Mat& bgr, const cv::Rect& square)
{
    // Area averaging first, so a large square is not aliased into the small input; then the
    // square is cut out of the scaled picture, black beyond the picture's border. Only the
    // part of the picture inside the square is scaled.
    const double k = double(kInput) / square.width;
    const cv::Rect part = square & cv::Rect(0, 0, bgr.cols, bgr.rows);
    if (part.width * k < 1.0 || part.height * k < 1.0) {
        crop_.create(kInput, kInput, CV_8UC3);
        crop_.setTo(cv::Scalar::all(0));
    } else {
        cv::resize(bgr(part), scaled_, cv::Size(), k, k, k < 1.0 ? cv::INTER_AREA : cv::INTER_LINEAR);
        const cv::Matx23d shift(1, 0, (part.x - square.x) * k, 0, 1, (part.y - square.y) * k);
        cv::warpAffine(scaled_, crop_, shift, cv::Size(kInput, kInput), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    }
    float* in = model_->input(0);
    for (int y = 0; y < kInput; ++y) {
        const cv::Vec3b* row = crop_.ptr<cv::Vec3b>(y);
        for (int x = 0; x < kInput; ++x, in += 3) {
            in[0] = row[x][2] / 127.5f - 1.f;
            in[1] = row[x][1] / 127.5f - 1.f;
            in[2] = row[x][0] / 127.5f - 1.f;
        }
    }
}

std::vector<Detection> FaceDetector::detectIn(const cv::Mat& bgr, const cv::Rect& square)
{
    std::vector<Detection> found;
    if (!model_ || bgr.empty() || square.width <= 0)
        return found;
    fillInput(bgr, square);
    model_->run();
    const float* reg = model_->output(regressors_);
    const float* cls = model_->output(classificators_);
    const float scale = float(square.width);
    auto toPicture = [&](float u, float v) {
        return cv::Point2f(square.x + u * scale, square.y + v * scale);
    };
    for (size_t i = 0; i < anchors_.size(); ++i) {
        const float score = 1.f / (1.f + std::exp(-std::clamp(cls[i], -100.f, 100.f)));
        const float* r = reg + i * 16;
        if (score < kMinScore || r[2] < 0.f || r[3] < 0.f)
            continue;
        const cv::Point2f a = anchors_[i];
        const float cx = r[0] / kInput + a.x, cy = r[1] / kInput + a.y;
        const float w = r[2] / kInput, h = r[3] / kInput;
        Detection d;
        const cv::Point2f tl = toPicture(cx - w / 2, cy - h / 2), br = toPicture(cx + w / 2, cy + h / 2);
        d.box = cv::Rect2f(tl, br);
        for (int k = 0; k < 6; ++k)
            d.keypoints[k] = toPicture(r[4 + 2 * k] / kInput + a.x, r[5 + 2 * k] / kInput + a.y);
        d.score = score;
        found.push_back(d);
    }
    return found;
}

std::vector<Detection> FaceDetector::mergeOverlapping(std::vector<Detection> detections)
{
    std::sort(detections.begin(), detections.end(),
              [](const Detection& a, const Detection& b) { return a.score > b.score; });
    std::vector<Detection> merged;
    std::vector<bool> used(detections.size(), false);
    for (size_t i = 0; i < detections.size(); ++i) {
        if (used[i])
            continue;
        Detection sum{};
        float weight = 0.f;
        cv::Point2f tl, br;
        for (size_t j = i; j < detections.size(); ++j) {
            if (used[j] || iou(detections[i].box, detections[j].box) <= kMergeIou)
                continue;
            used[j] = true;
            const Detection& d = detections[j];
            tl += d.box.tl() * d.score;
            br += d.box.br() * d.score;
            for (int k = 0; k < 6; ++k)
                sum.keypoints[k] += d.keypoints[k] * d.score;
            weight += d.score;
        }
        sum.box = cv::Rect2f(tl / weight, br / weight);
        for (auto& p : sum.keypoints)
            p /= weight;
        sum.score = detections[i].score;
        merged.push_back(sum);
    }
    return merged;
}

} // namespace face
