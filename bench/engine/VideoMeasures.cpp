#include "VideoMeasures.h"

#include "platform/Platform.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <opencv2/videoio.hpp>

namespace bench {

namespace {

constexpr double kSourceBitsPerPixel = 4.0;

QString runForOutput(const QString& program, const QStringList& arguments, QProcess::ProcessChannel channel)
{
    QProcess process;
    process.setReadChannel(channel);
    process.start(program, arguments);
    process.waitForFinished(-1);
    return QString::fromUtf8(channel == QProcess::StandardOutput ? process.readAllStandardOutput()
                                                                  : process.readAllStandardError());
}

QStringList clipEncoding(const QString& path, int width, int height, int frames)
{
    const qint64 bitrate = qint64(kSourceBitsPerPixel * width * height);
    return {"-frames:v", QString::number(frames), "-shortest", "-c:v", "libx264", "-preset", "veryfast",
            "-b:v", QString::number(bitrate), "-pix_fmt", "yuv420p", "-c:a", "aac", path};
}

} // namespace

Timing timeProgram(const QString& program, const QStringList& arguments)
{
    Timing timing;
    const double cpuBefore = platform::cpuSecondsOfEndedChildren();
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    timing.ok = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    timing.wallSeconds = timer.nsecsElapsed() / 1e9;
    timing.cpuSeconds = platform::cpuSecondsOfEndedChildren() - cpuBefore;
    return timing;
}

bool runProgram(const QString& program, const QStringList& arguments)
{
    return timeProgram(program, arguments).ok;
}

bool makeTestPattern(const QString& path, int width, int height, int frames)
{
    return runProgram("ffmpeg", QStringList{"-v", "error", "-y", "-f", "lavfi", "-i",
                                            QString("testsrc2=size=%1x%2:rate=30").arg(width).arg(height),
                                            "-f", "lavfi", "-i", "sine=frequency=440"}
                                    + clipEncoding(path, width, height, frames));
}

bool makePortraitClip(const QString& path, int width, int height, int frames)
{
    const QString photo = QStringLiteral(VYR_TESTDATA_DIR) + "/astronaut.png";
    if (!QFile::exists(photo))
        return makeTestPattern(path, width, height, frames);
    const int wall = (width + width / 8) / 2 * 2;
    const QString picture = QString("[0:v]scale=%1:%1,pad=%2:%1:(ow-iw)/2:0:color=0x707880,"
                                    "crop=%3:%1:'(in_w-out_w)/2*(1+0.9*sin(t*0.8))':0,noise=alls=8:allf=t[v]")
                                .arg(height).arg(wall).arg(width);
    return runProgram("ffmpeg", QStringList{"-v", "error", "-y", "-loop", "1", "-framerate", "30", "-i", photo,
                                            "-f", "lavfi", "-i", "sine=frequency=440", "-filter_complex", picture,
                                            "-map", "[v]", "-map", "1:a"}
                                    + clipEncoding(path, width, height, frames));
}

Quality qualityOf(const QString& encoded, const QString& reference)
{
    const QString log = runForOutput("ffmpeg", {"-nostats", "-i", encoded, "-i", reference, "-lavfi",
                                                "[0:v]split[a][b];[1:v]split[c][d];[a][c]ssim;[b][d]psnr",
                                                "-f", "null", "-"},
                                     QProcess::StandardError);
    Quality quality;
    const QRegularExpressionMatch ssim = QRegularExpression("SSIM .* All:([0-9.]+)").match(log);
    const QRegularExpressionMatch psnr = QRegularExpression("PSNR .* average:([0-9.inf]+)").match(log);
    quality.ssim = ssim.captured(1).toDouble();
    quality.psnr = psnr.captured(1).toDouble();
    return quality;
}

double videoBitrate(const QString& path)
{
    return runForOutput("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=bit_rate",
                                    "-of", "default=nw=1:nk=1", path},
                        QProcess::StandardOutput)
        .trimmed()
        .toDouble();
}

int containerKbps(const QString& path)
{
    cv::VideoCapture capture(QFile::encodeName(path).toStdString());
    return static_cast<int>(capture.get(cv::CAP_PROP_BITRATE));
}

} // namespace bench
