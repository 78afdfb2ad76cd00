#pragma once
#include <QString>
#include <QStringList>

// Small clips made with ffmpeg's test sources, for the engine and export tests.
namespace TestVideos {

// Writes a clip of frames frames at fps into path; with a 440 Hz tone when withAudio.
bool make(const QString& path, int width, int height, int fps, int frames, bool withAudio);
// A file with an mp4 name that holds no video.
bool makeCorrupt(const QString& path);
bool makeEmpty(const QString& path);

// ffprobe of one stream property ("width", "nb_read_frames", "codec_type"...) of the first
// stream of the given type ("v" or "a"); empty when there is no such stream.
QString probe(const QString& path, const QString& streamType, const QString& entry);

} // namespace TestVideos
