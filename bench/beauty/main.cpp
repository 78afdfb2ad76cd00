// bench-beauty: milliseconds per frame of the face-beauty library at the preview size
// (904x510) and the export size (1920x1080): face analysis alone, the default levels, each
// item alone at 1, every item at 1 together, and each background mode. Prints the median wall
// time and the mean processor time of all threads. First it prints how the items look at the
// face's edge: the sharpest step of the skin change across the face boundary, the change
// outside the skin, and how much of the picture beside the face the shape items at 1 change.
//
//   bench-beauty PICTURE [FRAMES]
// PICTURE is a portrait (astronaut.png) placed in the frame as a person in a video would be.
#include "engine/EffectParameters.h"
#include "BeautyFrameFor.h"
#include "ZR_FaceBeautyLib.h"
#include "face/FaceMeshIndices.h"
#include "face/FaceTracker.h"
#include "platform/Platform.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int BRIGHT_WHITE_ITEM = 5;

std::string modelsDir()
{
    return platform::executableDir().toStdString() + "/models";
}

// The portrait scaled to the frame's height and placed off-centre on a plain wall, with a
// person-shaped mask for the mask modes.
struct Scene {
    std::vector<cv::Mat> frames;  // the same picture under different sensor noise
    cv::Mat mask, background;
    cv::Point portraitAt;   // where the portrait's corner lies in the frame
    double portraitScale;   // and its scale
};

Scene makeScene(const cv::Mat& portrait, cv::Size size, int frames)
{
    Scene s;
    cv::Mat base(size, CV_8UC3, cv::Scalar(170, 180, 190)), scaled;
    const double k = double(size.height) / portrait.rows;
    cv::resize(portrait, scaled, cv::Size(), k, k, cv::INTER_AREA);
    const int x = size.width / 3 - scaled.cols / 3;
    scaled.copyTo(base(cv::Rect(x, 0, scaled.cols, scaled.rows)));
    s.portraitAt = cv::Point(x, 0);
    s.portraitScale = k;
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

struct Cost {
    double wallMs;  // median
    double cpuMs;   // mean, every thread of the process
};

// Times one call per frame, after two frames of warm-up.
Cost timePerFrame(const Scene& scene, const std::function<void(const cv::Mat&)>& work)
{
    std::vector<double> ms;
    std::clock_t cpuStart = 0;
    for (size_t i = 0; i < scene.frames.size() + 2; ++i) {
        const cv::Mat& frame = scene.frames[i % scene.frames.size()];
        if (i == 2)
            cpuStart = std::clock();
        const auto start = std::chrono::steady_clock::now();
        work(frame);
        const auto end = std::chrono::steady_clock::now();
        if (i >= 2)
            ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    return {median(ms), 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC / double(ms.size())};
}

void printCost(const char* what, const Cost& cost)
{
    std::printf("  %-26s %7.2f  cpu %7.2f\n", what, cost.wallMs, cost.cpuMs);
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
    Cost time(int mode)
    {
        return timePerFrame(scene_, [&](const cv::Mat& frame) { render(frame, mode); });
    }

    // The picture after process and process2, back in BGR.
    cv::Mat look(const cv::Mat& frame)
    {
        cv::Mat bgr;
        cv::cvtColor(render(frame, -1), bgr, cv::COLOR_YUV2BGR_NV12);
        return bgr;
    }

private:
    cv::Mat render(const cv::Mat& frame, int mode)
    {
        // The buffers are kept, as the engine keeps its own: the timing is the libraries'.
        frame.copyTo(work_);
        nv12_.create(frame.rows * 3 / 2, frame.cols, CV_8U);
        BeautyFrame f = beautyFrameFor(work_.data, frame.cols, frame.rows);
        f.result = zr_fb_native_process(handle_, &f);
        f.data = nv12_.data;
        f.mask = scene_.mask.data;
        f.backgroundMode = mode;
        f.backgroundLevel = (mode == 1 || mode == 2) ? 70 : 30;
        zr_fb_native_process2(handle_, &f, nullptr);
        return nv12_;
    }

    const Scene& scene_;
    int handle_;
    cv::Mat work_;
    cv::Mat nv12_;
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
    printCost("face analysis alone", timePerFrame(scene, [&](const cv::Mat& frame) { tracker.update(frame); }));
    Runner runner(scene);
    float neutral[22];
    for (int i = 0; i < 22; ++i)
        neutral[i] = zr_fb_native_isMutualBeautyType(i) ? 0.5f : 0.f;
    runner.setLevels(neutral, 0.f);
    printCost("neutral (NV12 only)", runner.time(-1));
    float defaults[22];
    for (int i = 0; i < 22; ++i)
        defaults[i] = EffectParameters::defaultLevel(i);
    runner.setLevels(defaults, EffectParameters::defaultAiLight);
    printCost("default levels", runner.time(-1));
    const char* modes[] = {"+ mode 0 picture", "+ mode 1 green screen", "+ mode 2 blue screen", "+ mode 3 blurred bg"};
    for (int mode = 0; mode < 4; ++mode)
        printCost(modes[mode], runner.time(mode));
    for (int item = 0; item < 22; ++item) {
        float levels[22];
        std::copy(neutral, neutral + 22, levels);
        levels[item] = 1.f;
        runner.setLevels(levels, 0.f);
        printCost(EffectParameters::itemName(item), runner.time(-1));
    }
    runner.setLevels(neutral, 1.f);
    printCost("AI light at 1", runner.time(-1));
    float all[22];
    std::fill(all, all + 22, 1.f);
    runner.setLevels(all, 1.f);
    printCost("every item and light at 1", runner.time(-1));
}

// Levels with every item neutral but the given ones.
void setOnly(Runner& runner, const std::vector<std::pair<int, float>>& items)
{
    float levels[22];
    for (int i = 0; i < 22; ++i)
        levels[i] = zr_fb_native_isMutualBeautyType(i) ? 0.5f : 0.f;
    for (const auto& [item, level] : items)
        levels[item] = level;
    runner.setLevels(levels, 0.f);
}

cv::Mat lumaOf(const cv::Mat& bgr)
{
    cv::Mat grey, out;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    grey.convertTo(out, CV_32F);
    return out;
}

double percentile(const cv::Mat& values, const cv::Mat& where, double share)
{
    std::vector<float> v;
    for (int y = 0; y < values.rows; ++y)
        for (int x = 0; x < values.cols; ++x)
            if (where.at<uchar>(y, x))
                v.push_back(values.at<float>(y, x));
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + long(share * (v.size() - 1)), v.end());
    return v[size_t(share * (v.size() - 1))];
}

// The face oval as a filled region, grown (or shrunk, for negative grow) by grow pixels.
cv::Mat ovalRegion(cv::Size size, const std::vector<cv::Point2f>& points, int grow)
{
    std::vector<cv::Point> oval;
    for (int i : face::mesh::kFaceOval)
        oval.emplace_back(points[i]);
    cv::Mat region(size, CV_8U, cv::Scalar(0));
    cv::fillPoly(region, std::vector<std::vector<cv::Point>>{oval}, cv::Scalar(255));
    const cv::Mat round = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * std::abs(grow) + 1, 2 * std::abs(grow) + 1));
    if (grow > 0)
        cv::dilate(region, region, round);
    else if (grow < 0)
        cv::erode(region, region, round);
    return region;
}

