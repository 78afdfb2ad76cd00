#include "portrait/PortraitLibrary.h"

#include "common/MediaReader.h"
#include "portrait/Orientation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace portrait {
namespace {

// The mask is refined and smoothed at a reduced size and only the alpha is scaled up: the
// preview at about its own size, the export at twice that (a quarter of the full size's work
// at 1080p; the guided edge is still finer than the model's grid by a factor of four).
constexpr int kPreviewLongSide = 480, kExportLongSide = 960;
constexpr MaskRefiner::Settings kRefine{2.0, 1e-3};
// Frames at least this much wider than tall go to the landscape model: it is shaped like
// them, so nothing is squeezed, and it has about half the work.
constexpr double kLandscapeAspect = 1.4;
constexpr float kDefaultThreshold = 0.07f;

cv::Size workSize(cv::Size frame, int most)
{
    const int longSide = std::max(frame.width, frame.height);
    if (longSide <= most)
        return frame;
    const double scale = double(most) / longSide;
    return {std::max(1, cvRound(frame.width * scale)), std::max(1, cvRound(frame.height * scale))};
}

} // namespace

PortraitLibrary& PortraitLibrary::instance()
{
    static PortraitLibrary library;
    return library;
}

void PortraitLibrary::setMode(bool preview, float threshold)
{
    std::lock_guard<std::mutex> lock(maskMutex_);
    if (preview != preview_) {
        forgetSequence();
    }
    preview_ = preview;
    threshold_ = std::isfinite(threshold) && threshold >= 0.f && threshold < 0.5f ? threshold : kDefaultThreshold;
}

int PortraitLibrary::init(const std::string& modelsDir)
{
    std::lock_guard<std::mutex> lock(maskMutex_);
    waitForHeadSearch();
    std::string error;
    general_ = PersonSegmenter::load(modelsDir + "/selfie_segmentation.tflite", error);
    if (!general_) {
        log_.write(effects::EffectLog::Error, "model not loaded, matting is off: " + error);
        landscape_.reset();
        return -1;
    }
    closeUpModel_ = PersonSegmenter::load(modelsDir + "/selfie_segmentation.tflite", error);
    if (!head_.load(modelsDir, error))
        log_.write(effects::EffectLog::Warning, "no face detector, heads get no closer look: " + error);
    landscape_ = PersonSegmenter::load(modelsDir + "/selfie_segmentation_landscape.tflite", error);
    lastModel_ = nullptr;
    forgetSequence();
    warnedUninitialised_ = false;
    if (!landscape_) {
        log_.write(effects::EffectLog::Error, "model not loaded, wide frames use the square model: " + error);
        return -2;
    }
    log_.write(effects::EffectLog::Info, "models loaded from " + modelsDir);
    return 0;
}

int PortraitLibrary::mask(const cv::Mat& frame, int orientation, cv::Rect area, unsigned char* out)
{
    cv::Mat result(frame.size(), CV_8U, out);
    std::lock_guard<std::mutex> lock(maskMutex_);
    waitForHeadSearch();
    area &= cv::Rect(0, 0, frame.cols, frame.rows);
    if (!general_ || area.empty()) {
        result.setTo(0);
        if (!general_ && !warnedUninitialised_)
            log_.write(effects::EffectLog::Warning, "no model loaded, masks stay empty");
        warnedUninitialised_ = warnedUninitialised_ || !general_;
        return general_ ? 0 : -2;
    }
    if (area.size() != frame.size())
        result.setTo(0);
    cv::Mat region = result(area);
    if (orientation % 4 == 0) {
        computeMask(frame(area), region);
        return 0;
    }
    orient(frame(area), orientation, false, upright_);
    uprightMask_.create(upright_.size(), CV_8U);
    computeMask(upright_, uprightMask_);
    unorient(uprightMask_, orientation, false, orientedMask_);
    orientedMask_.copyTo(region);
    return 0;
}

