// The portrait library through its C interface: masks on a real picture and on generated
// clips (flicker and lag of the temporal smoothing), background pictures, frames and videos,
// and every kind of bad input.
#include "DimScene.h"
#include "ZR_Portrait_SDK.h"
#include "portrait/FramePacer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <chrono>
#include <mutex>
#include <thread>

using namespace ZRPortraitCOM;

namespace {

std::mutex logMutex;
QStringList logLines;

void collectLog(const char* text, int)
{
    std::lock_guard<std::mutex> lock(logMutex);
    logLines << text;
}

int logCount()
{
    std::lock_guard<std::mutex> lock(logMutex);
    return logLines.size();
}

// Every background image the library hands over: its size and mean grey level.
struct Received {
    std::mutex mutex;
    std::vector<double> levels;
    cv::Mat last;
};
Received received;

void collectBackground(const unsigned char* bgr, int width, int height)
{
    const cv::Mat image(height, width, CV_8UC3, const_cast<unsigned char*>(bgr));
    std::lock_guard<std::mutex> lock(received.mutex);
    received.levels.push_back(cv::mean(image)[0]);
    image.copyTo(received.last);
}

size_t receivedCount()
{
    std::lock_guard<std::mutex> lock(received.mutex);
    return received.levels.size();
}

void clearReceived()
{
    std::lock_guard<std::mutex> lock(received.mutex);
    received.levels.clear();
    received.last.release();
}

// Waits (up to a generous limit, never as a measure) until `done` holds.
template <typename F> bool waitFor(F done, int limitMs = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

QString modelsDir()
{
    return qEnvironmentVariable("VYR_BIN_DIR") + "/models";
}

cv::Mat astronaut()
{
    return cv::imread((qEnvironmentVariable("VYR_TESTDATA") + "/astronaut.png").toStdString(), cv::IMREAD_COLOR);
}

cv::Mat messi()
{
    return cv::imread((qEnvironmentVariable("VYR_TESTDATA") + "/messi5.jpg").toStdString(), cv::IMREAD_COLOR);
}

double meanOver(const cv::Mat& mask, const std::vector<cv::Point>& polygon)
{
    cv::Mat region(mask.size(), CV_8U, cv::Scalar(0));
    cv::fillPoly(region, std::vector<std::vector<cv::Point>>{polygon}, cv::Scalar(255));
    return cv::mean(mask, region)[0] / 255.0;
}

cv::Mat maskOf(const cv::Mat& frame)
{
    cv::Mat mask(frame.size(), CV_8U, cv::Scalar(77));
    const cv::Mat packed = frame.isContinuous() ? frame : frame.clone();
    if (zr_effect_bg_mask(packed.data, 0, packed.cols, packed.rows, mask.data, nullptr) != 0)
        return cv::Mat();
    return mask;
}

double meanIn(const cv::Mat& mask, cv::Rect box)
{
    return cv::mean(mask(box))[0] / 255.0;
}

// A 15 fps clip whose frame k is a flat grey of level 20 k.
QString writeCountingVideo(const QTemporaryDir& dir, int frames)
{
    const QString path = dir.filePath("count.avi");
    cv::VideoWriter writer(path.toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 15, cv::Size(64, 48));
    for (int k = 0; k < frames; ++k)
        writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(20 * k)));
    return path;
}

// The clip seen through a camera window over the picture: `shift` moves the window.
cv::Mat cameraView(const cv::Mat& padded, cv::Point2d shift, int border, cv::Size size)
{
    const cv::Mat move = (cv::Mat_<double>(2, 3) << 1, 0, -(border + shift.x), 0, 1, -(border + shift.y));
    cv::Mat view;
    cv::warpAffine(padded, view, move, size, cv::INTER_LINEAR);
    return view;
}

cv::Mat alignBack(const cv::Mat& mask, cv::Point2d shift)
{
    const cv::Mat move = (cv::Mat_<double>(2, 3) << 1, 0, shift.x, 0, 1, shift.y);
    cv::Mat aligned;
    cv::warpAffine(mask, aligned, move, mask.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return aligned;
}

} // namespace

class PortraitLibraryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void missingOrBrokenModelsLeaveMasksEmpty();
    void maskCoversTheAstronautOnly();
    void smoothingCutsFlickerWithoutLag();
    void darkHairOverADarkBackgroundStaysOpaque();
    void stillHeadHoldsItsMaskMovingHeadLeavesNoTrail();
    void maskHonoursTheRectangleAndOrientation();
    void framesAreTheCallersOnceTheCallReturns();
    void pacerPlaysAtTheVideosOwnRate();
    void picturesAndFramesReachTheCallback();
    void badBackgroundsKeepThePreviousOne();
    void videoPlaysLoopsPausesAndResumes();
    void releaseDuringPlaybackStopsEveryCallback();
    void maskToolWritesWhatTheLibrarySees();
};

void PortraitLibraryTest::initTestCase()
{
    zr_effect_log(collectLog, 3);
    QVERIFY2(!astronaut().empty(), "astronaut.png missing from the test data cache");
}

void PortraitLibraryTest::init()
{
    zr_effect_bg_callback(collectBackground);
    zr_effect_set_params(2, false, false, 1, false, 0.07f, false);
    QCOMPARE(zr_effect_bg_init(qPrintable(modelsDir()), 256, ""), 0);
    zr_effect_bg_resetCache();
    clearReceived();
}

void PortraitLibraryTest::missingOrBrokenModelsLeaveMasksEmpty()
{
    QTemporaryDir dir;
    const cv::Mat frame = astronaut();
    int lines = logCount();
    QVERIFY(zr_effect_bg_init(qPrintable(dir.path()), 256, "") < 0);
    QVERIFY(logCount() > lines);
    cv::Mat mask(frame.size(), CV_8U, cv::Scalar(99));
    QVERIFY(zr_effect_bg_mask(frame.data, 0, frame.cols, frame.rows, mask.data, nullptr) < 0);
    QCOMPARE(cv::countNonZero(mask), 0);

    // A truncated copy of the real model, and a picture in its place.
    QFile model(modelsDir() + "/selfie_segmentation.tflite");
    QVERIFY(model.open(QIODevice::ReadOnly));
    QFile cut(dir.filePath("selfie_segmentation.tflite"));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(model.read(model.size() / 3));
    cut.close();
    lines = logCount();
    QVERIFY(zr_effect_bg_init(qPrintable(dir.path()), 256, "") < 0);
    QVERIFY(logCount() > lines);
    QVERIFY(cut.remove());
    QVERIFY(QFile::copy(qEnvironmentVariable("VYR_TESTDATA") + "/astronaut.png", cut.fileName()));
    QVERIFY(zr_effect_bg_init(qPrintable(dir.path()), 256, "") < 0);
    QVERIFY(zr_effect_bg_mask(frame.data, 0, frame.cols, frame.rows, mask.data, nullptr) < 0);

    // Without the landscape model, wide frames fall back to the square one.
    QVERIFY(cut.remove());
    QVERIFY(QFile::copy(model.fileName(), cut.fileName()));
    QCOMPARE(zr_effect_bg_init(qPrintable(dir.path()), 256, ""), -2);
    cv::Mat wide, wideMask(256, 640, CV_8U);
    cv::resize(frame, wide, wideMask.size());
    QCOMPARE(zr_effect_bg_mask(wide.data, 0, wide.cols, wide.rows, wideMask.data, nullptr), 0);
    QVERIFY(cv::countNonZero(wideMask) > 0);

    QVERIFY(zr_effect_bg_init(nullptr, 256, "") < 0);
    QVERIFY(zr_effect_bg_mask(nullptr, 0, frame.cols, frame.rows, mask.data, nullptr) < 0);
    QVERIFY(zr_effect_bg_mask(frame.data, 0, 0, frame.rows, mask.data, nullptr) < 0);
}

void PortraitLibraryTest::maskCoversTheAstronautOnly()
{
    const cv::Mat frame = astronaut();
    for (int preview : {1, 0}) {
        zr_effect_set_params(2, false, false, preview, false, 0.07f, false);
        const cv::Mat mask = maskOf(frame);
        QVERIFY(!mask.empty());
        QCOMPARE(mask.size(), frame.size());
        QVERIFY2(meanIn(mask, {190, 50, 60, 60}) > 0.95, "face");
        QVERIFY2(meanIn(mask, {150, 300, 100, 100}) > 0.95, "suit");
        QVERIFY2(meanIn(mask, {5, 20, 40, 130}) < 0.05, "flag");
        QVERIFY2(meanIn(mask, {380, 40, 70, 180}) < 0.05, "shuttle");
    }
}

