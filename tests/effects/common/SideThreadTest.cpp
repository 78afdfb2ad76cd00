#include "common/SideThread.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

class SideThreadTest : public QObject
{
    Q_OBJECT

private slots:
    void runsBesideAndPassesFailuresOn();
    void startedWorkGoesOnUntilFinished();
};

// Both parts run, each on its own thread, and the call returns only when both are done; a
// failure of either reaches the caller after the other has finished, and the thread goes on.
void SideThreadTest::runsBesideAndPassesFailuresOn()
{
    effects::SideThread side;
    std::atomic<bool> sideDone{false};
    std::thread::id sideId, hereId;
    const auto slowSide = [&] {
        sideId = std::this_thread::get_id();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sideDone = true;
    };
    side.runBeside(slowSide, [&] { hereId = std::this_thread::get_id(); });
    QVERIFY(sideDone);
    QCOMPARE(hereId, std::this_thread::get_id());
    QVERIFY(sideId != hereId);

    for (bool sideFails : {true, false}) {
        sideDone = false;
        bool caught = false;
        try {
            side.runBeside(
                [&] {
                    slowSide();
                    if (sideFails)
                        throw std::runtime_error("side");
                },
                [&] {
                    if (!sideFails)
                        throw std::runtime_error("here");
                });
        } catch (const std::runtime_error& e) {
            caught = e.what() == std::string(sideFails ? "side" : "here");
            QVERIFY(sideDone);
        }
        QVERIFY(caught);
    }
    int runs = 0;
    side.runBeside([&] { ++runs; }, [] {});
    QCOMPARE(runs, 1);
}

// Started work runs on while the caller goes on; finish waits for it and passes its failure
// on once, and a new start waits for the work before it.
void SideThreadTest::startedWorkGoesOnUntilFinished()
{
    effects::SideThread side;
    std::atomic<int> step{0};
    side.start([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        step = 1;
    });
    QCOMPARE(step.load(), 0);
    side.start([&] { step = step * 10 + 2; });
    side.finish();
    QCOMPARE(step.load(), 12);

    side.start([] { throw std::runtime_error("later"); });
    bool caught = false;
    try {
        side.finish();
    } catch (const std::runtime_error& e) {
        caught = e.what() == std::string("later");
    }
    QVERIFY(caught);
    side.finish();  // nothing running, nothing to pass on again
}

QTEST_GUILESS_MAIN(SideThreadTest)
#include "SideThreadTest.moc"
