#pragma once
#include <QString>

// Puts the first audio stream of a source beside an encoded video stream with the external
// ffmpeg. The result appears at the output path only when ffmpeg succeeded: it writes a
// partial file beside the output and that file replaces the output at the end.
class AudioMuxer
{
public:
    // False (the output left as it was) when ffmpeg is missing, fails or the source has no audio.
    static bool mux(const QString& videoPath, const QString& audioSourcePath, const QString& outputPath);

private:
    static QString partialPath(const QString& outputPath);
};
