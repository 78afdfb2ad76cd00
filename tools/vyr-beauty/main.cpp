// vyr-beauty: runs the face-beauty library (and the portrait library for the person mask) on
// one picture, the way the engine runs them on a frame, and writes the result.
//
//   vyr-beauty IMAGE OUT.png [--defaults] [--level NAME=VALUE ...] [--light VALUE]
//              [--background MODE[=FILE]] [--landmarks OUT.json]
//
// Levels not given are at their neutral value (0, or 0.5 for the centred items), the light
// at 0; --defaults starts from the program's default levels instead. MODE is none, picture,
// green, blue or blur (or -1, 0, 1, 2, 3); picture, green and blue take the background FILE.
// --landmarks writes the 468 landmarks of every face found in IMAGE, in its pixels.
#include "BeautyFrameFor.h"
#include "ZR_FaceBeautyLib.h"
#include "ZR_Portrait_SDK.h"
#include "engine/EffectParameters.h"
#include "face/FaceTracker.h"
#include "platform/Platform.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>


#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kItemCount = EffectParameters::itemCount;
constexpr int kRepetitions = 3;  // as the engine renders a still frame: tracking settles

struct Options {
    std::string input, output, landmarks, backgroundFile;
    float levels[kItemCount];
    float light = 0.f;
    int mode = -1;
};

int usage(const char* why)
{
    std::fprintf(stderr,
                 "vyr-beauty: %s\nusage: vyr-beauty IMAGE OUT.png [--defaults] [--level NAME=VALUE ...] "
                 "[--light VALUE] [--background MODE[=FILE]] [--landmarks OUT.json]\n",
                 why);
    return 1;
}

bool parseMode(const std::string& name, int& mode)
{
    const char* names[] = {"none", "picture", "green", "blue", "blur"};
    const int modes[] = {-1, 0, 1, 2, 3};
    for (int i = 0; i < 5; ++i)
        if (name == names[i] || name == std::to_string(modes[i])) {
            mode = modes[i];
            return true;
        }
    return false;
}

bool parseLevel(const std::string& arg, Options& o)
{
    const auto eq = arg.find('=');
    if (eq == std::string::npos)
        return false;
    const std::string name = arg.substr(0, eq);
    for (int i = 0; i < kItemCount; ++i)
        if (name == EffectParameters::itemName(i)) {
            o.levels[i] = std::strtof(arg.c_str() + eq + 1, nullptr);
            return true;
        }
    return false;
}

bool parse(int argc, char** argv, Options& o, std::string& error)
{
    for (int i = 0; i < kItemCount; ++i)
        o.levels[i] = zr_fb_native_isMutualBeautyType(i) ? 0.5f : 0.f;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--defaults") {
            for (int k = 0; k < kItemCount; ++k)
                o.levels[k] = EffectParameters::defaultLevel(k);
            o.light = EffectParameters::defaultAiLight;
        } else if (arg == "--level" && hasValue) {
            if (!parseLevel(argv[++i], o))
                return error = "unknown level " + std::string(argv[i]), false;
        } else if (arg == "--light" && hasValue) {
            o.light = std::strtof(argv[++i], nullptr);
        } else if (arg == "--background" && hasValue) {
            const std::string value = argv[++i];
            const auto eq = value.find('=');
            if (!parseMode(value.substr(0, eq), o.mode))
                return error = "unknown background mode " + value, false;
            if (eq != std::string::npos)
                o.backgroundFile = value.substr(eq + 1);
        } else if (arg == "--landmarks" && hasValue) {
            o.landmarks = argv[++i];
        } else if (arg.rfind("--", 0) == 0) {
            return error = "unknown option " + arg, false;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2)
        return error = "give one IMAGE and one OUT.png", false;
    o.input = positional[0];
    o.output = positional[1];
    return true;
}