// A still person filmed with a gently moving, noisy camera: with the camera motion undone,
// what is left from frame to frame is flicker. Then a person walks across a still background:
// the smoothed mask must not trail the unsmoothed one by more than a frame.
void PortraitLibraryTest::smoothingCutsFlickerWithoutLag()
{
    const int border = 48;
    cv::Mat padded;
    cv::copyMakeBorder(astronaut(), padded, border, border, border, border, cv::BORDER_REFLECT);
    const cv::Size size(512, 512);
    cv::RNG rng(3);
    const auto noisy = [&](const cv::Mat& view) {
        cv::Mat noise(view.size(), CV_16SC3);
        rng.fill(noise, cv::RNG::NORMAL, 0, 4);
        cv::Mat out;
        view.convertTo(out, CV_16SC3);
        out += noise;
        out.convertTo(out, CV_8UC3);
        return out;
    };
    const auto flicker = [&](const std::vector<cv::Mat>& frames, const std::vector<cv::Point2d>& shifts,
                             bool smooth) {
        zr_effect_bg_resetCache();
        cv::Mat previous;
        double sum = 0;
        for (size_t t = 0; t < frames.size(); ++t) {
            if (!smooth)
                zr_effect_bg_resetCache();
            const cv::Mat aligned = alignBack(maskOf(frames[t]), shifts[t]);
            // The first frames let the smoothing settle, as it does in a running preview.
            if (t >= 4) {
                const cv::Rect inside(8, 8, 496, 496);
                cv::Mat change;
                cv::absdiff(aligned(inside), previous(inside), change);
                sum += cv::mean(change)[0];
            }
            previous = aligned;
        }
        return sum / (frames.size() - 4) / 255.0;
    };
    for (double shake : {1.0, 0.0}) {
        std::vector<cv::Mat> frames;
        std::vector<cv::Point2d> shifts;
        for (int t = 0; t < 24; ++t) {
            shifts.emplace_back(shake * 1.5 * std::sin(t * 0.7), shake * std::cos(t * 0.5));
            frames.push_back(noisy(cameraView(padded, shifts.back(), border, size)));
        }
        const double raw = flicker(frames, shifts, false), smoothed = flicker(frames, shifts, true);
        qInfo("flicker (mean mask change per frame, still parts), %s: %.5f unsmoothed, %.5f smoothed, cut %.1fx",
              shake ? "shaking camera" : "still camera", raw, smoothed, raw / smoothed);
        QVERIFY(smoothed * 3 <= raw);
    }

    // The person, cut out with its own mask, walks across a still background.
    const cv::Mat person = astronaut();
    cv::Mat alpha;
    zr_effect_bg_resetCache();
    maskOf(person).convertTo(alpha, CV_32F, 1 / 255.0);
    cv::cvtColor(alpha, alpha, cv::COLOR_GRAY2BGR);
    cv::Mat background(512, 640, CV_8UC3);
    cv::RNG(5).fill(background, cv::RNG::UNIFORM, 60, 200);
    cv::GaussianBlur(background, background, cv::Size(), 6);
    const auto walkingFrame = [&](double x) {
        const cv::Mat move = (cv::Mat_<double>(2, 3) << 1, 0, x, 0, 1, 0);
        cv::Mat moved, movedAlpha, out;
        cv::warpAffine(person, moved, move, background.size());
        cv::warpAffine(alpha, movedAlpha, move, background.size());
        moved.convertTo(moved, CV_32FC3);
        background.convertTo(out, CV_32FC3);
        out = out.mul(cv::Scalar::all(1) - movedAlpha) + moved.mul(movedAlpha);
        out.convertTo(out, CV_8UC3);
        return out;
    };
    for (int speed : {2, 4}) {
        const auto centroids = [&](bool smooth) {
            zr_effect_bg_resetCache();
            std::vector<double> xs;
            for (int t = 0; t < 24; ++t) {
                if (!smooth)
                    zr_effect_bg_resetCache();
                const cv::Moments m = cv::moments(maskOf(walkingFrame(t < 8 ? 0 : speed * (t - 8))), false);
                xs.push_back(m.m10 / m.m00);
            }
            return xs;
        };
        const std::vector<double> rawX = centroids(false), smoothX = centroids(true);
        // Averaged over the walk: single frames differ mostly by the unsmoothed mask's own jitter.
        double lag = 0;
        for (int t = 9; t < 24; ++t)
            lag += (rawX[t] - smoothX[t]) / speed / 15;
        qInfo("lag behind a person moving %d px per frame: %.2f frames", speed, lag);
        QVERIFY(lag <= 1.0);
    }
}

