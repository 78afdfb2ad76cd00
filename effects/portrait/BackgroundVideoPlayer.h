#pragma once
// Plays a background video on a thread of its own at the video's frame rate, looping, and
// hands every frame (upright, packed BGR) to a delivery function.
//
// Threading: open() and the member functions are called by one controlling thread; delivery
// runs on the player's thread with no lock of the player held. The destructor stops the
// thread and joins it, so no delivery runs after it returns; a delivery must therefore never
// wait for the thread that destroys the player.

#include "common/EffectLog.h"
#include "common/MediaReader.h"
#include "portrait/FramePacer.h"

#include <opencv2/core.hpp>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace portrait {

class BackgroundVideoPlayer {
public:
    using Deliver = std::function<void(const cv::Mat& bgr)>;

    // Opens the file and decodes its first frame. Null, with a reason in error, when the file
    // cannot be opened or ends at once.
    static std::unique_ptr<BackgroundVideoPlayer> open(const std::string& path, int orientation, bool mirror,
                                                       std::string& error);
    ~BackgroundVideoPlayer();

    const cv::Mat& firstFrame() const { return frame_; }
    double fps() const;
    // Starts playback after the first frame, which the caller has shown already.
    void start(Deliver deliver, effects::EffectLog& log);
    void setPlaying(bool playing);

private:
    BackgroundVideoPlayer(int orientation, bool mirror);
    void run();
    void play();
    bool readFrame();
    bool waitUntilDue(int64_t frame);

    const int orientation_;
    const bool mirror_;
    effects::MediaReader reader_;
    cv::Mat decoded_;
    cv::Mat frame_;
    Deliver deliver_;
    effects::EffectLog* log_ = nullptr;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    FramePacer pacer_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace portrait
