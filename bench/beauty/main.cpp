// bench-beauty: milliseconds per frame of the face-beauty library at the preview size
// (904x510) and the export size (1920x1080): face analysis alone, the default levels, each
// item alone at 1, every item at 1 together, and each background mode. Prints medians.
//
//   bench-beauty PICTURE [FRAMES]
// PICTURE is a portrait (astronaut.png) placed in the frame as a person in a video would be.
#include "engine/EffectParameters.h"
#include "ZR_FaceBeautyLib.h"
#include "face/FaceTracker.h"
#include "platform/Platform.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>


#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string modelsDir()
{
    return platform::executableDir().toStdString() + "/models";
}

// The portrait scaled to the frame's height and placed off-centre on a plain wall, with a
// person-shaped mask for the mask modes.
struct Scene {
    std::vector<cv::Mat> frames;  // the same picture under different sensor noise
    cv::Mat mask, background;
};

Scene makeScene(const cv::Mat& portrait, cv::Size size, int frames)
{
    Scene s;
    cv::Mat base(size, CV_8UC3, cv::Scalar(170, 180, 190)), scaled;
    const double k = double(size.height) / portrait.rows;
    cv::resize(portrait, scaled, cv::Size(), k, k, cv::INTER_AREA);
    const int x = size.width / 3 - scaled.cols / 3;
    scaled.copyTo(base(cv::Rect(x, 0, scaled.cols, scaled.rows)));
    s.mask = cv::Mat(size, CV_8U, cv::Scalar(0));
    cv::ellipse(s.mask, cv::Point(x + scaled.cols / 2, size.height * 2 / 3), cv::Size(scaled.cols / 2, size.height * 2 / 3),
                0, 0, 360, cv::Scalar(255), cv::FILLED);
    s.background = cv::Mat(720, 1280, CV_8UC3);
    cv::randu(s.background, 0, 256);
    cv::GaussianBlur(s.background, s.background, cv::Size(), 9);
    cv::RNG rng(1);
    for (int i = 0; i < frames; ++i) {
        cv::Mat noise(size, CV_16SC3), frame;
        rng.fill(noise, cv::RNG::NORMAL, 0, 3);
        base.convertTo(frame, CV_16SC3);
        frame += noise;
        frame.convertTo(frame, CV_8UC3);
        s.frames.push_back(frame);
    }
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Times one call per frame, after two frames of warm-up.
double timePerFrame(const Scene& scene, const std::function<void(const cv::Mat&)>& work)
{
    std::vector<double> ms;
    for (size_t i = 0; i < scene.frames.size() + 2; ++i) {
        const cv::Mat& frame = scene.frames[i % scene.frames.size()];
        const auto start = std::chrono::steady_clock::now();
        work(frame);
        const auto end = std::chrono::steady_clock::now();
        if (i >= 2)
            ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    return median(ms);
}

class Runner {
public:
    explicit Runner(const Scene& scene) : scene_(scene), handle_(zr_fb_native_init(modelsDir().c_str(), 4))
    {
        zr_fb_native_setBgBuffer(handle_, scene.background.data, scene.background.cols, scene.background.rows);
    }
    ~Runner() { zr_fb_native_uninit(handle_); }

    void setLevels(const float* levels, float light)
    {
        for (int i = 0; i < 22; ++i)
            zr_fb_native_setBeautyLevel(handle_, i, levels[i]);
        zr_fb_native_setAILight(handle_, light);
        zr_fb_native_resetCache(handle_);
    }

    // One frame as the engine's effect pass runs it: process, then process2 into NV12.
    double time(int mode)
    {
        const cv::Size size = scene_.frames[0].size();
        cv::Mat work, nv12(size.height * 3 / 2, size.width, CV_8U);
        return timePerFrame(scene_, [&](const cv::Mat& frame) {
            frame.copyTo(work);
            BeautyFrame f{};
            f.width = size.width;
            f.height = size.height;
            f.dataSize = size.area() * 3;
            f.pixelFormat = 7;
            f.data = work.data;
            f.backgroundMode = -1;
            f.result = zr_fb_native_process(handle_, &f);
            f.data = nv12.data;
            f.mask = scene_.mask.data;
            f.backgroundMode = mode;
            f.backgroundLevel = (mode == 1 || mode == 2) ? 70 : 30;
            f.backgroundParam = 20;
            zr_fb_native_process2(handle_, &f, nullptr);
        });
    }

private:
    const Scene& scene_;
    int handle_;
};

void benchSize(const cv::Mat& portrait, cv::Size size, int frames)
{
    const Scene scene = makeScene(portrait, size, frames);
    std::printf("\n%dx%d, median of %d frames, ms per frame\n", size.width, size.height, frames);
    face::FaceTracker tracker;
    std::string error;
    if (!tracker.load(modelsDir(), error)) {
        std::printf("  no face models: %s\n", error.c_str());
        return;
    }
    std::printf("  %-26s %7.2f\n", "face analysis alone",
                timePerFrame(scene, [&](const cv::Mat& frame) { tracker.update(frame); }));
    Runner runner(scene);
    float neutral[22];
    for (int i = 0; i < 22; ++i)
        neutral[i] = zr_fb_native_isMutualBeautyType(i) ? 0.5f : 0.f;
    runner.setLevels(neutral, 0.f);
    std::printf("  %-26s %7.2f\n", "neutral (NV12 only)", runner.time(-1));
    float defaults[22];
    for (int i = 0; i < 22; ++i)
        defaults[i] = EffectParameters::defaultLevel(i);
    runner.setLevels(defaults, EffectParameters::defaultAiLight);
    std::printf("  %-26s %7.2f\n", "default levels", runner.time(-1));
    const char* modes[] = {"mode 0 picture", "mode 1 green screen", "mode 2 blue screen", "mode 3 blurred background"};
    for (int mode = 0; mode < 4; ++mode)
        std::printf("  default + %-16s %7.2f\n", modes[mode], runner.time(mode));
    for (int item = 0; item < 22; ++item) {
        float levels[22];
        std::copy(neutral, neutral + 22, levels);
        levels[item] = 1.f;
        runner.setLevels(levels, 0.f);
        std::printf("  %-26s %7.2f\n", EffectParameters::itemName(item), runner.time(-1));
    }
    runner.setLevels(neutral, 1.f);
    std::printf("  %-26s %7.2f\n", "AI light at 1", runner.time(-1));
    float all[22];
    std::fill(all, all + 22, 1.f);
    runner.setLevels(all, 1.f);
    std::printf("  %-26s %7.2f\n", "every item and light at 1", runner.time(-1));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench-beauty PICTURE [FRAMES]\n");
        return 1;
    }
    const cv::Mat portrait = cv::imread(argv[1], cv::IMREAD_COLOR);
    if (portrait.empty()) {
        std::fprintf(stderr, "bench-beauty: cannot read %s\n", argv[1]);
        return 1;
    }
    const int frames = argc > 2 ? std::max(3, std::atoi(argv[2])) : 30;
    benchSize(portrait, cv::Size(904, 510), frames);
    benchSize(portrait, cv::Size(1920, 1080), frames);
    return 0;
}
