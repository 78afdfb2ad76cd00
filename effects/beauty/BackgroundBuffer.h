#pragma once
// The background picture of the replacement modes, handed over by another thread at any time.
//
// Threading: set() and clear() may be called from any thread, also while a frame is being
// composed. set() copies the caller's bytes into a fresh buffer outside the lock and only
// swaps it in under the internal mutex; a reader takes its reference under the same mutex,
// so it keeps whole the buffer it took even if a new one arrives meanwhile, and never sees a
// half-written one. cover() belongs to the thread that composes frames.
#include <opencv2/core.hpp>

#include <cstdint>
#include <mutex>

namespace beauty {

class BackgroundBuffer {
public:
    // Packed 8-bit BGR, width * height * 3 bytes. A null or empty picture clears it.
    void set(const unsigned char* bgr, int width, int height);
    void clear();
    // The picture scaled to cover size (aspect kept, centred, the overflow cut off); empty when
    // there is no picture. Kept until the picture or the size changes.
    cv::Mat cover(cv::Size size);

private:
    std::mutex mutex_;
    cv::Mat current_;
    uint64_t generation_ = 0;

    cv::Mat cover_;
    uint64_t coverGeneration_ = 0;
};

} // namespace beauty
