#include "DecodeBench.h"

#include "VideoMeasures.h"

#include "engine/Nv12Conversion.h"
#include "engine/PreviewLoop.h"
#include "engine/VideoSource.h"

#include <QCoreApplication>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cstdio>
#include <functional>

namespace bench {

namespace {

const QSize kDisplay(910, 650);
constexpr int kComparedFrames = 30;

struct Road {
    const char* name;
    const char* description;
};

const Road kRoads[] = {
    {"preview-opencv", "preview: OpenCV BGR + cv::resize"},
    {"preview", "preview: BGR at the preview size"},
    {"export-opencv", "export: OpenCV BGR + BGR to NV12"},
    {"export", "export: NV12 from the decoder"},
};

cv::Size previewSize(const cv::Size& video)
{
    const QSize size = PreviewLoop::previewSize(QSize(video.width, video.height), kDisplay);
    return cv::Size(size.width(), size.height());
}

cv::Size exportSize(const cv::Size& video)
{
    return cv::Size(video.width / 2 * 2, video.height / 2 * 2);
}

// Every frame of the clip through the road, each handed to use; the frame count.
int decode(const QString& road, const QString& clip, const std::function<void(const cv::Mat&)>& use)
{
    int frames = 0;
    cv::Mat decoded, frame;
    if (road.endsWith("-opencv")) {
        cv::VideoCapture capture(clip.toStdString(), cv::CAP_FFMPEG);
        while (capture.read(decoded)) {
            if (road == "preview-opencv")
                cv::resize(decoded, frame, previewSize(decoded.size()), 0, 0, cv::INTER_LINEAR);
            else
                Nv12Conversion::fromBgr(decoded, frame);
            use(frame);
            ++frames;
        }
        return frames;
    }
    VideoSource source;
    if (!source.open(clip))
        return 0;
    const bool preview = road == "preview";
    const cv::Size size = preview ? previewSize(source.frameSize()) : exportSize(source.frameSize());
    while (source.read(frame, preview ? VideoSource::Layout::Bgr : VideoSource::Layout::Nv12, size)) {
        use(frame);
        ++frames;
    }
    return frames;
}

std::vector<cv::Mat> firstFrames(const QString& road, const QString& clip)
{
    std::vector<cv::Mat> frames;
    decode(road, clip, [&frames](const cv::Mat& frame) {
        if (frames.size() < kComparedFrames)
            frames.push_back(frame.clone());
    });
    return frames;
}

// Average PSNR of a road's first frames against the road it replaces.
double psnrAgainst(const QString& road, const QString& before, const QString& clip)
{
    const std::vector<cv::Mat> ours = firstFrames(road, clip), theirs = firstFrames(before, clip);
    double sum = 0;
    const size_t count = std::min(ours.size(), theirs.size());
    for (size_t i = 0; i < count; ++i)
        sum += cv::PSNR(ours[i], theirs[i]);
    return count ? sum / count : 0;
}

} // namespace

int decodeChild(const QStringList& arguments)
{
    if (arguments.size() != 2)
        return 2;
    return decode(arguments[0], arguments[1], [](const cv::Mat&) {}) > 0 ? 0 : 1;
}

void benchDecode(const QString& clip, int frames)
{
    std::printf(" decoding alone, every frame in the layout and size its consumer needs:\n");
    for (const Road& road : kRoads) {
        const Timing timing = timeProgram(QCoreApplication::applicationFilePath(), {"--decode-child", road.name, clip});
        if (!timing.ok) {
            std::printf("  %-44s FAILED\n", road.description);
            continue;
        }
        std::printf("  %-44s %6.2f s %6.1f fps %7.2f s processor, %.2f ms processor a frame\n", road.description,
                    timing.wallSeconds, frames / timing.wallSeconds, timing.cpuSeconds,
                    timing.cpuSeconds * 1000 / frames);
    }
    std::printf("  preview frames against OpenCV BGR + cv::resize: PSNR %.2f dB\n",
                psnrAgainst("preview", "preview-opencv", clip));
    std::printf("  NV12 frames against OpenCV BGR + BGR to NV12: PSNR %.2f dB\n",
                psnrAgainst("export", "export-opencv", clip));
}

} // namespace bench
