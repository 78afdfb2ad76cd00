// The export hand-off: bounded, ordered, and released by cancel and failure.
#include "engine/FrameQueue.h"

#include <QtTest>

#include <future>
#include <thread>

class FrameQueueTest : public QObject
{
    Q_OBJECT
private slots:
    void framesArriveInOrderAndEndAfterProduction();
    void producerWaitsWhileFull();
    void cancelAndFailureReleaseBothSides();
};

namespace {
cv::Mat frameNumbered(int n)
{
    return cv::Mat(2, 2, CV_8UC3, cv::Scalar(n, n, n));
}
}

void FrameQueueTest::framesArriveInOrderAndEndAfterProduction()
{
    FrameQueue queue(3);
    QVERIFY(queue.push(frameNumbered(1)));
    QVERIFY(queue.push(frameNumbered(2)));
    queue.finishProduction();
    cv::Mat frame;
    QVERIFY(queue.pop(frame));
    QCOMPARE(int(frame.at<cv::Vec3b>(0, 0)[0]), 1);
    QVERIFY(queue.pop(frame));
    QCOMPARE(int(frame.at<cv::Vec3b>(0, 0)[0]), 2);
    QVERIFY(!queue.pop(frame));
    queue.reset();
    QVERIFY(queue.push(frameNumbered(3)));
    QVERIFY(queue.pop(frame));
}

void FrameQueueTest::producerWaitsWhileFull()
{
    FrameQueue queue(2);
    QVERIFY(queue.push(frameNumbered(1)));
    QVERIFY(queue.push(frameNumbered(2)));
    std::promise<void> started;
    auto third = std::async(std::launch::async, [&] {
        started.set_value();
        return queue.push(frameNumbered(3));
    });
    started.get_future().wait();
    // Full: the third push cannot have completed while nothing was taken.
    QVERIFY(third.wait_for(std::chrono::milliseconds(200)) == std::future_status::timeout);
    cv::Mat frame;
    QVERIFY(queue.pop(frame));
    QVERIFY(third.get());
    QVERIFY(queue.pop(frame));
    QVERIFY(queue.pop(frame));
    QCOMPARE(int(frame.at<cv::Vec3b>(0, 0)[0]), 3);
}

void FrameQueueTest::cancelAndFailureReleaseBothSides()
{
    FrameQueue queue(1);
    QVERIFY(queue.push(frameNumbered(1)));
    auto blockedPush = std::async(std::launch::async, [&] { return queue.push(frameNumbered(2)); });
    queue.cancel();
    QVERIFY(!blockedPush.get());
    cv::Mat frame;
    QVERIFY(!queue.pop(frame));
    QVERIFY(queue.isCancelled());

    queue.reset();
    auto blockedPop = std::async(std::launch::async, [&] { cv::Mat f; return queue.pop(f); });
    queue.fail();
    QVERIFY(!blockedPop.get());
    QVERIFY(queue.hasFailed());
    QVERIFY(!queue.push(frameNumbered(3)));
}

QTEST_GUILESS_MAIN(FrameQueueTest)
#include "FrameQueueTest.moc"
