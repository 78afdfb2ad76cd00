// Decoding against ffmpeg's own decode of the same files, for the kinds of clip users bring
// (a phone's turned video, 23.976 fps, odd and tiny sizes, a variable rate, a name with a
// colon): the pictures in each layout and size a consumer asks for, what the file says about
// itself, and a file that ends early.
#include "TestVideos.h"

#include "engine/VideoSource.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

namespace {

bool ffmpeg(const QStringList& arguments)
{
    QProcess process;
    process.start("ffmpeg", QStringList{"-v", "error", "-y"} + arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString formatBitrate(const QString& path)
{
    QProcess process;
    process.start("ffprobe", {"-v", "error", "-show_entries", "format=bit_rate", "-of", "default=nw=1:nk=1", path});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

cv::Mat ffmpegFrame(const QString& path, int index)
{
    const QByteArray png = TestVideos::frameAsPng(path, index);
    return cv::imdecode(std::vector<uchar>(png.begin(), png.end()), cv::IMREAD_COLOR);
}

cv::Mat nv12AsBgr(const cv::Mat& nv12)
{
    cv::Mat bgr;
    cv::cvtColor(nv12, bgr, cv::COLOR_YUV2BGR_NV12);
    return bgr;
}

cv::Mat grey(const cv::Mat& bgr)
{
    cv::Mat luma;
    cv::cvtColor(bgr, luma, cv::COLOR_BGR2GRAY);
    return luma;
}

std::vector<cv::Mat> readAll(VideoSource& source, VideoSource::Layout layout, const cv::Size& size)
{
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    while (source.read(frame, layout, size))
        frames.push_back(frame.clone());
    return frames;
}

} // namespace

class VideoSourceTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void picturesAreFfmpegsInEveryLayout_data();
    void picturesAreFfmpegsInEveryLayout();
    void tinyFramesKeepTheirColour_data();
    void tinyFramesKeepTheirColour();
    void truncatedFileEndsWithTheFramesItHas();
    void fileCutBeforeItsIndexCountsNoFrames();

private:
    QTemporaryDir m_dir;
};

void VideoSourceTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString plain = m_dir.filePath("a:b.mp4");
    QVERIFY(TestVideos::make(plain, 320, 240, 25, 30, true));
    for (int degrees : {90, 180, 270})
        QVERIFY(TestVideos::makeRotated(plain, m_dir.filePath(QString("turned%1.mp4").arg(degrees)), degrees));
    QVERIFY(TestVideos::make(m_dir.filePath("odd.mp4"), 161, 121, 25, 20, false));
    QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=24000/1001", "-frames:v", "30", "-c:v", "libx264",
                    "-preset", "ultrafast", "-pix_fmt", "yuv420p", m_dir.filePath("film.mp4")}));
    // Frames 10 on come half a second late: a gap as a phone leaves when it stalls.
    QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-frames:v", "30", "-vf",
                    "setpts='(N+gte(N\\,10)*12)/25/TB'", "-fps_mode", "passthrough", "-c:v", "libx264", "-preset",
                    "ultrafast", "-pix_fmt", "yuv420p", m_dir.filePath("gap.mp4")}));
}

void VideoSourceTest::picturesAreFfmpegsInEveryLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("upright");
    QTest::addColumn<double>("rate");
    QTest::addColumn<bool>("audio");
    QTest::newRow("colon in the name, sound") << "a:b.mp4" << QSize(320, 240) << 25.0 << true;
    QTest::newRow("turned 90") << "turned90.mp4" << QSize(240, 320) << 25.0 << true;
    QTest::newRow("turned 180") << "turned180.mp4" << QSize(320, 240) << 25.0 << true;
    QTest::newRow("turned 270") << "turned270.mp4" << QSize(240, 320) << 25.0 << true;
    QTest::newRow("odd size, 4:4:4") << "odd.mp4" << QSize(161, 121) << 25.0 << false;
    QTest::newRow("23.976 fps") << "film.mp4" << QSize(320, 240) << 24000.0 / 1001 << false;
    QTest::newRow("variable rate") << "gap.mp4" << QSize(320, 240) << 0.0 << false;
}

