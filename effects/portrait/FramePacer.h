#pragma once
// When each frame of a background video is due: frame k at k / fps seconds of play time,
// where play time stops while paused. Pure arithmetic on the times it is given.

#include <chrono>
#include <cstdint>

namespace portrait {

class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // Frame rates outside (0, 240] (unknown or broken files) play at 25 fps.
    FramePacer(double fps, Clock::time_point start);

    Clock::time_point due(int64_t frame) const;
    // The frame that should be on screen at `now` (the last one due).
    int64_t frameAt(Clock::time_point now) const;
    void pause(Clock::time_point now);
    void resume(Clock::time_point now);
    bool paused() const { return paused_; }
    double fps() const { return fps_; }

private:
    double fps_;
    Clock::time_point start_;
    Clock::time_point pausedAt_;
    bool paused_ = false;
};

} // namespace portrait
