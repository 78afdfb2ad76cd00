#pragma once
// The H.264 writer on its own: speed and quality of each x264 preset at the export bitrate,
// next to the ffmpeg program encoding the same frames with the same settings.
#include <QStringList>

namespace bench {

// Child side: encodes the raw NV12 frames of arguments (raw file, width, height, preset,
// bit/s, output) with the writer; 0 when the file was finished.
int encodeRawChild(const QStringList& arguments);
void benchWriterPresets(const QString& dir, int width, int height, int frames);

} // namespace bench
