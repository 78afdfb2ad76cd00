#pragma once
// What bench-engine measures clips with: the clips themselves, timed programs, quality and
// bitrate of an encoded file.
#include <QString>
#include <QStringList>

namespace bench {

// Wall and processor seconds (user and system, the program and its children) of one run.
struct Timing {
    bool ok = false;
    double wallSeconds = 0;
    double cpuSeconds = 0;
};

// Runs a program to its end; ok when it exited with 0.
Timing timeProgram(const QString& program, const QStringList& arguments);
bool runProgram(const QString& program, const QStringList& arguments);

// A 30 fps clip with a 440 Hz tone. The portrait clip is a photograph with a face on a wall,
// panning slowly, with fresh sensor noise every frame, encoded at 4 bits per pixel and second
// (8.3 Mbit/s at 1080p) like a phone's; without the photograph it is the test pattern.
bool makeTestPattern(const QString& path, int width, int height, int frames);
bool makePortraitClip(const QString& path, int width, int height, int frames);

struct Quality {
    double psnr = 0;
    double ssim = 0;
};
// PSNR (dB, average of the planes) and SSIM (all planes) of a file against its reference.
Quality qualityOf(const QString& encoded, const QString& reference);
// The video stream's bitrate in bit/s; the container's (decoder's) figure in kbit/s.
double videoBitrate(const QString& path);
int containerKbps(const QString& path);

} // namespace bench