// Dark hair over a dark background: the hair is kept opaque, the background beside and above
// it stays clear, in both modes.
void PortraitLibraryTest::darkHairOverADarkBackgroundStaysOpaque()
{
    const cv::Mat bright = messi();
    QVERIFY2(!bright.empty(), "messi5.jpg missing: run scripts/setup");
    zr_effect_set_params(2, false, false, 0, false, 0.07f, false);
    zr_effect_bg_resetCache();
    const cv::Mat dim = dimscene::dimPortrait(bright, maskOf(bright));
    for (int preview : {1, 0}) {
        zr_effect_set_params(2, false, false, preview, false, 0.07f, false);
        zr_effect_bg_resetCache();
        const cv::Mat mask = maskOf(dim);
        double beside = 0;
        for (const cv::Rect& r : dimscene::besideHair())
            beside = std::max(beside, meanIn(mask, r));
        const double hair = meanOver(mask, dimscene::hairPolygon());
        qInfo("%s: mean alpha %.3f over the hair, at most %.3f beside it", preview ? "preview" : "export", hair, beside);
        QVERIFY(hair >= 0.8);
        QVERIFY(beside <= 0.2);
    }
}

// Clips made with ffmpeg from the dim picture: a still camera with sensor noise must give a
// still mask over the head; a pan must not leave the mask behind the picture.
void PortraitLibraryTest::stillHeadHoldsItsMaskMovingHeadLeavesNoTrail()
{
    using namespace dimscene;
    const cv::Mat bright = messi();
    QVERIFY(!bright.empty());
    QTemporaryDir dir;
    zr_effect_set_params(2, false, false, 0, false, 0.07f, false);
    zr_effect_bg_resetCache();
    const cv::Mat dim = dimPortrait(bright, maskOf(bright));
    const std::vector<cv::Mat> still = stillClip(dim, dir.path().toStdString(), 24);
    const double pxPerFrame = 2;
    const std::vector<cv::Mat> pan = panClip(dim, dir.path().toStdString(), 24, pxPerFrame);
    QVERIFY2(still.size() == 24 && pan.size() == 24, "ffmpeg made no clip");
    zr_effect_set_params(2, false, false, 1, false, 0.07f, false);

    zr_effect_bg_resetCache();
    const auto hair = inClip(hairPolygon(), kStillLeft);
    const cv::Rect head = cv::boundingRect(hair) + cv::Size(0, 160);
    double change = 0, alpha = 0;
    cv::Mat previous;
    for (size_t t = 0; t < still.size(); ++t) {
        const cv::Mat mask = maskOf(still[t]);
        if (t >= 4) {
            cv::Mat difference;
            cv::absdiff(mask(head), previous(head), difference);
            change += cv::mean(difference)[0] / 255.0 / (still.size() - 4);
            alpha += meanOver(mask, hair) / (still.size() - 4);
        }
        previous = mask;
    }
    qInfo("still head: mean mask change per frame %.4f over the head, hair alpha %.3f", change, alpha);
    QVERIFY(change < 0.003);
    QVERIFY(alpha >= 0.8);

    // The smoothed mask against each frame's own mask: the hair region must agree.
    std::vector<cv::Mat> smoothed;
    zr_effect_bg_resetCache();
    for (const cv::Mat& frame : pan)
        smoothed.push_back(maskOf(frame));
    double gap = 0;
    int moving = 0;
    for (int t = 4; t < int(pan.size()); ++t) {
        zr_effect_bg_resetCache();
        const cv::Mat fresh = maskOf(pan[t]);
        cv::Mat difference;
        cv::absdiff(smoothed[t], fresh, difference);
        gap += meanOver(difference, inClip(hairPolygon(), panLeft(t, pxPerFrame)));
        ++moving;
    }
    gap /= moving;
    qInfo("pan of %.0f px a frame: mean alpha gap to the unsmoothed mask over the hair %.3f", pxPerFrame * kScale, gap);
    QVERIFY(gap < 0.05);
}

