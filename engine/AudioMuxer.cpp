#include "AudioMuxer.h"

#include "platform/Platform.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

QString AudioMuxer::partialPath(const QString& outputPath)
{
    // Same suffix, so ffmpeg picks the same container it would for the output itself.
    const QFileInfo info(outputPath);
    return info.absolutePath() + "/." + info.completeBaseName() + ".partial." + info.suffix();
}

bool AudioMuxer::mux(const QString& videoPath, const QString& audioSourcePath, const QString& outputPath)
{
    const QString partial = partialPath(outputPath);
    // Arguments as a list: quotes or spaces in a file name reach ffmpeg unchanged.
    const QStringList arguments{"-v", "error", "-i", videoPath, "-i", audioSourcePath,
                                "-c:v", "copy", "-c:a", "aac", "-strict", "experimental",
                                "-map", "0:v:0", "-map", "1:a:0", "-y", partial};
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(platform::ffmpegProgram(), arguments);
    if (!ffmpeg.waitForStarted(-1)) {
        qWarning() << "mux : cannot start" << platform::ffmpegProgram() << ":" << ffmpeg.errorString();
        return false;
    }
    ffmpeg.waitForFinished(-1);
    const bool succeeded = ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
    if (!succeeded) {
        qWarning() << "mux : ffmpeg exit code" << ffmpeg.exitCode() << ", the output keeps the video without sound";
        QFile::remove(partial);
        return false;
    }
    // rename() replaces the silent copy in one step, so the output is never half-written.
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(outputPath).constData()) != 0) {
        qWarning() << "mux : cannot replace" << outputPath;
        QFile::remove(partial);
        return false;
    }
    return true;
}
