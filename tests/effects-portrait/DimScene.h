#pragma once
// A dark-haired person in a dim room, made from messi5.jpg: the picture darkened, its
// background (outside the person's mask on the bright picture) darker still, down to the
// hair's level; and clips of it made with ffmpeg (a still camera with sensor noise, a pan).
// Shared by the portrait tests and bench-portrait.
#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace dimscene {

// The picture (548x342) darkened, and its background (where personMask, CV_8U, is low) too.
cv::Mat dimPortrait(const cv::Mat& picture, const cv::Mat& personMask);

// Hand-marked in the picture's own pixels: the hair, and background beside the hair on both
// sides and above it.
std::vector<cv::Point> hairPolygon();
std::vector<cv::Rect> besideHair();

// Clip geometry: a 448x252 window of the picture, its top at row 10, scaled by 2.
constexpr int kWindowTop = 10, kStillLeft = 32, kPanFrom = 0, kPanTo = 64, kScale = 2;
cv::Size clipSize();
// The hair polygon, or a region given in portrait pixels, as seen in a clip frame whose window
// starts at column left.
std::vector<cv::Point> inClip(const std::vector<cv::Point>& portraitPoints, double left);
cv::Rect inClip(const cv::Rect& portraitRect, double left);

// Frames of a clip made by ffmpeg from the picture through folder (a scratch directory):
// still: the window at kStillLeft with fresh noise in every frame; pan: the window moving from
// kPanFrom to kPanTo at pxPerFrame portrait pixels a frame (then resting). Empty when ffmpeg fails.
std::vector<cv::Mat> stillClip(const cv::Mat& portrait, const std::string& folder, int frames);
std::vector<cv::Mat> panClip(const cv::Mat& portrait, const std::string& folder, int frames, double pxPerFrame);
// Where the pan clip's window starts in frame k.
double panLeft(int k, double pxPerFrame);

} // namespace dimscene
