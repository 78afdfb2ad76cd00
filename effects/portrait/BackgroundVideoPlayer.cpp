#include "portrait/BackgroundVideoPlayer.h"

#include "portrait/Orientation.h"

namespace portrait {

std::unique_ptr<BackgroundVideoPlayer> BackgroundVideoPlayer::open(const std::string& path, int orientation,
                                                                   bool mirror, std::string& error)
{
    std::unique_ptr<BackgroundVideoPlayer> player(new BackgroundVideoPlayer(orientation, mirror));
    if (!player->reader_.open(path, error)) {
        error = "background video not opened: " + error;
        return nullptr;
    }
    if (!player->readFrame()) {
        error = "background video has no frame: " + path;
        return nullptr;
    }
    player->pacer_ = FramePacer(player->reader_.fps(), FramePacer::Clock::now());
    return player;
}

BackgroundVideoPlayer::BackgroundVideoPlayer(int orientation, bool mirror)
    : orientation_(orientation), mirror_(mirror), pacer_(0.0, FramePacer::Clock::now())
{
}

BackgroundVideoPlayer::~BackgroundVideoPlayer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

double BackgroundVideoPlayer::fps() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pacer_.fps();
}

void BackgroundVideoPlayer::start(Deliver deliver, effects::EffectLog& log)
{
    deliver_ = std::move(deliver);
    log_ = &log;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pacer_ = FramePacer(pacer_.fps(), FramePacer::Clock::now());
    }
    thread_ = std::thread(&BackgroundVideoPlayer::run, this);
}

void BackgroundVideoPlayer::setPlaying(bool playing)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (playing)
            pacer_.resume(FramePacer::Clock::now());
        else
            pacer_.pause(FramePacer::Clock::now());
    }
    wake_.notify_all();
}

bool BackgroundVideoPlayer::readFrame()
{
    if (!reader_.read(decoded_))
        return false;
    orient(decoded_, orientation_, mirror_, frame_);
    return true;
}

// False when asked to stop.
bool BackgroundVideoPlayer::waitUntilDue(int64_t frame)
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (pacer_.paused())
            wake_.wait(lock);
        else if (FramePacer::Clock::now() < pacer_.due(frame))
            wake_.wait_until(lock, pacer_.due(frame));
        else
            return true;
    }
    return false;
}

void BackgroundVideoPlayer::run()
{
    // An exception leaving this thread would end the host process.
    try {
        play();
    } catch (const std::exception& e) {
        log_->write(effects::EffectLog::Error, std::string("background video stopped: ") + e.what());
    }
}

void BackgroundVideoPlayer::play()
{
    for (int64_t frame = 1;; ++frame) {
        if (!readFrame()) {
            // End of the file: start it again from the top.
            std::string error;
            if (!reader_.rewind(error) || !readFrame()) {
                log_->write(effects::EffectLog::Warning, "background video stopped, cannot restart it: " +
                                                             (error.empty() ? "no frame after reopening" : error));
                return;
            }
        }
        if (!waitUntilDue(frame))
            return;
        deliver_(frame_);
        // A slow decoder drops behind instead of rushing frames out to catch up.
        std::lock_guard<std::mutex> lock(mutex_);
        frame = std::max(frame, pacer_.frameAt(FramePacer::Clock::now()) - 1);
    }
}

} // namespace portrait
