#include "DimScene.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace dimscene {
namespace {

constexpr int kFps = 25;

std::vector<cv::Mat> decode(const std::string& path)
{
    std::vector<cv::Mat> frames;
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    for (cv::Mat frame; capture.read(frame);)
        frames.push_back(frame.clone());
    return frames;
}

std::vector<cv::Mat> makeClip(const cv::Mat& portrait, const std::string& folder, const std::string& name,
                              const std::string& filter, int frames)
{
    const std::string picture = folder + "/" + name + ".png", clip = folder + "/" + name + ".mp4";
    if (!cv::imwrite(picture, portrait))
        return {};
    const std::string command = "ffmpeg -nostdin -loglevel error -y -loop 1 -framerate " + std::to_string(kFps)
                                + " -i '" + picture + "' -frames:v " + std::to_string(frames) + " -vf \"" + filter
                                + "\" -c:v libx264 -preset veryfast -crf 16 -pix_fmt yuv420p '" + clip + "'";
    if (std::system(command.c_str()) != 0)
        return {};
    return decode(clip);
}

std::string window(const std::string& left)
{
    const cv::Size size = clipSize();
    return "crop=" + std::to_string(size.width / kScale) + ":" + std::to_string(size.height / kScale) + ":" + left
           + ":" + std::to_string(kWindowTop) + ",scale=" + std::to_string(size.width) + ":"
           + std::to_string(size.height);
}

} // namespace

cv::Mat dimPortrait(const cv::Mat& picture, const cv::Mat& personMask)
{
    cv::Mat out(picture.size(), CV_8UC3);
    for (int y = 0; y < picture.rows; ++y)
        for (int x = 0; x < picture.cols; ++x) {
            const float person = personMask.at<uchar>(y, x) / 255.f, gain = person + (1.f - person) * 0.12f;
            for (int c = 0; c < 3; ++c)
                out.at<cv::Vec3b>(y, x)[c] =
                    cv::saturate_cast<uchar>(255.f * std::pow(picture.at<cv::Vec3b>(y, x)[c] / 255.f, 1.8f) * gain);
        }
    return out;
}

std::vector<cv::Point> hairPolygon()
{
    return {{220, 76}, {227, 68}, {237, 64}, {250, 65}, {259, 72}, {261, 82}, {260, 90},
            {254, 89}, {245, 89}, {236, 95}, {231, 100}, {226, 105}, {219, 104}, {216, 92}};
}

std::vector<cv::Rect> besideHair() { return {{196, 66, 12, 18}, {270, 62, 12, 18}, {226, 47, 24, 10}}; }

cv::Size clipSize() { return {448 * kScale, 252 * kScale}; }

std::vector<cv::Point> inClip(const std::vector<cv::Point>& portraitPoints, double left)
{
    std::vector<cv::Point> out;
    for (const cv::Point& p : portraitPoints)
        out.emplace_back(cvRound((p.x - left) * kScale), (p.y - kWindowTop) * kScale);
    return out;
}

cv::Rect inClip(const cv::Rect& r, double left)
{
    return {cvRound((r.x - left) * kScale), (r.y - kWindowTop) * kScale, r.width * kScale, r.height * kScale};
}

std::vector<cv::Mat> stillClip(const cv::Mat& portrait, const std::string& folder, int frames)
{
    return makeClip(portrait, folder, "still", window(std::to_string(kStillLeft)) + ",noise=alls=8:allf=t", frames);
}

double panLeft(int k, double pxPerFrame) { return std::min(kPanFrom + pxPerFrame * k, double(kPanTo)); }

std::vector<cv::Mat> panClip(const cv::Mat& portrait, const std::string& folder, int frames, double pxPerFrame)
{
    char left[96];
    std::snprintf(left, sizeof left, "'min(%d+%g*n,%d)'", kPanFrom, pxPerFrame, kPanTo);
    return makeClip(portrait, folder, "pan", window(left), frames);
}

} // namespace dimscene