bool writeLandmarks(const cv::Mat& picture, const std::string& modelsDir, const std::string& path)
{
    face::FaceTracker tracker;
    std::string error;
    if (!tracker.load(modelsDir, error)) {
        std::fprintf(stderr, "vyr-beauty: %s\n", error.c_str());
        return false;
    }
    for (int i = 0; i < kRepetitions - 1; ++i)
        tracker.update(picture);
    std::ofstream out(path);
    out << "{\"faces\": [";
    const auto& faces = tracker.update(picture);
    for (size_t f = 0; f < faces.size(); ++f) {
        out << (f ? ",\n  " : "\n  ") << "{\"points\": [";
        for (size_t i = 0; i < faces[f].points.size(); ++i)
            out << (i ? ", " : "") << '[' << faces[f].points[i].x << ", " << faces[f].points[i].y << ']';
        out << "]}";
    }
    out << "\n]}\n";
    return bool(out);
}

void personMask(const cv::Mat& bgr, const std::string& modelsDir, cv::Mat& mask)
{
    using namespace ZRPortraitCOM;
    zr_effect_set_params(2, false, false, 0, false, 0.07f, false);
    const std::string dataDir = platform::dataDirectory().toStdString();
    std::printf("zr_effect_bg_init return %d\n", zr_effect_bg_init(modelsDir.c_str(), 256, dataDir.c_str()));
    mask.create(bgr.size(), CV_8U);
    mask = 0;
    zr_effect_bg_mask(bgr.data, 0, bgr.cols, bgr.rows, mask.data, nullptr);
    zr_effect_bg_release();
}

void logLine(const char* text) { std::fprintf(stderr, "zr_beauty log : %s\n", text); }

} // namespace

int main(int argc, char** argv)
{
    Options o;
    std::string error;
    if (!parse(argc, argv, o, error))
        return usage(error.c_str());
    cv::Mat picture = cv::imread(o.input, cv::IMREAD_COLOR);
    if (picture.empty())
        return usage(("cannot read " + o.input).c_str());
    // NV12 needs even sides, as the engine's frames have.
    if (picture.cols < 2 || picture.rows < 2)
        return usage(("the picture " + o.input + " is smaller than 2 x 2 pixels").c_str());
    picture = picture(cv::Rect(0, 0, picture.cols & ~1, picture.rows & ~1)).clone();
    const std::string modelsDir = platform::executableDir().toStdString() + "/models";
    if (!o.landmarks.empty() && !writeLandmarks(picture, modelsDir, o.landmarks))
        return 3;

    zr_fb_native_log(logLine, 2);
    const int handle = zr_fb_native_init(modelsDir.c_str(), 4);
    if (handle < 0)
        return usage("the face-beauty library did not open");
    for (int i = 0; i < kItemCount; ++i)
        zr_fb_native_setBeautyLevel(handle, i, o.levels[i]);
    zr_fb_native_setAILight(handle, o.light);
    if (!o.backgroundFile.empty()) {
        const cv::Mat background = cv::imread(o.backgroundFile, cv::IMREAD_COLOR);
        if (background.empty())
            return usage(("cannot read " + o.backgroundFile).c_str());
        zr_fb_native_setBgBuffer(handle, background.data, background.cols, background.rows);
    }

    cv::Mat work, mask, nv12(picture.rows * 3 / 2, picture.cols, CV_8U);
    BeautyFrame frame{};
    for (int i = 0; i < kRepetitions; ++i) {
        work = picture.clone();
        frame = beautyFrameFor(work.data, work.cols, work.rows);
        frame.result = zr_fb_native_process(handle, &frame);
    }
    if (o.mode == 0 || o.mode == 3)
        personMask(work, modelsDir, mask);
    frame.mattingOn = 1;
    frame.data = nv12.data;
    frame.mask = mask.empty() ? nullptr : mask.data;
    frame.backgroundMode = o.mode;
    frame.backgroundLevel = (o.mode == 1 || o.mode == 2) ? 70 : 30;
    const int composed = zr_fb_native_process2(handle, &frame, nullptr);
    zr_fb_native_uninit(handle);
    if (composed < 0)
        return usage("the face-beauty library refused the frame");
    std::printf("faces: %d\n", frame.result);
    cv::Mat result;
    cv::cvtColor(nv12, result, cv::COLOR_YUV2BGR_NV12);
    if (!cv::imwrite(o.output, result)) {
        std::fprintf(stderr, "vyr-beauty: cannot write %s\n", o.output.c_str());
        return 3;
    }
    return 0;
}
