#include "TestVideos.h"

#include <QFile>
#include <QProcess>

namespace TestVideos {

namespace {
QString run(const QString& program, const QStringList& arguments, bool* ok = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(120000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}
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
