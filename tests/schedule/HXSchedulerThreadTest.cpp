#include "schedule/HXSchedulerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "core/HXOwner.h"

namespace hx
{
namespace
{

using namespace std::chrono_literals;

TEST(HXSchedulerThread, TicksRunOnTheOwnerThreadOneAtATime)
{
    THXEventLoopOwner owner;
    const std::thread::id ownerThread = std::this_thread::get_id();
    int ticks = 0;
    bool offThread = false;
    std::vector<std::string> errors;
    {
        TThreadSchedule thread(
            owner,
            [&]
            {
                offThread = offThread || std::this_thread::get_id() != ownerThread;
                if (++ticks == 2)
                    throw std::runtime_error("tick failed");
            },
            1ms, [&](const std::string& message) { errors.push_back(message); });
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (ticks < 5 && std::chrono::steady_clock::now() < deadline)
            owner.ProcessPending(10ms);
    }
    EXPECT_GE(ticks, 5) << "an error in one tick does not end the ticking";
    EXPECT_FALSE(offThread);
    EXPECT_EQ(errors, std::vector<std::string>{"tick failed"});

    // Nothing runs after the thread is gone, even a call that was still queued.
    const int after = ticks;
    owner.ProcessPending(20ms);
    EXPECT_EQ(ticks, after);
}

TEST(HXSchedulerThread, EndsPromptlyDuringTheSleepAndWhileATickIsQueued)
{
    THXEventLoopOwner owner;
    std::atomic<int> ticks{0};
    const auto started = std::chrono::steady_clock::now();
    for (int round = 0; round < 2000; ++round)
    {
        // The default one-second period: ending must not wait it out. The queued
        // tick is never run by the owner here, so ending must not wait for it either.
        TThreadSchedule thread(owner, [&] { ++ticks; });
        if (round % 2 == 0)
            std::this_thread::yield();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    owner.ProcessPending();
    EXPECT_EQ(ticks.load(), 0) << "ticks queued for ended threads are skipped";

    // With an inline owner the ticks run on the thread itself; ending mid-sleep is prompt too.
    THXInlineOwner inlineOwner;
    const auto before = std::chrono::steady_clock::now();
    {
        TThreadSchedule thread(inlineOwner, [&] { ++ticks; });
        while (ticks.load() == 0)
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - before, 900ms);
    EXPECT_EQ(ticks.load(), 1);
}

} // namespace
} // namespace hx
