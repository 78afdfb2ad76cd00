// The preview loop on real clips: first frame, re-renders, positions, looping, sizes, stops.
#include "TestVideos.h"

#include "engine/ProcessBeauty.h"
#include "engine/TaskPool.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <functional>
#include <thread>

// Stands in for the display widget: counts what the engine hands over.
class FrameSink : public QObject
{
    Q_OBJECT
public:
    int frames = 0;
    QSize lastSize;
    QImage lastImage;
    // Runs inside the hand-off, then the hand-off is held for holdMs.
    std::function<void()> whileHeld;
    int holdMs = 0;

public slots:
    void setPixmap(const QPixmap& pix)
    {
        ++frames;
        lastSize = pix.size();
        lastImage = pix.toImage();
        if (!holdMs)
            return;
        whileHeld();
        std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    }
};

class PreviewTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void previewSizes_data();
    void previewSizes();
    void firstFrameIsShownPausedAfterThreePasses();
    void firstFrameAfterMattingWasEnabledTakesFivePasses();
    void settersOnAPausedFrameRenderOnceEach();
    void playingReportsPositionsAndLoops();
    void framesAreScaledToTheDisplay();
    void phoneVideosShowUpright_data();
    void phoneVideosShowUpright();
    void blurredBackgroundLeavesThePersonSharp();
    void realFrameRateGivesDurationPositionsAndPace();
    void unreadableFilesEndEachPassAtOnce_data();
    void unreadableFilesEndEachPassAtOnce();
    void stopOnIdleAndPausedReturnsAtOnce();
    void stopReleasesALoopBlockedInTheHandOff();
    void stopReplacesTheThreadOfAStuckLoop();

private:
    void start(const QString& path);
    bool stopFromPool(int timeoutMs);

    QTemporaryDir m_dir;
    QString m_clip25;
    QString m_clip30;
    FrameSink* m_sink = nullptr;
    ProcessBeauty* m_engine = nullptr;
    QThread* m_thread = nullptr;
    QByteArray m_path;
    QList<long> m_costs;
    QList<long> m_durations;
    std::atomic<bool> m_loopOnFreshThread{false};
};

void PreviewTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip25 = m_dir.filePath("clip25.mp4");
    m_clip30 = m_dir.filePath("clip30.mp4");
    QVERIFY(TestVideos::make(m_clip25, 320, 240, 25, 50, true));
    QVERIFY(TestVideos::make(m_clip30, 1281, 721, 30, 30, false));
}

void PreviewTest::init()
{
    m_sink = new FrameSink;
    m_engine = new ProcessBeauty(m_sink);
    m_engine->setDisplaySize(QSize(910, 650));
    m_thread = new QThread;
    m_engine->moveToThread(m_thread);
    m_thread->start();
    m_costs.clear();
    m_durations.clear();
    connect(m_engine, &ProcessBeauty::onCostTime, this, [this](long cost) { m_costs << cost; });
    connect(m_engine, &ProcessBeauty::onDuration, this, [this](long seconds) { m_durations << seconds; });
    // Whether the loop runs on a system thread that has not run a loop before (thread ids may be
    // reused, thread-local storage is not).
    connect(m_engine, &ProcessBeauty::onDuration, m_engine, [this] {
        static thread_local bool ranBefore = false;
        m_loopOnFreshThread = !ranBefore;
        ranBefore = true;
    }, Qt::DirectConnection);
}

void PreviewTest::cleanup()
{
    QVERIFY(stopFromPool(10000));
    QThread* thread = m_engine->thread();
    thread->quit();
    thread->wait();
    delete m_engine;
    delete thread;
    delete m_sink;
    // Signals the stopped engine queued for this object must not reach the next case.
    QCoreApplication::sendPostedEvents();
}

void PreviewTest::start(const QString& path)
{
    m_path = path.toUtf8();
    QMetaObject::invokeMethod(m_engine, "process", Qt::QueuedConnection, Q_ARG(const char*, m_path.constData()));
}

// As the main window does: the stop runs on the task pool while the GUI thread keeps serving
// the frame hand-off.
bool PreviewTest::stopFromPool(int timeoutMs)
{
    auto stopped = TaskPool::instance().enqueue([this] { m_engine->stopProcessing(false, false); });
    QElapsedTimer timer;
    timer.start();
    while (stopped.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        QCoreApplication::processEvents();
        if (timer.elapsed() > timeoutMs)
            return false;
    }
    return true;
}

