// Prints how long the portrait library takes: the selfie models' raw inference, and the whole
// mask (model, refinement, smoothing) at the preview size and at 1080p in both modes, on a
// clip of the picture under sensor noise, held still and panning, as wall
// time (median, best) and processor time of all threads (mean). With --look, also how the
// mask looks on clips of a dim, dark-haired person (messi5.jpg): alpha over the hair and beside it, the
// frame-to-frame change on a still head and the lag behind a panning camera.
//   bench-portrait [--look MESSI5] [PICTURE]   (default PICTURE: a generated picture)
#include "DimScene.h"
#include "ZR_Portrait_SDK.h"
#include "nn/TfliteModel.h"
#include "platform/Platform.h"

#include <QCoreApplication>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <functional>
#include <vector>

namespace {

struct Timing {
    double medianMs;
    double bestMs;
    double cpuMs;
};

// Median and best of `runs`; on a shared machine the best shows what the code can do. The
// processor time counts every thread of the process, so it is steadier than wall time when
// others load the machine.
Timing measure(int runs, const std::function<void()>& work)
{
    for (int i = 0; i < 3; ++i)
        work();
    std::vector<double> times;
    const std::clock_t cpuStart = std::clock();
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    const double cpu = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC / runs;
    std::sort(times.begin(), times.end());
    return {times[runs / 2], times.front(), cpu};
}

cv::Mat generatedPicture()
{
    cv::Mat picture(720, 1280, CV_8UC3);
    cv::randu(picture, 0, 255);
    cv::GaussianBlur(picture, picture, cv::Size(), 9);
    cv::ellipse(picture, {640, 300}, {110, 140}, 0, 0, 360, cv::Scalar(120, 160, 210), cv::FILLED);
    cv::ellipse(picture, {640, 720}, {300, 280}, 0, 0, 360, cv::Scalar(60, 60, 160), cv::FILLED);
    return picture;
}

// The picture under fresh sensor noise in every frame, still or panning sideways by 2 px a
// frame and back.
std::vector<cv::Mat> noisyClip(const cv::Mat& picture, bool moving)
{
    std::vector<cv::Mat> clip;
    cv::RNG rng(1);
    for (int i = 0; i < 20; ++i) {
        cv::Mat shifted = picture, noise(picture.size(), CV_16SC3), frame;
        if (moving) {
            const double dx = 2.0 * (i < 10 ? i : 20 - i);
            cv::warpAffine(picture, shifted, cv::Matx23d(1, 0, dx, 0, 1, 0), picture.size(), cv::INTER_LINEAR,
                           cv::BORDER_REPLICATE);
        }
        rng.fill(noise, cv::RNG::NORMAL, 0, 3);
        shifted.convertTo(frame, CV_16SC3);
        frame += noise;
        frame.convertTo(frame, CV_8UC3);
        clip.push_back(frame);
    }
    return clip;
}

using namespace ZRPortraitCOM;

cv::Mat maskOf(const cv::Mat& frame)
{
    cv::Mat mask(frame.size(), CV_8U);
    zr_effect_bg_mask(frame.data, 0, frame.cols, frame.rows, mask.data, nullptr);
    return mask;
}

double meanOver(const cv::Mat& mask, const std::vector<cv::Point>& polygon)
{
    cv::Mat region(mask.size(), CV_8U, cv::Scalar(0));
    cv::fillPoly(region, std::vector<std::vector<cv::Point>>{polygon}, cv::Scalar(255));
    return cv::mean(mask, region)[0] / 255.0;
}

// The still clip: alpha over the hair and beside it, and the mean frame-to-frame change over
// the head and over the whole frame, once the smoothing has settled.
void stillFigures(const std::vector<cv::Mat>& clip)
{
    using namespace dimscene;
    const auto hair = inClip(hairPolygon(), kStillLeft);
    const cv::Rect head = cv::boundingRect(hair) + cv::Size(0, 160);
    double alpha = 0, beside = 0, changeHead = 0, changeAll = 0;
    int counted = 0;
    cv::Mat previous;
    zr_effect_bg_resetCache();
    for (size_t t = 0; t < clip.size(); ++t) {
        const cv::Mat mask = maskOf(clip[t]);
        if (t >= 5) {
            alpha += meanOver(mask, hair);
            for (const cv::Rect& r : besideHair())
                beside += cv::mean(mask(inClip(r, kStillLeft)))[0] / 255.0 / besideHair().size();
            cv::Mat change;
            cv::absdiff(mask, previous, change);
            changeHead += cv::mean(change(head & cv::Rect(cv::Point(), mask.size())))[0] / 255.0;
            changeAll += cv::mean(change)[0] / 255.0;
            ++counted;
        }
        previous = mask;
    }
    std::printf("  hair alpha %.3f, beside the hair %.3f\n  still head: mean change per frame %.4f over the head, "
                "%.4f over the frame\n", alpha / counted, beside / counted, changeHead / counted, changeAll / counted);
}

// The pan: the smoothed mask against the mask of each frame on its own (no history).
void panFigures(const std::vector<cv::Mat>& clip, double pxPerFrame)
{
    using namespace dimscene;
    std::vector<double> smoothX, freshX;
    double hairGap = 0;
    int moving = 0;
    std::vector<cv::Mat> smoothed;
    zr_effect_bg_resetCache();
    for (const cv::Mat& frame : clip)
        smoothed.push_back(maskOf(frame));
    for (size_t t = 0; t < clip.size(); ++t) {
        zr_effect_bg_resetCache();
        const cv::Mat fresh = maskOf(clip[t]);
        const cv::Moments a = cv::moments(smoothed[t]), b = cv::moments(fresh);
        smoothX.push_back(a.m10 / a.m00);
        freshX.push_back(b.m10 / b.m00);
        if (t >= 3 && panLeft(int(t), pxPerFrame) < kPanTo) {
            cv::Mat gap;
            cv::absdiff(smoothed[t], fresh, gap);
            hairGap += meanOver(gap, inClip(hairPolygon(), panLeft(int(t), pxPerFrame)));
            ++moving;
        }
    }
    double lag = 0;
    const double speed = pxPerFrame * kScale;  // the picture moves left by this much a frame
    for (size_t t = 3; t < clip.size() && panLeft(int(t), pxPerFrame) < kPanTo; ++t)
        lag += (smoothX[t] - freshX[t]) / speed / moving;
    std::printf("  pan of %.0f px a frame: lag %.2f frames, mean alpha gap to the unsmoothed mask over the hair %.3f\n",
                speed, lag, hairGap / moving);
}

int lookFigures(const std::string& messiPath)
{
    const cv::Mat messi = cv::imread(messiPath, cv::IMREAD_COLOR);
    if (messi.empty()) {
        std::fprintf(stderr, "bench-portrait: cannot read %s\n", messiPath.c_str());
        return 1;
    }
    char folder[] = "/tmp/bench-portrait-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    zr_effect_set_params(2, false, false, 0, false, 0.07f, false);
    zr_effect_bg_resetCache();
    const cv::Mat dim = dimscene::dimPortrait(messi, maskOf(messi));
    const auto still = dimscene::stillClip(dim, folder, 30);
    const double pxPerFrame = 2;
    const auto pan = dimscene::panClip(dim, folder, 40, pxPerFrame);
    std::system((std::string("rm -rf '") + folder + "'").c_str());
    if (still.empty() || pan.empty()) {
        std::fprintf(stderr, "bench-portrait: ffmpeg made no clip\n");
        return 1;
    }
    for (int preview : {1, 0}) {
        zr_effect_set_params(2, false, false, preview, false, 0.07f, false);
        std::printf("look, %s mode, dim portrait %dx%d:\n", preview ? "preview" : "export", still[0].cols,
                    still[0].rows);
        stillFigures(still);
        panFigures(pan, pxPerFrame);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string models = (platform::executableDir() + "/models").toStdString();
    std::string look;
    int arg = 1;
    if (argc > 2 && std::strcmp(argv[1], "--look") == 0) {
        look = argv[2];
        arg = 3;
    }
    const cv::Mat picture = argc > arg ? cv::imread(argv[arg], cv::IMREAD_COLOR) : generatedPicture();
    if (picture.empty()) {
        std::fprintf(stderr, "bench-portrait: cannot read %s\n", argv[arg]);
        return 1;
    }

    for (const char* name : {"selfie_segmentation", "selfie_segmentation_landscape"}) {
        std::string error;
        auto model = nn::TfliteModel::load(models + "/" + name + ".tflite", error);
        if (!model) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::fill(model->input(0), model->input(0) + model->inputSize(0), 0.5f);
        const Timing t = measure(100, [&] { model->run(); });
        std::printf("inference %-32s median %6.2f ms, best %6.2f ms, cpu %6.2f ms\n", name, t.medianMs, t.bestMs,
                    t.cpuMs);
    }

    using namespace ZRPortraitCOM;
    if (zr_effect_bg_init(models.c_str(), 256, "") < 0)
        return 1;
    struct Case { cv::Size size; int preview; };
    for (const Case& c : {Case{{904, 510}, 1}, Case{{1920, 1080}, 1}, Case{{1920, 1080}, 0}}) {
        zr_effect_set_params(2, false, false, c.preview, false, 0.07f, false);
        cv::Mat frame, mask(c.size, CV_8U);
        cv::resize(picture, frame, c.size, 0, 0, cv::INTER_LINEAR);
        for (bool moving : {false, true}) {
            const std::vector<cv::Mat> clip = noisyClip(frame, moving);
            zr_effect_bg_resetCache();
            size_t next = 0;
            const Timing t = measure(40, [&] {
                const cv::Mat& f = clip[next++ % clip.size()];
                zr_effect_bg_mask(f.data, 0, f.cols, f.rows, mask.data, nullptr);
            });
            std::printf("mask %4dx%-4d %-7s %-6s   median %6.2f ms, best %6.2f ms, cpu %6.2f ms\n", c.size.width,
                        c.size.height, c.preview ? "preview" : "export", moving ? "moving" : "still", t.medianMs,
                        t.bestMs, t.cpuMs);
        }
    }
    const int result = look.empty() ? 0 : lookFigures(look);
    zr_effect_bg_release();
    return result;
}
