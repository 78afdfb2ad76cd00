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

// A black clip at rate (an ffmpeg rate such as "25" or "24000/1001") with one white frame at
// whiteFrame and, when withSound, a 40 ms 1 kHz beep starting at the same instant. Reordered: with
// B-frames, decoded in another order than shown. The container follows the path's suffix.
bool makeSyncClip(const QString& path, const QString& rate, int frames, int whiteFrame, bool withSound,
                  bool reordered = false);
// The same streams as source, with rotation metadata of degrees as a phone writes it.
bool makeRotated(const QString& source, const QString& path, int degrees);

struct BrightFrame {
    int index = -1;     // the first frame whose mean luma is over half scale, -1 for none
    double time = -1;   // its presentation time in seconds
};
BrightFrame firstBrightFrame(const QString& path);
// When the first sound after silence starts, in seconds of the file's timeline; -1 for none.
double firstSoundTime(const QString& path);
// Frame index of the video as ffmpeg shows it (rotation applied), as 8-bit BGR PNG bytes.
QByteArray frameAsPng(const QString& path, int index);

// ffprobe of one stream property ("width", "nb_read_frames", "codec_type"...) of the first
// stream of the given type ("v" or "a"); empty when there is no such stream.
QString probe(const QString& path, const QString& streamType, const QString& entry);

} // namespace TestVideos
