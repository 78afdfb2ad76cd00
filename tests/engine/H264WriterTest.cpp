// The H.264 writer, checked by what lands in the file: frames, size, rate, bitrate, pixels,
// and failures that must not pass for success.
#include "TestVideos.h"

#include "engine/H264Writer.h"
#include "engine/Nv12Conversion.h"
#include "platform/Platform.h"

#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kRate = 25;
// Ten seconds: the encoder's average bitrate settles within a few per cent of its target.
constexpr int kFrames = 250;

cv::Mat toNv12(const cv::Mat& bgr)
{
    cv::Mat nv12;
    Nv12Conversion::fromBgr(bgr, nv12);
    return nv12;
}

std::vector<cv::Mat> decode(const QString& path)
{
    std::vector<cv::Mat> frames;
    cv::VideoCapture capture(path.toStdString());
    cv::Mat frame;
    while (capture.read(frame))
        frames.push_back(frame.clone());
    return frames;
}

H264Writer::Settings settings(qint64 bitsPerSecond)
{
    H264Writer::Settings s;
    s.width = kWidth;
    s.height = kHeight;
    s.rate = kRate;
    s.bitsPerSecond = bitsPerSecond;
    return s;
}

} // namespace

class H264WriterTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void keepsEveryFrameItsSizeRateAndBitrate();
    void reportsAFullDisk();
    void refusesWhatItCannotWrite();
    void exportBitrateIsTwiceTheSources();
    void encoderThreadsGiveWayToTheCaller();

private:
    QTemporaryDir m_dir;
    std::vector<cv::Mat> m_source;
};

void H264WriterTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString clip = m_dir.filePath("source.mp4");
    QVERIFY(TestVideos::make(clip, kWidth, kHeight, kRate, kFrames, false));
    m_source = decode(clip);
    QCOMPARE(int(m_source.size()), kFrames);
}

void H264WriterTest::keepsEveryFrameItsSizeRateAndBitrate()
{
    const QString path = m_dir.filePath("written.mp4");
    const qint64 bitrate = 800000;
    H264Writer writer;
    QVERIFY2(writer.open(path, settings(bitrate)), qPrintable(writer.error()));
    for (const cv::Mat& frame : m_source)
        QVERIFY2(writer.write(toNv12(frame)), qPrintable(writer.error()));
    QVERIFY2(writer.finish(), qPrintable(writer.error()));
    QCOMPARE(writer.framesWritten(), kFrames);

    QCOMPARE(TestVideos::probe(path, "v", "codec_name"), QString("h264"));
    QCOMPARE(TestVideos::probe(path, "v", "width"), QString::number(kWidth));
    QCOMPARE(TestVideos::probe(path, "v", "height"), QString::number(kHeight));
    QCOMPARE(TestVideos::probe(path, "v", "r_frame_rate"), QString("25/1"));
    QCOMPARE(TestVideos::probe(path, "v", "nb_read_frames"), QString::number(kFrames));
    const double measured = TestVideos::probe(path, "v", "bit_rate").toDouble();
    QVERIFY2(qAbs(measured - bitrate) < 0.1 * bitrate, qPrintable(QString::number(measured)));

    // The planes read as they were meant: U and V swapped or a wrong stride would wreck the colours.
    const std::vector<cv::Mat> decoded = decode(path);
    QCOMPARE(int(decoded.size()), kFrames);
    for (int i = 0; i < kFrames; i += 17)
        QVERIFY2(cv::PSNR(decoded[i], m_source[i]) > 32, qPrintable(QString("frame %1").arg(i)));
}

void H264WriterTest::reportsAFullDisk()
{
    if (!QFile::exists("/dev/full"))
        QSKIP("no device that is always full here");
    H264Writer writer;
    bool ok = writer.open("/dev/full", settings(2000000));
    for (int i = 0; ok && i < kFrames; ++i)
        ok = writer.write(toNv12(m_source[i]));
    ok = ok && writer.finish();
    QVERIFY(!ok);
    QVERIFY2(writer.error().contains("space", Qt::CaseInsensitive), qPrintable(writer.error()));
}

void H264WriterTest::refusesWhatItCannotWrite()
{
    H264Writer missingFolder;
    QVERIFY(!missingFolder.open(m_dir.filePath("no/such/folder/out.mp4"), settings(500000)));
    QVERIFY(missingFolder.error().contains("no/such/folder/out.mp4"));
    QVERIFY(!missingFolder.write(toNv12(m_source[0])));
    QVERIFY(!missingFolder.finish());

    H264Writer odd;
    H264Writer::Settings oddSize = settings(500000);
    oddSize.width = 321;
    QVERIFY(!odd.open(m_dir.filePath("odd.mp4"), oddSize));

    // A frame of another size is lost data: the export cannot finish as if it were complete.
    H264Writer wrongFrame;
    QVERIFY(wrongFrame.open(m_dir.filePath("wrong.mp4"), settings(500000)));
    QVERIFY(wrongFrame.write(toNv12(m_source[0])));
    cv::Mat smaller;
    cv::resize(m_source[1], smaller, cv::Size(kWidth / 2, kHeight / 2));
    QVERIFY(!wrongFrame.write(toNv12(smaller)));
    QVERIFY(!wrongFrame.write(m_source[2]));
    QVERIFY(!wrongFrame.finish());
    QVERIFY(wrongFrame.error().contains("frame 2"));
}

void H264WriterTest::exportBitrateIsTwiceTheSources()
{
    // The decoder reports kbit/s; the encoder takes bit/s.
    QCOMPARE(H264Writer::exportBitrate(4500, 1920, 1080, 30), qint64(9000000));
    // Without a figure from the source: 0.2 bits per pixel and frame.
    QCOMPARE(H264Writer::exportBitrate(0, 1920, 1080, 30), qint64(12441600));
}

QTEST_GUILESS_MAIN(H264WriterTest)
void H264WriterTest::encoderThreadsGiveWayToTheCaller()
{
    // What the writer opens its encoder with: threads started inside run in the background;
    // the caller, and the threads it starts afterwards, do not.
    bool inside = false, afterwards = true;
    platform::startThreadsInBackground([&] { std::thread([&] { inside = platform::runsInBackground(); }).join(); });
    std::thread([&] { afterwards = platform::runsInBackground(); }).join();
    QVERIFY(inside);
    QVERIFY(!afterwards);
    H264Writer writer;
    H264Writer::Settings besideEffects = settings(500000);
    besideEffects.besideEffects = true;
    QVERIFY2(writer.open(m_dir.filePath("priority.mp4"), besideEffects), qPrintable(writer.error()));
    QVERIFY(!platform::runsInBackground());
}

#include "H264WriterTest.moc"
