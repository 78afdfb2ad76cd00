// Decoding ahead on a thread: every frame, in order, at the asked size; an early end that
// does not hang on a decoder blocked with a full queue; and a busy consumer that holds the
// decoder back only while a frame is queued for it.
#include "TestVideos.h"

#include "engine/FrameDecoder.h"

#include <QTemporaryDir>
#include <QtTest>

class FrameDecoderTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void givesEveryFrameInOrderAtTheSize();
    void endsEarlyWhileTheDecoderWaits();
    void aBusyConsumerHoldsTheDecoderOnlyWhileAFrameIsQueued();

private:
    QTemporaryDir m_dir;
    QString m_clip;
};

void FrameDecoderTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip = m_dir.filePath("clip.mp4");
    QVERIFY(TestVideos::make(m_clip, 320, 240, 25, 40, false));
}

void FrameDecoderTest::givesEveryFrameInOrderAtTheSize()
{
    const cv::Size size(160, 120);
    VideoSource direct, ahead;
    QVERIFY(direct.open(m_clip));
    QVERIFY(ahead.open(m_clip));
    FrameDecoder decoder(ahead, size);
    cv::Mat frame, expected;
    int frames = 0;
    while (decoder.next(frame)) {
        QVERIFY(direct.read(expected, VideoSource::Layout::Bgr, size));
        QCOMPARE(frame.size(), size);
        QCOMPARE(cv::norm(frame, expected, cv::NORM_INF), 0.0);
        ++frames;
    }
    QCOMPARE(frames, 40);
    QVERIFY(!decoder.next(frame));
}

void FrameDecoderTest::endsEarlyWhileTheDecoderWaits()
{
    VideoSource capture;
    QVERIFY(capture.open(m_clip));
    QElapsedTimer timer;
    timer.start();
    {
        FrameDecoder decoder(capture, cv::Size(320, 240), VideoSource::Layout::Bgr, 2);
        cv::Mat frame;
        QVERIFY(decoder.next(frame));
        QTest::qWait(200);
    }
    QVERIFY(timer.elapsed() < 5000);
    // The capture was left where the decoder stopped, a few frames in.
    cv::Mat rest;
    int left = 0;
    while (capture.read(rest))
        ++left;
    QVERIFY(left > 30 && left < 40);
}

void FrameDecoderTest::aBusyConsumerHoldsTheDecoderOnlyWhileAFrameIsQueued()
{
    const cv::Size size(320, 240);
    VideoSource capture;
    QVERIFY(capture.open(m_clip));
    {
        FrameDecoder decoder(capture, size, VideoSource::Layout::Bgr, 2);
        cv::Mat frame;
        QVERIFY(decoder.next(frame));
        // Frames 2 and 3 queued, frame 4 read and waiting for room.
        QTest::qWait(300);
        decoder.setConsumerBusy(true);
        QVERIFY(decoder.next(frame));
        QVERIFY(decoder.next(frame));
        QTest::qWait(300);
    }
    cv::Mat rest;
    int left = 0;
    while (capture.read(rest))
        ++left;
    QCOMPARE(left, 36);

    // Busy from the start, the consumer still gets every frame in order: with nothing queued,
    // the decoder does not wait.
    VideoSource direct, ahead;
    QVERIFY(direct.open(m_clip));
    QVERIFY(ahead.open(m_clip));
    FrameDecoder decoder(ahead, size);
    decoder.setConsumerBusy(true);
    cv::Mat frame, expected;
    int frames = 0;
    while (decoder.next(frame)) {
        QVERIFY(direct.read(expected, VideoSource::Layout::Bgr, size));
        QCOMPARE(cv::norm(frame, expected, cv::NORM_INF), 0.0);
        ++frames;
    }
    QCOMPARE(frames, 40);
}

QTEST_GUILESS_MAIN(FrameDecoderTest)
#include "FrameDecoderTest.moc"
