// Prints how long the portrait library takes: the selfie models' raw inference, and the whole
// mask (model, refinement, smoothing) at the preview size and at 1080p in both modes.
// Medians over repeated runs; run it on an otherwise idle machine.
//   bench-portrait [PICTURE]   (default: a generated picture)
#include "ZR_Portrait_SDK.h"
#include "nn/TfliteModel.h"
#include "platform/Platform.h"

#include <QCoreApplication>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Timing {
    double medianMs;
    double bestMs;
};

// Median and best of `runs`; on a shared machine the best shows what the code can do.
Timing measure(int runs, const std::function<void()>& work)
{
    for (int i = 0; i < 3; ++i)
        work();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times[runs / 2], times.front()};
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string models = (platform::executableDir() + "/models").toStdString();
    const cv::Mat picture = argc > 1 ? cv::imread(argv[1], cv::IMREAD_COLOR) : generatedPicture();
    if (picture.empty()) {
        std::fprintf(stderr, "bench-portrait: cannot read %s\n", argv[1]);
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
        std::printf("inference %-32s median %6.2f ms, best %6.2f ms\n", name, t.medianMs, t.bestMs);
    }

    using namespace ZRPortraitCOM;
    if (zr_effect_bg_init(models.c_str(), 256, "") < 0)
        return 1;
    struct Case { cv::Size size; int preview; };
    for (const Case& c : {Case{{904, 510}, 1}, Case{{1920, 1080}, 1}, Case{{1920, 1080}, 0}}) {
        zr_effect_set_params(2, false, false, c.preview, false, 0.07f, false);
        zr_effect_bg_resetCache();
        cv::Mat frame, mask(c.size, CV_8U);
        cv::resize(picture, frame, c.size, 0, 0, cv::INTER_LINEAR);
        const Timing t = measure(40, [&] {
            zr_effect_bg_mask(frame.data, 0, frame.cols, frame.rows, mask.data, nullptr);
        });
        std::printf("mask %4dx%-4d %-7s          median %6.2f ms, best %6.2f ms\n", c.size.width, c.size.height,
                    c.preview ? "preview" : "export", t.medianMs, t.bestMs);
    }
    zr_effect_bg_release();
    return 0;
}