void PortraitLibraryTest::maskHonoursTheRectangleAndOrientation()
{
    const cv::Mat frame = astronaut();
    const cv::Mat whole = maskOf(frame);
    cv::Mat mask(frame.size(), CV_8U, cv::Scalar(99));
    zreffectrect rect{128, 0, 256, 512};
    zr_effect_bg_resetCache();
    QCOMPARE(zr_effect_bg_mask(frame.data, 0, frame.cols, frame.rows, mask.data, &rect), 0);
    QCOMPARE(cv::countNonZero(mask(cv::Rect(0, 0, 128, 512))), 0);
    QCOMPARE(cv::countNonZero(mask(cv::Rect(384, 0, 128, 512))), 0);
    QVERIFY(meanIn(mask, {190, 50, 60, 60}) > 0.95);

    // Tiny and odd frames, and rectangles partly or wholly outside, are handled, not refused.
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(3, 7), cv::Size(961, 3)}) {
        cv::Mat small, smallMask(size, CV_8U);
        cv::resize(frame, small, size);
        QCOMPARE(zr_effect_bg_mask(small.data, 0, size.width, size.height, smallMask.data, nullptr), 0);
    }
    zreffectrect outside{600, 600, 50, 50}, partly{-20, 400, 100, 200};
    QCOMPARE(zr_effect_bg_mask(frame.data, 0, frame.cols, frame.rows, mask.data, &outside), 0);
    QCOMPARE(cv::countNonZero(mask), 0);
    QCOMPARE(zr_effect_bg_mask(frame.data, 0, frame.cols, frame.rows, mask.data, &partly), 0);
    QCOMPARE(cv::countNonZero(mask(cv::Rect(80, 0, 432, 512))), 0);

    // A frame lying on its side, declared as such, gives the same mask turned the same way.
    cv::Mat turned, turnedMask(512, 512, CV_8U);
    cv::rotate(frame, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
    zr_effect_bg_resetCache();
    QCOMPARE(zr_effect_bg_mask(turned.data, 1, 512, 512, turnedMask.data, nullptr), 0);
    cv::Mat upright;
    cv::rotate(turnedMask, upright, cv::ROTATE_90_CLOCKWISE);
    QVERIFY(cv::mean(cv::abs(upright - whole) + cv::abs(whole - upright))[0] < 2.0);
}

// Between calls the library still looks for the head, ready for the next frame; the frame
// itself is the caller's again as soon as a call returns, so overwriting it then must change
// nothing. At this size the preview works on the frame as given, without a reduced copy.
void PortraitLibraryTest::framesAreTheCallersOnceTheCallReturns()
{
    const int border = 32;
    cv::Mat small, padded;
    cv::resize(astronaut(), small, cv::Size(448, 448), 0, 0, cv::INTER_AREA);
    cv::copyMakeBorder(small, padded, border, border, border, border, cv::BORDER_REPLICATE);
    std::vector<cv::Mat> masks[2];
    for (bool overwrite : {false, true}) {
        zr_effect_bg_resetCache();
        for (int t = 0; t < 8; ++t) {
            cv::Mat frame = cameraView(padded, {3.0 * t, 0}, border, small.size());
            cv::Mat mask(frame.size(), CV_8U);
            QCOMPARE(zr_effect_bg_mask(frame.data, 0, frame.cols, frame.rows, mask.data, nullptr), 0);
            if (overwrite)
                frame.setTo(cv::Scalar::all(0));
            masks[overwrite].push_back(mask);
        }
    }
    for (int t = 0; t < 8; ++t)
        QCOMPARE(cv::norm(masks[0][t], masks[1][t], cv::NORM_INF), 0.0);
}

