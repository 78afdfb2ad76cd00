#pragma once
#include <QString>

#include <functional>
#include <memory>

class ChildProcess;
class QStringList;

// Puts the video stream of an encoded file and the first audio stream of the source into one
// MP4 file with the external ffmpeg. The sound is encoded to AAC first, into a file of its own,
// while the video is still being encoded, so the mux at the end only copies both streams.
// Paths reach ffmpeg as plain files, never as protocols.
//
// Threading: one thread from startSound to the end (it owns the ffmpeg processes).
class AudioMuxer
{
public:
    enum class Result { Muxed, Failed, Cancelled };

    AudioMuxer(const QString& audioSourcePath, const QString& soundPath);
    // Ends a sound encoding still running.
    ~AudioMuxer();
    AudioMuxer(const AudioMuxer&) = delete;
    AudioMuxer& operator=(const AudioMuxer&) = delete;

    // Starts encoding the source's sound into soundPath, beside the caller's own work. False,
    // with the reason in error, when ffmpeg cannot be started at all: no sound can be added
    // then, and the caller need not encode a video first to learn it.
    bool startSound(QString* error);
    // Ends the sound encoding if it still runs (the export ended without a mux) and lets go of
    // its process, on the thread that started it.
    void stopSound();
    // Writes outputPath (replaced when it exists) from the video and the encoded sound; when the
    // sound could not be encoded beforehand or copied in (an ffmpeg without the options for it),
    // from the video and the source in one run, as without startSound. cancelled is polled while ffmpeg runs and ends it. On Failed, error
    // says why; the caller removes what outputPath holds.
    Result mux(const QString& videoPath, const QString& outputPath, const std::function<bool()>& cancelled,
               QString* error);
    // How ffmpeg is told about a local file.
    static QString fileArgument(const QString& path);

private:
    Result copyBoth(const QString& videoPath, const QString& outputPath, const std::function<bool()>& cancelled,
                    QString* error) const;
    static bool started(ChildProcess& ffmpeg, QString* error);
    static Result waitFor(ChildProcess& ffmpeg, const std::function<bool()>& cancelled, QString* error);
    static Result run(const QStringList& arguments, const std::function<bool()>& cancelled, QString* error);

    const QString m_audioSourcePath;
    const QString m_soundPath;
    std::unique_ptr<ChildProcess> m_sound;
};
