#include "WriterBench.h"

#include "VideoMeasures.h"

#include "engine/H264Writer.h"

#include <QCoreApplication>
#include <QFile>

#include <opencv2/core.hpp>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>

namespace bench {

namespace {

const char* const kPresets[] = {"ultrafast", "superfast", "veryfast", "faster", "medium"};

struct Row {
    Timing timing;
    Quality quality;
    double bitrate = 0;
};

Row measure(const Timing& timing, const QString& output, const QString& source)
{
    Row row;
    row.timing = timing;
    if (timing.ok) {
        row.quality = qualityOf(output, source);
        row.bitrate = videoBitrate(output);
    }
    return row;
}

void printRow(const char* who, const char* preset, const Row& row, int frames, double target)
{
    if (!row.timing.ok) {
        std::printf("%-9s %-7s FAILED\n", preset, who);
        return;
    }
    std::printf("%-9s %-7s %6.1f fps %6.1f s %6.1f s cpu %7.1f ms cpu/frame %6.2f dB %.4f %+5.1f %%\n", preset, who,
                frames / row.timing.wallSeconds, row.timing.wallSeconds, row.timing.cpuSeconds,
                row.timing.cpuSeconds * 1000 / frames, row.quality.psnr, row.quality.ssim,
                (row.bitrate / target - 1) * 100);
}

} // namespace

int encodeRawChild(const QStringList& arguments)
{
    if (arguments.size() != 6)
        return 2;
    // The encoder's statistics would bury the figures (the program quiets them the same way
    // through OpenCV's start-up).
    av_log_set_level(AV_LOG_ERROR);
    QFile raw(arguments[0]);
    if (!raw.open(QIODevice::ReadOnly))
        return 2;
    H264Writer::Settings settings;
    settings.width = arguments[1].toInt();
    settings.height = arguments[2].toInt();
    settings.preset = arguments[3].toUtf8();
    settings.bitsPerSecond = arguments[4].toLongLong();
    H264Writer writer;
    if (!writer.open(arguments[5], settings))
        return 1;
    const qint64 frameBytes = qint64(settings.width) * settings.height * 3 / 2;
    for (;;) {
        cv::Mat nv12(settings.height * 3 / 2, settings.width, CV_8UC1);
        if (raw.read(reinterpret_cast<char*>(nv12.data), frameBytes) != frameBytes)
            break;
        if (!writer.write(nv12))
            return 1;
    }
    return writer.finish() ? 0 : 1;
}

void benchWriterPresets(const QString& dir, int width, int height, int frames)
{
    const QString source = QString("%1/writer_%2p.mp4").arg(dir).arg(height);
    const QString raw = dir + "/writer.nv12";
    std::printf("\n== writer presets, %dx%d portrait clip, %d frames ==\n", width, height, frames);
    if (!makePortraitClip(source, width, height, frames)
        || !runProgram("ffmpeg", {"-v", "error", "-y", "-i", source, "-f", "rawvideo", "-pix_fmt", "nv12", raw})) {
        std::printf("cannot generate the clip\n");
        return;
    }
    const qint64 bitrate = H264Writer::exportBitrate(containerKbps(source), width, height, 30);
    std::printf("source %d kbit/s; export target %.2f Mbit/s (twice the source's); quality against the source,\n"
                "bitrate against the target. writer: H264Writer from NV12; ffmpeg: -c:v libx264 -preset P -b:v "
                "(same NV12 frames)\n", containerKbps(source), bitrate / 1e6);
    const QString size = QString("%1x%2").arg(width).arg(height);
    for (const char* preset : kPresets) {
        const QString ours = dir + "/writer_ours.mp4", theirs = dir + "/writer_ffmpeg.mp4";
        const Row writer = measure(timeProgram(QCoreApplication::applicationFilePath(),
                                               {"--encode-child", raw, QString::number(width), QString::number(height),
                                                preset, QString::number(bitrate), ours}),
                                   ours, source);
        const Row ffmpeg = measure(timeProgram("ffmpeg", {"-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "nv12",
                                                          "-s", size, "-r", "30", "-i", raw, "-c:v", "libx264",
                                                          "-preset", preset, "-b:v", QString::number(bitrate), theirs}),
                                   theirs, source);
        printRow("writer", preset, writer, frames, bitrate);
        printRow("ffmpeg", preset, ffmpeg, frames, bitrate);
    }
    QFile::remove(raw);
}

} // namespace bench
