#pragma once
// Measures of one face taken from its 468 landmarks: the axes, sizes and centres the beauty
// items are scaled and anchored by, so every item acts alike on small and large faces.
#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace beauty {

class FaceGeometry {
public:
    explicit FaceGeometry(const std::vector<cv::Point2f>& points);

    const cv::Point2f& at(int index) const { return points_[index]; }
    template <size_t N>
    std::vector<cv::Point> polygon(const std::array<int, N>& indices) const
    {
        std::vector<cv::Point> out;
        for (int i : indices)
            out.emplace_back(cv::Point(cvRound(points_[i].x), cvRound(points_[i].y)));
        return out;
    }
    template <size_t N>
    cv::Point2f centre(const std::array<int, N>& indices) const
    {
        cv::Point2f sum;
        for (int i : indices)
            sum += points_[i];
        return sum / float(N);
    }

    cv::Point2f across() const { return across_; }  // unit vector, image-left eye to image-right eye
    cv::Point2f down() const { return down_; }      // unit vector, forehead to chin
    float width() const { return width_; }          // cheekbone to cheekbone
    float height() const { return height_; }        // forehead top to chin
    float eyeWidth() const { return eyeWidth_; }
    float mouthWidth() const { return mouthWidth_; }
    cv::Point2f rightEye() const { return rightEye_; }  // image-left
    cv::Point2f leftEye() const { return leftEye_; }    // image-right
    cv::Point2f mouth() const { return mouth_; }
    // The foot of the perpendicular from p on the face's midline (nose bridge to chin).
    cv::Point2f onMidline(cv::Point2f p) const;
    // The convex hull of all its points.
    const std::vector<cv::Point>& hull() const { return hull_; }
    // The face's visible contour: the mesh's oval lies a little inside the edge of the jaw
    // and chin, so it is pushed out by kContourGrow face widths.
    std::vector<cv::Point> contour() const;
    static constexpr float kContourGrow = 0.05f;
    // The hull's bounding box grown by margin pixels.
    cv::Rect area(float margin) const;
    // How far beyond the hull a warp may still move pixels.
    float margin() const { return 0.25f * width_; }

private:
    std::vector<cv::Point2f> points_;
    cv::Point2f across_, down_, rightEye_, leftEye_, mouth_;
    float width_, height_, eyeWidth_, mouthWidth_;
    std::vector<cv::Point> hull_;
};

} // namespace beauty