void PreviewTest::previewSizes_data()
{
    QTest::addColumn<QSize>("video");
    QTest::addColumn<QSize>("display");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("1080p wide") << QSize(1920, 1080) << QSize(910, 650) << QSize(904, 510);
    QTest::newRow("slightly larger stays") << QSize(1000, 700) << QSize(910, 650) << QSize(1000, 700);
    QTest::newRow("odd size") << QSize(1281, 721) << QSize(910, 650) << QSize(904, 512);
    QTest::newRow("portrait video") << QSize(720, 1280) << QSize(910, 650) << QSize(360, 650);
    QTest::newRow("small video rounded") << QSize(322, 241) << QSize(910, 650) << QSize(320, 240);
    QTest::newRow("no display size yet") << QSize(1281, 721) << QSize() << QSize(1280, 720);
    QTest::newRow("no video size") << QSize(0, 0) << QSize(910, 650) << QSize(0, 0);
}

void PreviewTest::previewSizes()
{
    QFETCH(QSize, video);
    QFETCH(QSize, display);
    QFETCH(QSize, expected);
    QCOMPARE(ProcessBeauty::previewSize(video, display), expected);
}

void PreviewTest::firstFrameIsShownPausedAfterThreePasses()
{
    start(m_clip25);
    QTRY_COMPARE(m_sink->frames, 1);
    QCOMPARE(m_engine->effectPassCount(), 3);
    QVERIFY(m_engine->isPaused());
    QTRY_COMPARE(m_durations, QList<long>{2});
    // Paused: nothing advances without a resume or a setter.
    QTest::qWait(300);
    QCOMPARE(m_sink->frames, 1);
}

void PreviewTest::firstFrameAfterMattingWasEnabledTakesFivePasses()
{
    m_engine->setBackgroundType(5);
    m_engine->setBackgroundType(4);
    QVERIFY(m_engine->mattingJustEnabled());
    start(m_clip25);
    QTRY_COMPARE(m_sink->frames, 1);
    QCOMPARE(m_engine->effectPassCount(), 5);
    // While the flag stays set, a re-render takes five passes too; a portrait type change ends it.
    m_engine->setPortraitType(1);
    QTRY_COMPARE(m_sink->frames, 2);
    QCOMPARE(m_engine->effectPassCount(), 8);
}

void PreviewTest::settersOnAPausedFrameRenderOnceEach()
{
    start(m_clip25);
    QTRY_COMPARE(m_sink->frames, 1);
    m_engine->setBeautyLevel(4, 0.2f);
    QTRY_COMPARE(m_sink->frames, 2);
    QCOMPARE(m_engine->effectPassCount(), 6);
    QTest::qWait(200);
    QCOMPARE(m_sink->frames, 2);
    // Compare shows the unprocessed frame: no library pass.
    m_engine->setCompare(true);
    QTRY_COMPARE(m_sink->frames, 3);
    QCOMPARE(m_engine->effectPassCount(), 6);
    m_engine->setCompare(false);
    QTRY_COMPARE(m_sink->frames, 4);
    QCOMPARE(m_engine->effectPassCount(), 9);
    QVERIFY(m_engine->isPaused());
}

void PreviewTest::playingReportsPositionsAndLoops()
{
    start(m_clip25);
    QTRY_COMPARE(m_sink->frames, 1);
    m_engine->resume();
    QVERIFY(!m_engine->isPaused());
    // 50 frames at 25 fps: positions 1 and 2, the end of the pass, then the file plays again.
    QTRY_VERIFY_WITH_TIMEOUT(m_costs.size() >= 3, 15000);
    QCOMPARE(m_costs.mid(0, 3), (QList<long>{1, 2, 0}));
    QTRY_VERIFY_WITH_TIMEOUT(m_sink->frames > 52, 15000);
    QCOMPARE(m_durations, QList<long>{2});
}

void PreviewTest::phoneVideosShowUpright_data()
{
    QTest::addColumn<int>("degrees");
    QTest::newRow("90") << 90;
    QTest::newRow("180") << 180;
    QTest::newRow("270") << 270;
}

