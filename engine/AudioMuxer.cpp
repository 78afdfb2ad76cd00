#include "AudioMuxer.h"

#include "platform/ChildProcess.h"
#include "platform/Platform.h"

#include <QDebug>
#include <QFileInfo>

namespace {
constexpr int kPollMs = 100;
}

QString AudioMuxer::fileArgument(const QString& path)
{
    // "file:" keeps names like "pipe:0.mp4" or "a:b.mp4" from being read as protocols.
    return "file:" + QFileInfo(path).absoluteFilePath();
}

AudioMuxer::Result AudioMuxer::mux(const QString& videoPath, const QString& audioSourcePath, const QString& outputPath,
                                   const std::function<bool()>& cancelled, QString* error)
{
    // Arguments as a list: quotes or spaces in a file name reach ffmpeg unchanged. The container
    // is named, so the output's own suffix does not matter.
    const QStringList arguments{"-nostdin", "-v", "error", "-i", fileArgument(videoPath),
                                "-i", fileArgument(audioSourcePath), "-c:v", "copy", "-c:a", "aac",
                                "-strict", "experimental", "-map", "0:v:0", "-map", "1:a:0",
                                "-f", "mp4", "-y", fileArgument(outputPath)};
    ChildProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(platform::ffmpegProgram(), arguments);
    if (!ffmpeg.waitForStarted(-1)) {
        *error = "cannot start " + platform::ffmpegProgram() + ": " + ffmpeg.errorString();
        return Result::Failed;
    }
    while (ffmpeg.state() != QProcess::NotRunning && !ffmpeg.waitForFinished(kPollMs)) {
        if (cancelled()) {
            ffmpeg.kill();
            ffmpeg.waitForFinished(-1);
            return Result::Cancelled;
        }
    }
    if (ffmpeg.exitStatus() != QProcess::NormalExit) {
        *error = platform::ffmpegProgram() + " crashed while adding the sound";
        return Result::Failed;
    }
    if (ffmpeg.exitCode() != 0) {
        *error = platform::ffmpegProgram() + " could not add the sound (exit code " + QString::number(ffmpeg.exitCode()) + ")";
        return Result::Failed;
    }
    return Result::Muxed;
}