void VideoSourceTest::picturesAreFfmpegsInEveryLayout()
{
    QFETCH(QString, name);
    QFETCH(QSize, upright);
    QFETCH(double, rate);
    QFETCH(bool, audio);
    const QString path = m_dir.filePath(name);
    const cv::Size size(upright.width(), upright.height());
    const int count = TestVideos::probe(path, "v", "nb_read_frames").toInt();
    QVERIFY(count > 0);

    VideoSource source;
    QVERIFY(source.open(path));
    QCOMPARE(source.frameSize(), size);
    QCOMPARE(source.frameCount(), count);
    QCOMPARE(source.hasAudio(), audio);
    QCOMPARE(source.bitrate(), formatBitrate(path).toInt() / 1000);
    if (rate > 0)
        QVERIFY2(qAbs(source.rate() - rate) < 1e-6, qPrintable(QString::number(source.rate(), 'f', 6)));
    const std::vector<cv::Mat> bgr = readAll(source, VideoSource::Layout::Bgr, size);
    cv::Mat past;
    QVERIFY(!source.read(past));

    // What the export encodes (even sides) and what the preview shows (smaller).
    const cv::Size even(size.width / 2 * 2, size.height / 2 * 2), half(size.width / 2, size.height / 2);
    QVERIFY(source.open(path));
    const std::vector<cv::Mat> nv12 = readAll(source, VideoSource::Layout::Nv12, even);
    QVERIFY(source.open(path));
    const std::vector<cv::Mat> small = readAll(source, VideoSource::Layout::Bgr, half);
    QCOMPARE(int(bgr.size()), count);
    QCOMPARE(int(nv12.size()), count);
    QCOMPARE(int(small.size()), count);

    for (int index : {0, count / 2, count - 1}) {
        const cv::Mat expected = ffmpegFrame(path, index);
        QCOMPARE(bgr[index].size(), expected.size());
        cv::Mat expectedEven, expectedHalf;
        cv::resize(expected, expectedEven, even, 0, 0, cv::INTER_AREA);
        cv::resize(expected, expectedHalf, half, 0, 0, cv::INTER_AREA);
        const QString at = QString(" at frame %1").arg(index);
        QVERIFY2(cv::PSNR(bgr[index], expected) > 40, qPrintable("BGR" + at));
        // Scaling softens colour edges to the chroma's own resolution: a scaled picture is
        // compared by its luma.
        const cv::Mat encoded = nv12AsBgr(nv12[index]);
        if (even == size)
            QVERIFY2(cv::PSNR(encoded, expected) > 40, qPrintable("NV12" + at));
        else
            QVERIFY2(cv::PSNR(grey(encoded), grey(expectedEven)) > 35, qPrintable("NV12 scaled" + at));
        QVERIFY2(cv::PSNR(grey(small[index]), grey(expectedHalf)) > 35, qPrintable("smaller BGR" + at));
    }
}

void VideoSourceTest::tinyFramesKeepTheirColour_data()
{
    QTest::addColumn<int>("side");
    QTest::newRow("1x1") << 1;
    QTest::newRow("2x2") << 2;
    QTest::newRow("3x3") << 3;
}

void VideoSourceTest::tinyFramesKeepTheirColour()
{
    QFETCH(int, side);
    const QString path = m_dir.filePath(QString("tiny%1.mp4").arg(side));
    QVERIFY(ffmpeg({"-f", "lavfi", "-i", "color=c=0x3060C0:s=16x16:r=25", "-vf", QString("scale=%1:%1").arg(side),
                    "-frames:v", "5", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv444p", path}));
    const cv::Vec3b colour(0xC0, 0x60, 0x30);
    VideoSource source;
    QVERIFY(source.open(path));
    QCOMPARE(source.frameSize(), cv::Size(side, side));
    const std::vector<cv::Mat> frames = readAll(source, VideoSource::Layout::Bgr, source.frameSize());
    QCOMPARE(int(frames.size()), 5);
    for (const cv::Mat& frame : frames)
        QVERIFY(cv::norm(frame, cv::Mat(frame.size(), CV_8UC3, cv::Scalar(colour)), cv::NORM_INF) <= 8);
    if (side % 2 == 0) {
        QVERIFY(source.open(path));
        const std::vector<cv::Mat> nv12 = readAll(source, VideoSource::Layout::Nv12, source.frameSize());
        QCOMPARE(int(nv12.size()), 5);
        QVERIFY(cv::norm(nv12AsBgr(nv12.back()), cv::Mat(side, side, CV_8UC3, cv::Scalar(colour)), cv::NORM_INF) <= 8);
    }
}

void VideoSourceTest::truncatedFileEndsWithTheFramesItHas()
{
    // The index first, so that the cut leaves a file that opens with its pictures missing.
    const QString whole = m_dir.filePath("whole.mp4"), cut = m_dir.filePath("cut.mp4");
    QVERIFY(TestVideos::make(m_dir.filePath("made.mp4"), 320, 240, 25, 60, false));
    QVERIFY(ffmpeg({"-i", m_dir.filePath("made.mp4"), "-c", "copy", "-movflags", "+faststart", whole}));
    QFile file(whole);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QFile part(cut);
    QVERIFY(part.open(QIODevice::WriteOnly));
    part.write(file.read(file.size() / 2));
    part.close();

    VideoSource source;
    QVERIFY(source.open(cut));
    QCOMPARE(source.frameCount(), 60);
    cv::Mat frame, first;
    int frames = 0;
    while (source.read(frame)) {
        if (frames++ == 0)
            first = frame.clone();
    }
    QVERIFY2(frames > 10 && frames < 60, qPrintable(QString::number(frames)));
    QVERIFY(cv::PSNR(first, ffmpegFrame(whole, 0)) > 40);
    QVERIFY(!source.read(frame));
}

void VideoSourceTest::fileCutBeforeItsIndexCountsNoFrames()
{
    // A full disk leaves an mp4 written index last without its index: the export's check that a
    // file is complete rests on this.
    const QString made = m_dir.filePath("indexLast.mp4"), cut = m_dir.filePath("indexCut.mp4");
    QVERIFY(TestVideos::make(made, 320, 240, 25, 60, false));
    QCOMPARE(VideoSource::indexedFrameCount(made), 60);
    QFile file(made);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QFile part(cut);
    QVERIFY(part.open(QIODevice::WriteOnly));
    part.write(file.read(file.size() * 9 / 10));
    part.close();
    QCOMPARE(VideoSource::indexedFrameCount(cut), -1);
    QCOMPARE(VideoSource::indexedFrameCount(m_dir.filePath("missing.mp4")), -1);
}

QTEST_GUILESS_MAIN(VideoSourceTest)
#include "VideoSourceTest.moc"