void PortraitLibraryTest::pacerPlaysAtTheVideosOwnRate()
{
    using portrait::FramePacer;
    const auto start = FramePacer::Clock::now();
    const auto at = [&](double seconds) {
        return start + std::chrono::duration_cast<FramePacer::Clock::duration>(std::chrono::duration<double>(seconds));
    };
    FramePacer pacer(15, start);
    // A 30 fps preview sees a 15 fps background advance every other frame.
    for (int i = 0; i < 60; ++i)
        QCOMPARE(pacer.frameAt(at(i / 30.0)), int64_t(i / 2));
    QVERIFY(pacer.due(15) == at(1.0));
    pacer.pause(at(1.0));
    QCOMPARE(pacer.frameAt(at(5.0)), int64_t(15));
    pacer.resume(at(5.0));
    QCOMPARE(pacer.frameAt(at(5.0 + 2 / 15.0)), int64_t(17));
    QVERIFY(pacer.due(16) == at(5.0 + 1 / 15.0));
    QCOMPARE(FramePacer(0, start).fps(), 25.0);
    QCOMPARE(FramePacer(1e6, start).fps(), 25.0);
}

void PortraitLibraryTest::picturesAndFramesReachTheCallback()
{
    QTemporaryDir dir;
    cv::Mat picture(30, 40, CV_8UC3, cv::Scalar(10, 20, 30));
    picture(cv::Rect(0, 0, 20, 30)).setTo(cv::Scalar(200, 200, 200));
    const QString path = dir.filePath("bg.png");
    QVERIFY(cv::imwrite(path.toStdString(), picture));
    QCOMPARE(zr_effect_bg_pic(qPrintable(path), 0, false), 0);
    QCOMPARE(receivedCount(), size_t(1));
    {
        std::lock_guard<std::mutex> lock(received.mutex);
        QCOMPARE(received.last.size(), picture.size());
        QCOMPARE(cv::norm(received.last, picture, cv::NORM_INF), 0.0);
    }
    // Mirrored: the bright half moves to the right.
    QCOMPARE(zr_effect_bg_mem(picture.data, picture.cols, picture.rows, 0, true), 0);
    QCOMPARE(receivedCount(), size_t(2));
    {
        std::lock_guard<std::mutex> lock(received.mutex);
        cv::Mat flipped;
        cv::flip(picture, flipped, 1);
        QCOMPARE(cv::norm(received.last, flipped, cv::NORM_INF), 0.0);
    }
    // An empty frame changes nothing.
    QCOMPARE(zr_effect_bg_mem(nullptr, 0, 0, 0, false), 0);
    QCOMPARE(receivedCount(), size_t(2));
}

