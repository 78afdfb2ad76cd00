#pragma once
// Helpers shared by the face-beauty tests: frames for the C interface, NV12 conversion,
// the test pictures.
#include "ZR_FaceBeautyLib.h"

#include <opencv2/core.hpp>

#include <string>

namespace beautytest {

// A frame record for process, as the engine fills it.
BeautyFrame frameFor(cv::Mat& bgr);
// Runs process then process2 on a copy of bgr; returns the NV12 result (empty on failure).
cv::Mat render(int handle, const cv::Mat& bgr, int mode = -1, const cv::Mat& mask = cv::Mat(), int level = 30,
               int param = 20);
cv::Mat toNv12(const cv::Mat& bgr);
cv::Mat fromNv12(const cv::Mat& nv12);
// Largest difference of two images of the same size and type.
double maxDifference(const cv::Mat& a, const cv::Mat& b);
// Sets every item to its neutral level and the light to 0.
void setNeutral(int handle);
std::string modelsDir();
// A picture from the shared test-data folder; empty when it is not there.
cv::Mat testPicture(const std::string& name);

} // namespace beautytest
