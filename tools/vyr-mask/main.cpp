// vyr-mask IMAGE OUT.png [--export]
// Runs the portrait library on one picture and writes the person mask it sees, so a person
// or a test can look at it. Preview mode unless --export is given.
#include "ZR_Portrait_SDK.h"
#include "platform/Platform.h"

#include <QCoreApplication>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void printLog(const char* text, int)
{
    std::fprintf(stderr, "%s\n", text);
}

// OpenCV throws for a name whose ending no picture writer knows.
bool writePicture(const char* path, const cv::Mat& picture)
{
    try {
        return cv::imwrite(path, picture);
    } catch (const cv::Exception&) {
        return false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);  // the executable's folder comes from it
    const bool exportMode = argc == 4 && std::strcmp(argv[3], "--export") == 0;
    if (argc != 3 && !exportMode) {
        std::fprintf(stderr, "usage: vyr-mask IMAGE OUT.png [--export]\n");
        return 1;
    }
    const cv::Mat image = cv::imread(argv[1], cv::IMREAD_COLOR);
    if (image.empty()) {
        std::fprintf(stderr, "vyr-mask: cannot read %s\n", argv[1]);
        return 2;
    }
    using namespace ZRPortraitCOM;
    zr_effect_log(printLog, 2);
    zr_effect_set_params(2, false, false, exportMode ? 0 : 1, false, 0.07f, false);
    const std::string models = (platform::executableDir() + "/models").toStdString();
    if (zr_effect_bg_init(models.c_str(), 256, "") < 0) {
        zr_effect_bg_release();
        return 2;
    }
    cv::Mat mask(image.size(), CV_8U);
    const cv::Mat frame = image.isContinuous() ? image : image.clone();
    const int result = zr_effect_bg_mask(frame.data, 0, frame.cols, frame.rows, mask.data, nullptr);
    zr_effect_bg_release();
    if (result < 0 || !writePicture(argv[2], mask)) {
        std::fprintf(stderr, "vyr-mask: no mask written to %s\n", argv[2]);
        return 2;
    }
    std::printf("%s: %dx%d, person covers %.1f %% of the picture\n", argv[2], mask.cols, mask.rows,
                100.0 * cv::countNonZero(mask > 127) / mask.total());
    return 0;
}
