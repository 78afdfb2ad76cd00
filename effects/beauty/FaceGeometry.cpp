#include "FaceGeometry.h"

#include "face/FaceMeshIndices.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace beauty {

using namespace face::mesh;

namespace {
cv::Point2f unit(cv::Point2f v)
{
    const float n = float(cv::norm(v));
    return n > 0.f ? v / n : cv::Point2f(1.f, 0.f);
}
} // namespace

FaceGeometry::FaceGeometry(const std::vector<cv::Point2f>& points) : points_(points)
{
    rightEye_ = centre(kRightEye);
    leftEye_ = centre(kLeftEye);
    mouth_ = centre(kLipsOuter);
    across_ = unit(leftEye_ - rightEye_);
    down_ = cv::Point2f(-across_.y, across_.x);
    width_ = float(cv::norm(at(kLeftCheekbone) - at(kRightCheekbone)));
    height_ = float(cv::norm(at(kChin) - at(kForehead)));
    eyeWidth_ = 0.5f * float(cv::norm(at(kRightEyeOuter) - at(kRightEyeInner))
                             + cv::norm(at(kLeftEyeOuter) - at(kLeftEyeInner)));
    mouthWidth_ = float(cv::norm(at(kMouthLeft) - at(kMouthRight)));
    std::vector<cv::Point2f> hull;
    cv::convexHull(points_, hull);
    for (const auto& p : hull)
        hull_.emplace_back(cvRound(p.x), cvRound(p.y));
}

cv::Point2f FaceGeometry::onMidline(cv::Point2f p) const
{
    const cv::Point2f a = at(kNoseBridgeTop);
    const cv::Point2f u = unit(at(kChin) - a);
    return a + u * (p - a).dot(u);
}

std::vector<cv::Point> FaceGeometry::contour() const
{
    const cv::Point2f middle = centre(kFaceOval);
    std::vector<cv::Point> out;
    for (int i : kFaceOval) {
        const cv::Point2f p = at(i) + unit(at(i) - middle) * (kContourGrow * width_);
        out.emplace_back(cvRound(p.x), cvRound(p.y));
    }
    return out;
}

cv::Rect FaceGeometry::area(float margin) const
{
    const cv::Rect box = cv::boundingRect(hull_);
    const int m = int(std::ceil(margin));
    return cv::Rect(box.x - m, box.y - m, box.width + 2 * m, box.height + 2 * m);
}

} // namespace beauty
