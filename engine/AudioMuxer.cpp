#include "AudioMuxer.h"

#include "platform/ChildProcess.h"
#include "platform/Platform.h"

#include <QDebug>
#include <QFileInfo>

namespace {
constexpr int kPollMs = 100;

QStringList commonArguments()
{
    return {"-nostdin", "-v", "error"};
}

// The container is named, so the output's own suffix does not matter.
QStringList outputArguments(const QString& path)
{
    return {"-f", "mp4", "-y", AudioMuxer::fileArgument(path)};
}
} // namespace

AudioMuxer::AudioMuxer(const QString& audioSourcePath, const QString& soundPath)
    : m_audioSourcePath(audioSourcePath), m_soundPath(soundPath)
{
}

AudioMuxer::~AudioMuxer()
{
    stopSound();
}

QString AudioMuxer::fileArgument(const QString& path)
{
    // "file:" keeps names like "pipe:0.mp4" or "a:b.mp4" from being read as protocols.
    return "file:" + QFileInfo(path).absoluteFilePath();
}

bool AudioMuxer::startSound(QString* error)
{
    // Arguments as a list: quotes or spaces in a file name reach ffmpeg unchanged.
    m_sound = std::make_unique<ChildProcess>();
    m_sound->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_sound->start(platform::ffmpegProgram(), commonArguments()
                                                  + QStringList{"-i", fileArgument(m_audioSourcePath), "-map", "0:a:0",
                                                                "-c:a", "aac", "-strict", "experimental"}
                                                  + outputArguments(m_soundPath));
    return started(*m_sound, error);
}

void AudioMuxer::stopSound()
{
    if (!m_sound)
        return;
    if (m_sound->state() != QProcess::NotRunning) {
        m_sound->kill();
        m_sound->waitForFinished(-1);
    }
    m_sound.reset();
}

AudioMuxer::Result AudioMuxer::mux(const QString& videoPath, const QString& outputPath,
                                   const std::function<bool()>& cancelled, QString* error)
{
    if (m_sound) {
        QString reason;
        QString failure = "the sound was not encoded beforehand";
        Result result = waitFor(*m_sound, cancelled, &reason);
        if (result == Result::Muxed) {
            failure = "the encoded sound could not be copied in";
            result = copyBoth(videoPath, outputPath, cancelled, &reason);
        }
        if (result != Result::Failed)
            return result;
        qWarning().noquote() << "export : " + failure + " (" + reason + "), adding it in one run";
    }
    return run(commonArguments()
                   + QStringList{"-i", fileArgument(videoPath), "-i", fileArgument(m_audioSourcePath), "-c:v", "copy",
                                 "-c:a", "aac", "-strict", "experimental", "-map", "0:v:0", "-map", "1:a:0"}
                   + outputArguments(outputPath),
               cancelled, error);
}

AudioMuxer::Result AudioMuxer::copyBoth(const QString& videoPath, const QString& outputPath,
                                        const std::function<bool()>& cancelled, QString* error) const
{
    // The sound file starts where the source's sound starts (late, in some recordings); without
    // -copyts each input would be moved to start at 0 and the sound come early. Both inputs are
    // files written by libavformat, whose headers say all a copy needs: probing them would
    // decode their first pictures for nothing.
    return run(commonArguments()
                   + QStringList{"-copyts", "-nofind_stream_info", "-i", fileArgument(videoPath),
                                 "-nofind_stream_info", "-i", fileArgument(m_soundPath), "-c", "copy",
                                 "-map", "0:v:0", "-map", "1:a:0"}
                   + outputArguments(outputPath),
               cancelled, error);
}

AudioMuxer::Result AudioMuxer::run(const QStringList& arguments, const std::function<bool()>& cancelled,
                                   QString* error)
{
    ChildProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(platform::ffmpegProgram(), arguments);
    return waitFor(ffmpeg, cancelled, error);
}

bool AudioMuxer::started(ChildProcess& ffmpeg, QString* error)
{
    // A process that has already ended counts as not started for waitForStarted.
    if (ffmpeg.state() == QProcess::Starting)
        ffmpeg.waitForStarted(-1);
    if (ffmpeg.error() != QProcess::FailedToStart)
        return true;
    *error = "cannot start " + platform::ffmpegProgram() + ": " + ffmpeg.errorString();
    return false;
}

AudioMuxer::Result AudioMuxer::waitFor(ChildProcess& ffmpeg, const std::function<bool()>& cancelled, QString* error)
{
    if (!started(ffmpeg, error))
        return Result::Failed;
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
