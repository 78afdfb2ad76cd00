#pragma once
#include "AudioMuxer.h"

#include <QString>

#include <functional>

class FrameQueue;
class H264Writer;

// The writer side of an export (runs on a task pool thread): encodes the queued NV12 frames into
// the temporary file, muxes the source's audio beside them and puts the finished file at the
// output name in one step. The output name never holds anything but a complete export, and
// an existing file is never replaced.
class ExportWriter
{
public:
    struct Job {
        QString sourcePath;
        QString temporaryPath;
        // Where ffmpeg writes the file with sound before it is moved to the output name.
        QString muxPath;
        // Where the source's sound is encoded while the video is.
        QString soundPath;
        // The output name is made from the source's folder and name and this time stamp.
        qint64 startedMs = 0;
        double rate = 30;
        int bitrate = 0; // the source's, kbit/s as the decoder reports it
        int width = 0;
        int height = 0;
        int total = 1;
        bool sourceHasAudio = true;
        // False when no effect changes a pixel: the frames then come straight from the decoder.
        bool effectsRun = true;
        // The settings key msmf: a platform encoder, which this system does not have.
        bool preferPlatformEncoder = false;
    };
    enum class Outcome { Finished, Cancelled, Failed };

    ExportWriter(FrameQueue& queue, const Job& job, std::function<void(float)> progress);

    Outcome run();
    // Why the export failed (for the user), after Outcome::Failed.
    QString failure() const { return m_failure; }
    // Where the export was written, after Outcome::Finished.
    QString outputPath() const { return m_outputPath; }

    // "Lumetra_<ms since 1970>_<name>" beside the source, always an .mp4; attempt n > 0 adds
    // "_n" before the suffix. The source name is shortened when the whole name would be longer
    // than a file name may be.
    static QString outputPathFor(const QString& sourcePath, qint64 msSinceEpoch, int attempt = 0);
    // The per-process temporary files of this folder whose process has ended.
    static void removeStaleFiles(const QString& dataDirectory);
    // The temporary, mux and sound files of this process.
    static QString temporaryPathIn(const QString& dataDirectory);
    static QString muxPathIn(const QString& dataDirectory);
    static QString soundPathIn(const QString& dataDirectory);

private:
    Outcome encode();
    bool openWriter(H264Writer& writer) const;
    Outcome fail(const QString& message);
    Outcome finish(int written);
    Outcome addSound(int written, QString& result);
    bool placeOutput(const QString& result);

    FrameQueue& m_queue;
    Job m_job;
    AudioMuxer m_muxer;
    std::function<void(float)> m_progress;
    QString m_failure;
    QString m_outputPath;
};
