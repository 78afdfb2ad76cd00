#pragma once
#include <opencv2/core.hpp>

#include <functional>
#include <mutex>

class EffectParameters;
struct BeautyFrame;

// One frame through the two effect libraries: beauty analysis, the person mask and the
// composition into NV12. The preview and the export fill the same BeautyFrame record but
// differ in when the mask and the composition run.
class EffectPass
{
public:
    EffectPass(const EffectParameters& parameters, int handle, std::mutex& effectLock);

    // Preview: the caller holds the effect lock. bgr is the W x H working copy of the decoded
    // frame the beauty pass changes, nv12 the (H * 3 / 2) x W output, mask H x W. The mask is
    // worked out from the beautified bgr, where the outline is exactly where it is shown. A
    // skipped output leaves nv12 as it was.
    void preview(cv::Mat& bgr, cv::Mat& nv12, cv::Mat& mask) const;
    // Export frame: every frame gets its own result. feedBackground runs before the mask of a
    // background replacement. False when the library wrote no result (it could not take the
    // frame); bgr then holds what process made of it.
    bool exportFrame(cv::Mat& bgr, cv::Mat& nv12, cv::Mat& mask, const std::function<void()>& feedBackground) const;
    // From now on a background replacement is left out (its background cannot be read).
    void dropBackground() { m_backgroundDropped = true; }

private:
    // Fills the record as process expects it and runs process on bgr in place.
    void processBeauty(BeautyFrame& frame, cv::Mat& bgr) const;
    // The background composition by type; -1 when none applies or matting had no input.
    void setBackgroundMode(BeautyFrame& frame, bool outputSkipped) const;

    const EffectParameters& m_parameters;
    int m_handle;
    std::mutex& m_effectLock;
    bool m_backgroundDropped = false;
};