void PreviewTest::phoneVideosShowUpright()
{
    QFETCH(int, degrees);
    const QString phone = m_dir.filePath(QString("phone%1.mp4").arg(degrees));
    QVERIFY(TestVideos::makeRotated(m_clip25, phone, degrees));
    // Plain frames: what is compared is the way up, not the effects.
    for (int item = 0; item < EffectParameters::itemCount; ++item)
        m_engine->setBeautyLevel(item, 0);
    m_engine->setAiLight(0);
    start(phone);
    QTRY_COMPARE(m_sink->frames, 1);
    QCOMPARE(m_sink->lastSize, degrees == 180 ? QSize(320, 240) : QSize(240, 320));
    const QByteArray png = TestVideos::frameAsPng(phone, 0);
    const QImage expected = QImage::fromData(png).convertToFormat(QImage::Format_RGB888);
    const QImage shown = m_sink->lastImage.convertToFormat(QImage::Format_RGB888);
    QCOMPARE(shown.size(), expected.size());
    const auto asMat = [](const QImage& image) {
        return cv::Mat(image.height(), image.width(), CV_8UC3, const_cast<uchar*>(image.constBits()),
                       static_cast<size_t>(image.bytesPerLine()));
    };
    const double psnr = cv::PSNR(asMat(shown), asMat(expected));
    QVERIFY2(psnr > 30, qPrintable(QString("PSNR %1 dB").arg(psnr)));
}

// The mask is worked out beside the beauty pass: its result must still fit the frame it is
// composed with, the person sharp and the wall around them blurred.
void PreviewTest::blurredBackgroundLeavesThePersonSharp()
{
    const QString photo = qEnvironmentVariable("VYR_TESTDATA") + "/astronaut.png";
    QVERIFY2(QFile::exists(photo), qPrintable(photo + " is missing: run scripts/setup"));
    const QString clip = m_dir.filePath("person.mp4");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-loop", "1", "-framerate", "25", "-i", photo, "-vf",
                            "scale=540:540,pad=960:540:210:0:color=0x707880,noise=alls=24:allf=t",
                            "-frames:v", "3", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", clip});
    QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
    for (int item = 0; item < EffectParameters::itemCount; ++item)
        m_engine->setBeautyLevel(item, EffectParameters::defaultLevel(item) == 0.5f ? 0.5f : 0.0f);
    m_engine->setAiLight(0);
    m_engine->setPortraitType(0);
    m_engine->setBackgroundType(4);
    start(clip);
    QTRY_COMPARE(m_sink->frames, 1);
    const auto grey = [](const QImage& image) {
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        const cv::Mat view(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()),
                           static_cast<size_t>(rgb.bytesPerLine()));
        cv::Mat result;
        cv::cvtColor(view, result, cv::COLOR_RGB2GRAY);
        return result;
    };
    // The frames are one photo under fresh noise, so frame 0 stands for each of them.
    const cv::Mat source = grey(QImage::fromData(TestVideos::frameAsPng(clip, 0)));
    const auto deviation = [](const cv::Mat& image) {
        cv::Scalar mean, spread;
        cv::meanStdDev(image, mean, spread);
        return spread[0];
    };
    const cv::Rect wall(0, 0, 150, 540), face(400, 90, 110, 130);
    // Paused, the mask comes after the beauty pass; playing, beside it.
    for (const char* state : {"paused", "playing"}) {
        const cv::Mat shown = grey(m_sink->lastImage);
        QCOMPARE(shown.size(), source.size());
        QVERIFY2(deviation(shown(wall)) < 0.5 * deviation(source(wall)),
                 qPrintable(QString("%1: wall spread %2 against %3").arg(state).arg(deviation(shown(wall))).arg(deviation(source(wall)))));
        // The noise differs from frame to frame; the face's features do not.
        cv::Mat shownFace, sourceFace, difference;
        cv::GaussianBlur(shown(face), shownFace, cv::Size(), 3);
        cv::GaussianBlur(source(face), sourceFace, cv::Size(), 3);
        cv::absdiff(shownFace, sourceFace, difference);
        QVERIFY2(cv::mean(difference)[0] < 6, qPrintable(QString("%1: face changed by %2").arg(state).arg(cv::mean(difference)[0])));
        m_engine->resume();
        QTRY_VERIFY(m_sink->frames >= 3);
        m_engine->pause();
    }
}

void PreviewTest::realFrameRateGivesDurationPositionsAndPace()
{
    // 811 frames at 23.976 fps last 33.8 s: 33 s, where a rate cut to 23 would give 35.
    const QString film = m_dir.filePath("film.mp4");
    QVERIFY(TestVideos::makeSyncClip(film, "24000/1001", 811, 0, false));
    // Read where the engine reports, right after the frame of that position was handed over.
    std::atomic<int> framesAtFirstSecond{0};
    connect(m_engine, &ProcessBeauty::onCostTime, m_engine, [&](long cost) {
        if (cost == 1 && !framesAtFirstSecond)
            framesAtFirstSecond = m_sink->frames;
    }, Qt::DirectConnection);
    start(film);
    QTRY_COMPARE(m_sink->frames, 1);
    QCOMPARE(m_durations, QList<long>{33});
    QElapsedTimer played;
    played.start();
    m_engine->resume();
    QTRY_VERIFY_WITH_TIMEOUT(m_sink->frames >= 49, 10000);
    const qint64 elapsed = played.elapsed();
    // Second 1 begins with frame 24 (1.001 s); frames 2..49 take 48 intervals of 41.7 ms.
    QCOMPARE(framesAtFirstSecond.load(), 24);
    QVERIFY2(elapsed >= 1950, qPrintable(QString::number(elapsed)));
}

