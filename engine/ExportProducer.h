#pragma once
#include "ExportWriter.h"
#include "FrameQueue.h"

#include <QByteArray>
#include <QString>

#include <opencv2/core.hpp>

#include <functional>
#include <future>
#include <memory>

class EffectParameters;
class EffectPass;
class LibraryHost;
class VideoSource;

// The export of one video with the current effects: decodes ahead on a thread of its own,
// processes every frame on the calling (engine) thread, hands the NV12 results to the writer on
// the task pool through a bounded queue,
// and reports progress and the end through its output.
class ExportProducer
{
public:
    struct Output {
        std::function<void(float percent)> progress;
        std::function<void(const char* path)> finished;
        std::function<void(const QString& message)> failed;
        std::function<void(const QString& message)> warning;
        std::function<void()> cancelled;
    };

    ExportProducer(const EffectParameters& parameters, const LibraryHost& libraries, Output output);
    // A writer still encoding refers to this producer: it is ended first.
    ~ExportProducer();

    // Returns when the writer has finished with the export too.
    void run(const char* path);
    // From any thread: the running export stops and reports itself cancelled.
    void cancel();

private:
    bool exportFrame(cv::Mat&& frame, int count, EffectPass& pass);
    void produceFrames(VideoSource& capture, const cv::Size& size, bool untouched, EffectPass& pass);
    // False when the chosen background video cannot be read.
    bool openBackgroundCapture(double rate);
    bool openBackground();
    // Exports without the background of this kind ("video", "picture") at path, and says so.
    void dropBackground(EffectPass& pass, const QString& kind, const QByteArray& path);
    void feedBackgroundFrame(int count, EffectPass& pass);
    void runWriter(const ExportWriter::Job& job);

    const EffectParameters& m_parameters;
    const LibraryHost& m_libraries;
    Output m_output;
    FrameQueue m_queue;
    std::future<void> m_writer;
    // onSaveOver points into it: valid until the next export.
    QByteArray m_outputPath;
    std::unique_ptr<VideoSource> m_backgroundCapture;
    float m_backgroundRatio = 1.0f;
    int m_backgroundCounter = 0;
    cv::Mat m_mask;
};
