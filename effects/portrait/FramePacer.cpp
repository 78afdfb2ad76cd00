#include "portrait/FramePacer.h"

#include <cmath>

namespace portrait {

FramePacer::FramePacer(double fps, Clock::time_point start)
    : fps_(fps > 0.0 && fps <= 240.0 ? fps : 25.0), start_(start)
{
}

FramePacer::Clock::time_point FramePacer::due(int64_t frame) const
{
    const auto offset = std::chrono::duration<double>(static_cast<double>(frame) / fps_);
    return start_ + std::chrono::duration_cast<Clock::duration>(offset);
}

int64_t FramePacer::frameAt(Clock::time_point now) const
{
    const Clock::time_point playing = paused_ ? pausedAt_ : now;
    const double seconds = std::chrono::duration<double>(playing - start_).count();
    // A hair of tolerance so that a frame is counted at exactly its due time.
    return seconds < 0 ? 0 : static_cast<int64_t>(std::floor(seconds * fps_ + 1e-6));
}

void FramePacer::pause(Clock::time_point now)
{
    if (paused_)
        return;
    paused_ = true;
    pausedAt_ = now;
}

void FramePacer::resume(Clock::time_point now)
{
    if (!paused_)
        return;
    paused_ = false;
    start_ += now - pausedAt_;
}

} // namespace portrait