void PortraitLibraryTest::badBackgroundsKeepThePreviousOne()
{
    QTemporaryDir dir;
    const QString good = dir.filePath("bg.png");
    QVERIFY(cv::imwrite(good.toStdString(), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(50))));
    QFile broken(dir.filePath("broken.jpg"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture at all");
    broken.close();
    const QString empty = dir.filePath("empty.avi");
    { cv::VideoWriter(empty.toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 15, cv::Size(64, 48)); }

    QCOMPARE(zr_effect_bg_pic(qPrintable(good), 0, false), 0);
    const int lines = logCount();
    QVERIFY(zr_effect_bg_pic(qPrintable(broken.fileName()), 0, false) < 0);
    QVERIFY(zr_effect_bg_pic(qPrintable(dir.filePath("absent.png")), 0, false) < 0);
    QVERIFY(zr_effect_bg_pic(nullptr, 0, false) < 0);
    QVERIFY(zr_effect_bg_video(qPrintable(broken.fileName()), 0, false) < 0);
    QVERIFY(zr_effect_bg_video(qPrintable(empty), 0, false) < 0);
    QVERIFY(zr_effect_bg_mem(nullptr, 10, 10, 0, false) < 0);
    QVERIFY(zr_effect_bg_mem(reinterpret_cast<const unsigned char*>("x"), -1, 10, 0, false) < 0);
    QCOMPARE(logCount(), lines + 7);
    QCOMPARE(receivedCount(), size_t(1));

    // A failed switch away from a playing video leaves it playing.
    QCOMPARE(zr_effect_bg_video(qPrintable(writeCountingVideo(dir, 6)), 0, false), 0);
    QVERIFY(zr_effect_bg_video(qPrintable(empty), 0, false) < 0);
    const size_t before = receivedCount();
    QVERIFY(waitFor([&] { return receivedCount() > before + 2; }));
    QCOMPARE(zr_effect_bg_video(nullptr, 0, false), 0);
}

void PortraitLibraryTest::videoPlaysLoopsPausesAndResumes()
{
    QTemporaryDir dir;
    const int frames = 6;
    QCOMPARE(zr_effect_bg_video(qPrintable(writeCountingVideo(dir, frames)), 0, false), 0);
    QVERIFY(receivedCount() >= 1);  // the first frame at once, before playback starts
    const auto start = std::chrono::steady_clock::now();
    QVERIFY(waitFor([&] { return receivedCount() >= size_t(2 * frames + 1); }));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    qInfo("background video: %d frames in %.2f s (file at 15 fps)", 2 * frames, seconds);
    {
        std::lock_guard<std::mutex> lock(received.mutex);
        for (size_t i = 0; i <= size_t(2 * frames); ++i)
            QVERIFY2(std::abs(received.levels[i] - 20.0 * (i % frames)) < 4,
                     qPrintable(QString("frame %1 has level %2").arg(i).arg(received.levels[i])));
    }
    zr_effect_bg_video_state(VIDEO_PAUSE);
    const size_t paused = receivedCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    QVERIFY(receivedCount() <= paused + 1);  // at most one frame already on its way
    const size_t resumedFrom = receivedCount();
    zr_effect_bg_video_state(VIDEO_PLAY);
    QVERIFY(waitFor([&] { return receivedCount() >= resumedFrom + 3; }));
    {
        // Resuming continues the sequence where it stopped.
        std::lock_guard<std::mutex> lock(received.mutex);
        const int last = cvRound(received.levels[resumedFrom - 1] / 20.0);
        QVERIFY(std::abs(received.levels[resumedFrom] - 20.0 * ((last + 1) % frames)) < 4);
    }
    QCOMPARE(zr_effect_bg_video(nullptr, 0, false), 0);
    const size_t dropped = receivedCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    QCOMPARE(receivedCount(), dropped);
}

void PortraitLibraryTest::releaseDuringPlaybackStopsEveryCallback()
{
    QTemporaryDir dir;
    QCOMPARE(zr_effect_bg_video(qPrintable(writeCountingVideo(dir, 6)), 0, false), 0);
    QVERIFY(waitFor([&] { return receivedCount() >= 3; }));
    zr_effect_bg_release();
    const size_t released = receivedCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QCOMPARE(receivedCount(), released);
    // Closed: no mask until the models are loaded again.
    const cv::Mat frame = astronaut();
    cv::Mat mask(frame.size(), CV_8U);
    QVERIFY(zr_effect_bg_mask(frame.data, 0, frame.cols, frame.rows, mask.data, nullptr) < 0);
}

void PortraitLibraryTest::maskToolWritesWhatTheLibrarySees()
{
    QTemporaryDir dir;
    const QString tool = qEnvironmentVariable("VYR_BIN_DIR") + "/vyr-mask";
    const QString picture = qEnvironmentVariable("VYR_TESTDATA") + "/astronaut.png";
    for (const QStringList& mode : {QStringList(), QStringList{"--export"}}) {
        const QString out = dir.filePath("mask%1.png").arg(mode.size());
        QProcess run;
        run.start(tool, QStringList{picture, out} + mode);
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 0);
        const cv::Mat mask = cv::imread(out.toStdString(), cv::IMREAD_UNCHANGED);
        QCOMPARE(mask.type(), CV_8UC1);
        QCOMPARE(mask.size(), cv::Size(512, 512));
        QVERIFY(meanIn(mask, {190, 50, 60, 60}) > 0.95 && meanIn(mask, {380, 40, 70, 180}) < 0.05);
    }
    // Bad arguments end with a message, not an abort: no picture, no writer for the name's
    // ending, a folder as the output.
    for (const QStringList& bad : {QStringList{dir.filePath("absent.png"), dir.filePath("x.png")},
                                   QStringList{picture}, QStringList{picture, dir.filePath("mask.xyz")},
                                   QStringList{picture, dir.path()}}) {
        QProcess run;
        run.start(tool, bad);
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QVERIFY(run.exitCode() != 0);
    }
}

QTEST_GUILESS_MAIN(PortraitLibraryTest)
#include "PortraitLibraryTest.moc"