void PreviewTest::framesAreScaledToTheDisplay()
{
    start(m_clip30);
    QTRY_COMPARE(m_sink->frames, 1);
    QCOMPARE(m_sink->lastSize, QSize(904, 512));
}

void PreviewTest::unreadableFilesEndEachPassAtOnce_data()
{
    QTest::addColumn<bool>("zeroBytes");
    QTest::newRow("corrupt") << false;
    QTest::newRow("zero bytes") << true;
}

void PreviewTest::unreadableFilesEndEachPassAtOnce()
{
    QFETCH(bool, zeroBytes);
    const QString path = m_dir.filePath(zeroBytes ? "empty.mp4" : "corrupt.mp4");
    QVERIFY(zeroBytes ? TestVideos::makeEmpty(path) : TestVideos::makeCorrupt(path));
    start(path);
    // Each pass ends at once and the file is tried again after the gap.
    QTRY_VERIFY_WITH_TIMEOUT(m_costs.count(0) >= 2, 5000);
    QCOMPARE(m_sink->frames, 0);
    QCOMPARE(m_engine->effectPassCount(), 0);
}

void PreviewTest::stopOnIdleAndPausedReturnsAtOnce()
{
    // Both must return before the 3 s time-out that would write the loop off.
    QElapsedTimer timer;
    timer.start();
    m_engine->stopProcessing(false, false);
    QVERIFY(timer.elapsed() < 3000);

    start(m_clip25);
    QTRY_COMPARE(m_sink->frames, 1);
    QThread* before = m_engine->thread();
    timer.restart();
    QVERIFY(stopFromPool(10000));
    QVERIFY(timer.elapsed() < 3000);
    // A stopped engine starts again, on the same system thread.
    start(m_clip25);
    QTRY_COMPARE(m_sink->frames, 2);
    QCOMPARE(m_engine->thread(), before);
    QVERIFY(!m_loopOnFreshThread);
}

void PreviewTest::stopReleasesALoopBlockedInTheHandOff()
{
    start(m_clip25);
    QTRY_COMPARE(m_sink->frames, 1);
    m_engine->resume();
    QTRY_VERIFY(m_sink->frames > 3);
    QThread* before = m_engine->thread();
    // The GUI thread does not serve the hand-off while the stop waits.
    auto stopped = TaskPool::instance().enqueue([this] { m_engine->stopProcessing(false, false); });
    QVERIFY(stopped.wait_for(std::chrono::seconds(10)) == std::future_status::ready);
    QCOMPARE(m_engine->thread(), before);
    QCoreApplication::processEvents();
    const int shown = m_sink->frames;
    start(m_clip25);
    QTRY_COMPARE(m_sink->frames, shown + 1);
}

void PreviewTest::stopReplacesTheThreadOfAStuckLoop()
{
    start(m_clip25);
    QTRY_COMPARE(m_sink->frames, 1);
    QThread* before = m_engine->thread();
    // The display takes longer than every time-out of the stop: the loop cannot end in time.
    std::future<void> stopped;
    m_sink->whileHeld = [&] {
        stopped = TaskPool::instance().enqueue([this] { m_engine->stopProcessing(false, false); });
    };
    m_sink->holdMs = 5000;
    m_engine->setBeautyLevel(0, 0.1f);
    QTRY_COMPARE_WITH_TIMEOUT(m_sink->frames, 2, 15000);
    m_sink->holdMs = 0;
    QVERIFY(stopped.wait_for(std::chrono::seconds(10)) == std::future_status::ready);
    // The same QThread object, served by a new system thread.
    QCOMPARE(m_engine->thread(), before);
    QVERIFY(m_engine->thread()->isRunning());
    start(m_clip25);
    QTRY_COMPARE(m_sink->frames, 3);
    QVERIFY(m_loopOnFreshThread);
    QCOMPARE(m_engine->effectPassCount(), 9);
}

QTEST_MAIN(PreviewTest)
#include "PreviewTest.moc"
