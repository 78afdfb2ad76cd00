#pragma once
#include <QString>

#include <functional>

// Puts the video stream of an encoded file and the first audio stream of the source into one
// MP4 file with the external ffmpeg. Paths reach ffmpeg as plain files, never as protocols.
class AudioMuxer
{
public:
    enum class Result { Muxed, Failed, Cancelled };

    // Writes outputPath (replaced when it exists). cancelled is polled while ffmpeg runs and
    // ends it. On Failed, error says why; the caller removes what outputPath holds.
    static Result mux(const QString& videoPath, const QString& audioSourcePath, const QString& outputPath,
                      const std::function<bool()>& cancelled, QString* error);
    // How ffmpeg is told about a local file.
    static QString fileArgument(const QString& path);
};
