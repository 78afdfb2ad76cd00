#include "TestVideos.h"

#include <QFile>
#include <QProcess>

namespace TestVideos {

namespace {
QByteArray runRaw(const QString& program, const QStringList& arguments, bool* ok = nullptr,
                  QProcess::ProcessChannel channel = QProcess::StandardOutput)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(120000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return channel == QProcess::StandardOutput ? process.readAllStandardOutput() : process.readAllStandardError();
}

QString run(const QString& program, const QStringList& arguments, bool* ok = nullptr)
{
    return QString::fromUtf8(runRaw(program, arguments, ok)).trimmed();
}
}

bool makeSyncClip(const QString& path, const QString& rate, int frames, int whiteFrame, bool withSound, bool reordered)
{
    const QString video = QString("color=c=black:s=320x240:r=%1,drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:"
                                  "enable='eq(n\\,%2)'").arg(rate).arg(whiteFrame);
    QStringList arguments{"-v", "error", "-y", "-f", "lavfi", "-i", video};
    if (withSound) {
        const QStringList fraction = rate.split('/');
        const double fps = fraction[0].toDouble() / (fraction.size() > 1 ? fraction[1].toDouble() : 1.0);
        const QString start = QString::number(whiteFrame / fps, 'f', 6);
        arguments << "-f" << "lavfi" << "-i"
                  << QString("aevalsrc='0.8*sin(2*PI*1000*t)*between(t\\,%1\\,%1+0.04)':s=48000:d=%2")
                         .arg(start).arg(QString::number(frames / fps + 1, 'f', 3))
                  << "-c:a" << "aac" << "-b:a" << "128k";
    }
    arguments << "-frames:v" << QString::number(frames) << "-c:v" << "libx264" << "-preset" << "ultrafast"
              << "-bf" << (reordered ? "3" : "0") << "-pix_fmt" << "yuv420p" << path;
    bool ok = false;
    run("ffmpeg", arguments, &ok);
    return ok;
}

bool makeRotated(const QString& source, const QString& path, int degrees)
{
    bool ok = false;
    run("ffmpeg", {"-v", "error", "-y", "-i", source, "-c", "copy", "-metadata:s:v:0",
                   "rotate=" + QString::number(degrees), path}, &ok);
    return ok;
}

BrightFrame firstBrightFrame(const QString& path)
{
    const QString stats = QString::fromUtf8(runRaw("ffprobe", {"-v", "error", "-f", "lavfi", "-i",
        "movie='" + QString(path).replace("'", "\\'") + "',signalstats",
        "-show_entries", "frame=pts_time:frame_tags=lavfi.signalstats.YAVG", "-of", "csv=p=0"}));
    BrightFrame bright;
    const QStringList lines = stats.split('\n', Qt::SkipEmptyParts);
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(',');
        if (fields.size() == 2 && fields[1].toDouble() > 128) {
            bright.index = i;
            bright.time = fields[0].toDouble();
            break;
        }
    }
    return bright;
}

double firstSoundTime(const QString& path)
{
    const QString log = QString::fromUtf8(runRaw("ffmpeg", {"-v", "info", "-nostats", "-i", path, "-map", "0:a:0",
        "-af", "silencedetect=noise=-30dB:d=0.02", "-f", "null", "-"}, nullptr, QProcess::StandardError));
    const int at = log.indexOf("silence_end: ");
    if (at < 0)
        return -1;
    return log.mid(at + 13).section(' ', 0, 0).toDouble();
}

QByteArray frameAsPng(const QString& path, int index)
{
    return runRaw("ffmpeg", {"-v", "error", "-i", path, "-vf", QString("select=eq(n\\,%1)").arg(index),
                             "-frames:v", "1", "-f", "image2pipe", "-vcodec", "png", "-"});
}

bool make(const QString& path, int width, int height, int fps, int frames, bool withAudio)
{
    // The test source makes even sizes only; odd ones are scaled and kept in 4:4:4.
    const bool odd = width % 2 || height % 2;
    QStringList arguments{"-v", "error", "-y", "-f", "lavfi", "-i",
                          QString("testsrc2=size=%1x%2:rate=%3").arg(width / 2 * 2).arg(height / 2 * 2).arg(fps)};
    if (withAudio)
        arguments << "-f" << "lavfi" << "-i" << "sine=frequency=440:sample_rate=44100" << "-c:a" << "aac" << "-shortest";
    arguments << "-frames:v" << QString::number(frames) << "-c:v" << "libx264" << "-preset" << "ultrafast"
              << "-pix_fmt" << (odd ? "yuv444p" : "yuv420p");
    if (odd)
        arguments << "-vf" << QString("scale=%1:%2").arg(width).arg(height);
    arguments << path;
    bool ok = false;
    run("ffmpeg", arguments, &ok);
    return ok;
}

bool makeCorrupt(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray noise(64 * 1024, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 7919) % 251);
    return file.write(noise) == noise.size();
}

bool makeEmpty(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

QString probe(const QString& path, const QString& streamType, const QString& entry)
{
    QStringList arguments{"-v", "error", "-select_streams", streamType + ":0"};
    if (entry == "nb_read_frames")
        arguments << "-count_frames";
    arguments << "-show_entries" << "stream=" + entry << "-of" << "default=nw=1:nk=1" << path;
    return run("ffprobe", arguments);
}

} // namespace TestVideos
