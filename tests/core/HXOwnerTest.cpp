#include "core/HXOwner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

namespace hx
{
namespace
{

TEST(HXOwnerTest, InvokeRunsOnTheOwnerThreadAndWaits)
{
    THXEventLoopOwner owner;
    const auto ownerId = std::this_thread::get_id();
    std::atomic<int> ran{0};
    std::thread::id seen;
    bool threw = false;
    std::thread worker(
        [&]
        {
            EXPECT_FALSE(owner.IsOwnerThread());
            owner.Invoke(
                [&]
                {
                    seen = std::this_thread::get_id();
                    ++ran;
                });
            // Invoke returned, so the call has run.
            EXPECT_EQ(ran.load(), 1);
            try
            {
                owner.Invoke([] { throw std::runtime_error("disk full"); });
            }
            catch (const std::runtime_error& error)
            {
                threw = std::string(error.what()) == "disk full";
            }
            owner.Post([&] { ++ran; });
        });
    while (ran.load() < 2)
        owner.ProcessPending(std::chrono::milliseconds(50));
    worker.join();
    EXPECT_EQ(seen, ownerId);
    EXPECT_TRUE(threw);
    // On the owner thread itself Invoke runs inline.
    owner.Invoke([&] { ++ran; });
    EXPECT_EQ(ran.load(), 3);
}

TEST(HXOwnerTest, QuitReleasesEveryWaitingWorker)
{
    for (int round = 0; round < 200; ++round)
    {
        THXEventLoopOwner owner;
        std::promise<void> released;
        std::future<void> releasedNow = released.get_future();
        std::thread worker(
            [&]
            {
                try
                {
                    owner.Invoke([] {});
                }
                catch (const std::runtime_error&)
                {
                }
                released.set_value();
            });
        if (round % 2 == 0)
            owner.ProcessPending(std::chrono::milliseconds(1));
        owner.Quit();
        // The worker's Invoke returns because of Quit, not because the test ends: a
        // worker still waiting after a generous limit is a failure (its call is then
        // run, so that the test can end instead of hanging in join).
        const bool releasedByQuit = releasedNow.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        if (!releasedByQuit)
            owner.ProcessPending(std::chrono::seconds(1));
        worker.join();
        EXPECT_TRUE(releasedByQuit) << "round " << round;
    }
}

TEST(HXOwnerTest, RunServesCallsUntilQuit)
{
    THXEventLoopOwner owner;
    std::thread loop([&] { owner.Run(); });
    int total = 0;
    for (int i = 0; i < 100; ++i)
        owner.Invoke([&total, i] { total += i; });
    EXPECT_EQ(total, 4950);
    owner.Quit();
    loop.join();
    EXPECT_THROW(owner.Invoke([] {}), std::runtime_error);
}

} // namespace
} // namespace hx