void PortraitLibrary::computeMask(const cv::Mat& upright, cv::Mat& mask)
{
    const bool wide = upright.cols >= kLandscapeAspect * upright.rows;
    PersonSegmenter* model = wide && landscape_ ? landscape_.get() : general_.get();
    if (model != lastModel_)
        smoother_.reset();
    lastModel_ = model;
    const cv::Size work = workSize(upright.size(), preview_ ? kPreviewLongSide : kExportLongSide);
    const bool scaled = work != upright.size();
    if (scaled) {
        shrinker_.shrink(upright, work, workFrame_);
        workMask_.create(work, CV_8U);
    }
    const cv::Mat& picture = scaled ? workFrame_ : upright;
    cv::Mat& target = scaled ? workMask_ : mask;
    // The head's close look (the model on the square around the face) shares nothing with the
    // frame's own segmentation but the picture, so it runs on the library's thread meanwhile.
    // Its square is placed by the face found before this frame (the detector follows a face
    // every second frame, so up to two frames before): the square is far larger than a head
    // moves in two frames. The face in this frame is then looked for after the call has
    // returned, ready for the next one. A close look that still holds is blended in again
    // without either, and that thread measures what moved in the picture instead while the
    // frame's model runs. The head is looked for only where a closer look at it can be taken.
    const bool lookAgain = closeUpModel_ && !closeUp_.holdsStill(picture);
    if (lookAgain && faceFoundIn_ != picture.size())
        findHead(picture);
    const auto lookClosely = [&] {
        if (face_.empty() || !closeUp_.look(picture, face_, *closeUpModel_))
            closeUp_.reset();
    };
    const auto observe = [&] { smoother_.observe(model->small(), work); };
    const auto segmentFrame = [&] {
        cv::resize(model->run(), probability_, picture.size(), 0, 0, cv::INTER_LINEAR);
        if (lookAgain)
            observe();
    };
    model->show(picture);
    side_.runBeside(lookAgain ? std::function<void()>(lookClosely) : observe, segmentFrame);
    if (closeUp_.holds())
        closeUp_.blendInto(probability_);
    refiner_.refine(probability_, std::max(model->inputSize().width, model->inputSize().height), picture, kRefine,
                    threshold_, target);
    smoother_.apply(target);
    if (scaled)
        cv::resize(workMask_, mask, mask.size(), 0, 0, cv::INTER_LINEAR);
    if (lookAgain)
        startHeadSearch(picture);
}

void PortraitLibrary::findHead(const cv::Mat& picture)
{
    face_ = head_.find(picture);
    faceFoundIn_ = picture.size();
}

void PortraitLibrary::startHeadSearch(const cv::Mat& picture)
{
    // The caller may change its frame once the call has returned; the reduced work frame is
    // the library's own until the next call.
    const cv::Mat* searched = &workFrame_;
    if (picture.data != workFrame_.data) {
        picture.copyTo(searched_);
        searched = &searched_;
    }
    side_.start([this, searched] { findHead(*searched); });
}

void PortraitLibrary::waitForHeadSearch()
{
    try {
        side_.finish();
    } catch (const std::exception& e) {
        face_ = cv::Rect2f();
        log_.write(effects::EffectLog::Error, std::string("looking for the head failed: ") + e.what());
    }
}

void PortraitLibrary::forgetSequence()
{
    waitForHeadSearch();
    smoother_.reset();
    head_.reset();
    face_ = cv::Rect2f();
    faceFoundIn_ = cv::Size();
    closeUp_.reset();
}

void PortraitLibrary::resetCache()
{
    std::lock_guard<std::mutex> lock(maskMutex_);
    forgetSequence();
}

void PortraitLibrary::setCallback(ImageCallback callback)
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback_ = callback;
}

void PortraitLibrary::deliver(const cv::Mat& bgr)
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    if (!callback_)
        return;
    if (bgr.isContinuous()) {
        callback_(bgr.data, bgr.cols, bgr.rows);
    } else {
        bgr.copyTo(delivered_);
        callback_(delivered_.data, delivered_.cols, delivered_.rows);
    }
}

int PortraitLibrary::setPicture(const std::string& path, int orientation, bool mirror)
{
    std::lock_guard<std::mutex> lock(backgroundMutex_);
    std::string error;
    const cv::Mat picture = effects::MediaReader::readPicture(path, error);
    if (picture.empty()) {
        log_.write(effects::EffectLog::Warning, "background picture not decoded, keeping the previous one: " + error);
        return -1;
    }
    player_.reset();
    cv::Mat upright;
    orient(picture, orientation, mirror, upright);
    deliver(upright);
    return 0;
}

int PortraitLibrary::setVideo(const char* path, int orientation, bool mirror)
{
    std::lock_guard<std::mutex> lock(backgroundMutex_);
    if (!path) {
        player_.reset();
        return 0;
    }
    std::string error;
    auto player = BackgroundVideoPlayer::open(path, orientation, mirror, error);
    if (!player) {
        log_.write(effects::EffectLog::Warning, error + ", keeping the previous background");
        return -1;
    }
    player_.reset();
    deliver(player->firstFrame());
    player->start([this](const cv::Mat& bgr) { deliver(bgr); }, log_);
    player_ = std::move(player);
    return 0;
}

void PortraitLibrary::setVideoPlaying(bool playing)
{
    std::lock_guard<std::mutex> lock(backgroundMutex_);
    if (player_)
        player_->setPlaying(playing);
}

int PortraitLibrary::setFrame(const cv::Mat& bgr, int orientation, bool mirror)
{
    std::lock_guard<std::mutex> lock(backgroundMutex_);
    player_.reset();
    cv::Mat upright;
    orient(bgr, orientation, mirror, upright);
    deliver(upright);
    return 0;
}

void PortraitLibrary::release()
{
    {
        std::lock_guard<std::mutex> lock(backgroundMutex_);
        player_.reset();
    }
    setCallback(nullptr);
    std::lock_guard<std::mutex> lock(maskMutex_);
    general_.reset();
    landscape_.reset();
    closeUpModel_.reset();
    lastModel_ = nullptr;
    forgetSequence();
}

} // namespace portrait