template <size_t N>
void cutFeature(cv::Mat& region, const std::vector<cv::Point2f>& p, const std::array<int, N>& loop, int thickness)
{
    std::vector<cv::Point> polygon;
    for (int i : loop)
        polygon.emplace_back(p[i]);
    cv::polylines(region, std::vector<std::vector<cv::Point>>{polygon}, true, cv::Scalar(0), thickness);
}

// Skin items: how sharply the whitening's change steps across the face boundary (the width,
// in face widths, over which it would go from nothing to its full level at its steepest), and
// the mean change over the hand-marked hair and the backdrop beside it.
void skinFigures(Runner& runner, const Scene& scene, const cv::Mat& neutral, const std::vector<cv::Point2f>& p)
{
    const float width = float(cv::norm(p[face::mesh::kLeftCheekbone] - p[face::mesh::kRightCheekbone]));
    setOnly(runner, {{BRIGHT_WHITE_ITEM, EffectParameters::defaultLevel(BRIGHT_WHITE_ITEM)}});
    cv::Mat change = lumaOf(runner.look(scene.frames[0])) - lumaOf(neutral);
    cv::GaussianBlur(change, change, cv::Size(), std::max(1.0, 0.01 * width));
    cv::Mat gx, gy, slope;
    cv::Sobel(change, gx, CV_32F, 1, 0, 3, 1.0 / 8);
    cv::Sobel(change, gy, CV_32F, 0, 1, 3, 1.0 / 8);
    cv::magnitude(gx, gy, slope);
    const int band = int(0.2f * width);
    cv::Mat boundary = ovalRegion(change.size(), p, band) - ovalRegion(change.size(), p, -band);
    // Eyes, brows and lips are no part of the face's boundary.
    cutFeature(boundary, p, face::mesh::kRightEye, band);
    cutFeature(boundary, p, face::mesh::kLeftEye, band);
    cutFeature(boundary, p, face::mesh::kRightBrow, band);
    cutFeature(boundary, p, face::mesh::kLeftBrow, band);
    cutFeature(boundary, p, face::mesh::kLipsOuter, band);
    const double full = percentile(change, ovalRegion(change.size(), p, -band), 0.95);
    const double steepest = percentile(slope, boundary, 0.995);
    const auto portrait = [&](cv::Point q) { return scene.portraitAt + cv::Point(q * scene.portraitScale); };
    cv::Mat hair(change.size(), CV_8U, cv::Scalar(0)), beside(change.size(), CV_8U, cv::Scalar(0));
    std::vector<cv::Point> polygon;
    for (const cv::Point& q : {cv::Point(165, 95), cv::Point(170, 60), cv::Point(190, 32), cv::Point(230, 20),
                               cv::Point(270, 28), cv::Point(290, 55), cv::Point(292, 95), cv::Point(280, 86),
                               cv::Point(272, 68), cv::Point(230, 64), cv::Point(190, 68), cv::Point(175, 92)})
        polygon.push_back(portrait(q));
    cv::fillPoly(hair, std::vector<std::vector<cv::Point>>{polygon}, cv::Scalar(255));
    for (const cv::Rect& r : {cv::Rect(118, 30, 30, 50), cv::Rect(312, 30, 30, 50)})
        cv::rectangle(beside, portrait(r.tl()), portrait(r.br()), cv::Scalar(255), cv::FILLED);
    std::printf("  whitening at its default: full change %.1f levels, sharpest step across the face boundary "
                "%.3f face widths; mean change over the hair %.2f, beside the hair %.2f levels\n",
                full, full / std::max(steepest, 1e-6) / width, cv::mean(cv::abs(change), hair)[0],
                cv::mean(cv::abs(change), beside)[0]);
}

