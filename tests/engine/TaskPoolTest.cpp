#include "engine/TaskPool.h"

#include <QtTest>

#include <atomic>
#include <chrono>

class TaskPoolTest : public QObject
{
    Q_OBJECT

private slots:
    void sixthBlockingTaskWaitsForAFreeWorker()
    {
        TaskPool pool;
        std::promise<void> release;
        std::shared_future<void> gate = release.get_future().share();
        std::atomic<int> started{0};
        std::vector<std::future<void>> tasks;
        for (int i = 0; i < 6; ++i)
            tasks.push_back(pool.enqueue([&started, gate] {
                ++started;
                gate.wait();
            }));
        QTRY_COMPARE(started.load(), 5);
        QTest::qWait(200);
        QCOMPARE(started.load(), 5);
        release.set_value();
        for (auto& task : tasks)
            task.wait();
        QCOMPARE(started.load(), 6);
    }

    void resultsComeBackThroughTheFuture()
    {
        TaskPool pool;
        auto sum = pool.enqueue([](int a, int b) { return a + b; }, 2, 3);
        QCOMPARE(sum.get(), 5);
    }

    void queuedTasksStillRunAtShutdownAndNewOnesAreRefused()
    {
        std::atomic<int> ran{0};
        QString refusal;
        {
            TaskPool pool(1);
            pool.enqueue([] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); });
            pool.enqueue([&] {
                ++ran;
                try {
                    pool.enqueue([] {});
                } catch (const std::runtime_error& error) {
                    refusal = error.what();
                }
            });
        }
        QCOMPARE(ran.load(), 1);
        QCOMPARE(refusal, QString("enqueue on stopped ThreadPool"));
    }
};

QTEST_GUILESS_MAIN(TaskPoolTest)
#include "TaskPoolTest.moc"
