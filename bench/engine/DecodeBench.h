#pragma once
// Decoding on its own, as the preview and the export without effects need their frames: the
// one-pass reads of VideoSource next to the road through OpenCV's decoder that they replace
// (full-size BGR, then cv::resize or the BGR to NV12 conversion).
#include <QStringList>

namespace bench {

// Child side: decodes every frame of arguments (road, clip) one way; 0 when it read any.
int decodeChild(const QStringList& arguments);
void benchDecode(const QString& clip, int frames);

} // namespace bench