// Shape items at 1: how many pixels outside the face contour (2 px beyond it, within half a
// face width) change, and by how much at most. Unchanged pixels of a textured picture have not
// moved; NV12's shared chroma alone changes a pixel by up to 3 levels.
void shapeFigures(Runner& runner, const Scene& scene, const cv::Mat& neutral, const std::vector<cv::Point2f>& p)
{
    const float width = float(cv::norm(p[face::mesh::kLeftCheekbone] - p[face::mesh::kRightCheekbone]));
    // The face's contour lies a twentieth of its width outside the mesh's oval (the jaw's edge).
    const cv::Mat contour = ovalRegion(neutral.size(), p, int(0.05f * width) + 2);
    const cv::Mat beside = ovalRegion(neutral.size(), p, int(0.5f * width)) & ~contour;
    const std::pair<const char*, std::vector<std::pair<int, float>>> cases[] = {
        {"V_FACE", {{10, 1.f}}}, {"NARROW_FACE", {{21, 1.f}}}, {"SMALL_FACE", {{0, 1.f}}},
        {"all three", {{0, 1.f}, {10, 1.f}, {21, 1.f}}}};
    for (const auto& [name, items] : cases) {
        setOnly(runner, items);
        const cv::Mat out = runner.look(scene.frames[0]);
        cv::Mat diff;
        cv::absdiff(out, neutral, diff);
        cv::cvtColor(diff, diff, cv::COLOR_BGR2GRAY);
        double largest = 0;
        cv::minMaxLoc(diff, nullptr, &largest, nullptr, nullptr, beside);
        const int moved = cv::countNonZero((diff > 3) & beside);
        std::printf("  %-11s at 1: beside the face %5.2f %% of the pixels change by more than 3 levels, the "
                    "largest by %3.0f\n", name, 100.0 * moved / std::max(1, cv::countNonZero(beside)), largest);
    }
}

void lookFigures(const cv::Mat& portrait)
{
    const Scene scene = makeScene(portrait, cv::Size(1920, 1080), 1);
    Runner runner(scene);
    setOnly(runner, {});
    const cv::Mat neutral = runner.look(scene.frames[0]);
    face::FaceTracker tracker;
    std::string error;
    if (!tracker.load(modelsDir(), error) || tracker.update(neutral).empty()) {
        std::printf("no face found: %s\n", error.c_str());
        return;
    }
    const std::vector<cv::Point2f> points = tracker.update(neutral)[0].points;
    std::printf("\nlook at 1920x1080, face %.0f px wide\n",
                cv::norm(points[face::mesh::kLeftCheekbone] - points[face::mesh::kRightCheekbone]));
    skinFigures(runner, scene, neutral, points);
    shapeFigures(runner, scene, neutral, points);
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
    lookFigures(portrait);
    benchSize(portrait, cv::Size(904, 510), frames);
    benchSize(portrait, cv::Size(1920, 1080), frames);
    return 0;
}
