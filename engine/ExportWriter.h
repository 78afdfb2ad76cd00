#pragma once
#include <QString>

#include <functional>

class FrameQueue;
class H264Writer;

// The writer side of an export (runs on a task pool thread): encodes the queued NV12 frames into
// the temporary file, copies it to the output and muxes the source's audio into it.
class ExportWriter
{
public:
    struct Job {
        QString sourcePath;
        QString temporaryPath;
        QString outputPath;
        double rate = 30;
        int bitrate = 0; // the source's, kbit/s as the decoder reports it
        int width = 0;
        int height = 0;
        int total = 1;
        // The settings key msmf: a platform encoder, which this system does not have.
        bool preferPlatformEncoder = false;
    };
    enum class Outcome { Finished, Cancelled, Failed };

    ExportWriter(FrameQueue& queue, const Job& job, std::function<void(float)> progress);

    Outcome run();
    // Why the export failed (for the user), after Outcome::Failed.
    QString failure() const { return m_failure; }

    // "Lumetra_<ms since 1970>_<name>" beside the source.
    static QString outputPathFor(const QString& sourcePath, qint64 msSinceEpoch);

private:
    Outcome encode();
    bool openWriter(H264Writer& writer) const;
    Outcome fail(const QString& message);
    Outcome finish(int written);

    FrameQueue& m_queue;
    Job m_job;
    std::function<void(float)> m_progress;
    QString m_failure;
};
