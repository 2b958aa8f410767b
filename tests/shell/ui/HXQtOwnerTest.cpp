#include "shell/ui/HXQtOwner.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace hx
{

class HXQtOwnerTest : public QObject
{
    Q_OBJECT

private slots:
    // A worker's Invoke runs on the window thread and returns once it has run; an
    // exception reaches the worker; Post runs later on the window thread.
    void InvokeRunsOnTheWindowThreadAndWaits()
    {
        THXQtOwner owner;
        const auto windowThread = std::this_thread::get_id();
        std::atomic<int> ran{0};
        std::thread::id seen;
        bool threw = false;
        std::atomic<bool> workerDone{false};
        std::thread worker(
            [&]
            {
                QVERIFY(!owner.IsOwnerThread());
                owner.Invoke(
                    [&]
                    {
                        seen = std::this_thread::get_id();
                        ++ran;
                    });
                QCOMPARE(ran.load(), 1);
                try
                {
                    owner.Invoke([] { throw std::runtime_error("disk full"); });
                }
                catch (const std::runtime_error& error)
                {
                    threw = std::string(error.what()) == "disk full";
                }
                owner.Post([&] { ++ran; });
                workerDone = true;
            });
        QTRY_VERIFY_WITH_TIMEOUT(workerDone.load() && ran.load() == 2, 5000);
        worker.join();
        QVERIFY(seen == windowThread);
        QVERIFY(threw);
        owner.Invoke([&] { ++ran; });
        QCOMPARE(ran.load(), 3);
    }

    // Calls run in the order they were handed over, also when one of them lets the
    // pending calls run (as the runner does while it halts a task).
    void CallsRunInOrderEvenWhenOneRunsThePendingOnes()
    {
        THXQtOwner owner;
        std::vector<int> order;
        std::atomic<bool> posted{false};
        std::thread worker(
            [&]
            {
                owner.Post(
                    [&]
                    {
                        order.push_back(1);
                        owner.ProcessPending();
                        order.push_back(4);
                    });
                owner.Post([&] { order.push_back(2); });
                owner.Post([&] { order.push_back(3); });
                posted = true;
            });
        // All three are queued before the window thread looks at them.
        worker.join();
        QVERIFY(posted.load());
        QTRY_VERIFY_WITH_TIMEOUT(order.size() == 4, 5000);
        QCOMPARE(order, (std::vector<int>{1, 2, 3, 4}));
    }

    // After Halt nothing handed over runs: calls queued before it are skipped when
    // the loop reaches them, a waiting worker is released, new calls are refused.
    void HaltReleasesWorkersAndDropsQueuedCalls()
    {
        for (int round = 0; round < 100; ++round)
        {
            THXQtOwner owner;
            std::atomic<int> ran{0};
            std::atomic<bool> waiting{false};
            std::atomic<int> released{0};
            owner.Post([&] { ++ran; });
            std::thread worker(
                [&]
                {
                    waiting = true;
                    try
                    {
                        owner.Invoke([&] { ++ran; });
                    }
                    catch (const std::runtime_error&)
                    {
                    }
                    ++released;
                });
            while (!waiting.load())
                std::this_thread::yield();
            owner.Halt();
            // Released by Halt: the queued calls it skips never run, so a worker that
            // only a run of its call could release fails the check on `ran` below.
            QTRY_COMPARE_WITH_TIMEOUT(released.load(), 1, 20000);
            worker.join();
            QCoreApplication::processEvents();
            QCOMPARE(ran.load(), 0);
            owner.Post([&] { ++ran; });
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, owner.Invoke([&] { ++ran; }));
            QCoreApplication::processEvents();
            QCOMPARE(ran.load(), 0);
        }
    }

    // Destroying the owner while workers keep handing over never deadlocks.
    void DestroyingTheOwnerUnderLoadReleasesEveryone()
    {
        auto owner = std::make_unique<THXQtOwner>();
        std::atomic<int> calls{0};
        std::atomic<int> refused{0};
        std::vector<std::thread> workers;
        // Each worker hands calls over until the owner refuses one.
        for (int i = 0; i < 4; ++i)
            workers.emplace_back(
                [&, o = owner.get()]
                {
                    for (;;)
                        try
                        {
                            o->Invoke([&] { ++calls; });
                        }
                        catch (const std::runtime_error&)
                        {
                            ++refused;
                            return;
                        }
                });
        QTRY_VERIFY_WITH_TIMEOUT(calls.load() > 100, 20000);
        owner->Halt();
        const int callsAtHalt = calls.load();
        // Every worker, waiting or about to hand over, is refused: none is left waiting.
        QTRY_COMPARE_WITH_TIMEOUT(refused.load(), 4, 20000);
        for (std::thread& worker : workers)
            worker.join();
        QVERIFY(calls.load() <= callsAtHalt + 1); // at most the call running at the Halt
        owner.reset();
        QCoreApplication::processEvents();
        QVERIFY(calls.load() <= callsAtHalt + 1);
    }
};

} // namespace hx

#include "HXQtOwnerTest.moc"

int RunQtOwnerTests(int argc, char** argv)
{
    hx::HXQtOwnerTest tests;
    return QTest::qExec(&tests, argc, argv);
}
