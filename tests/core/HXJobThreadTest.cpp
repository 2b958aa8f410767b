#include "core/HXJobThread.h"

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace hx::test
{
namespace
{

// Jobs run one after another, in the order posted, all on one thread that is not
// the poster's; a job may post another; destruction lets every posted job run.
TEST(HXJobThread, RunsJobsInOrderOnOneThreadAndFinishesThemBeforeItGoes)
{
    std::mutex mutex;
    std::vector<int> order;
    std::set<std::thread::id> threads;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    {
        TJobThread jobs;
        for (int i = 0; i < 50; ++i)
        {
            jobs.Post(
                [&, i]
                {
                    if (running.fetch_add(1) != 0)
                        overlapped = true;
                    std::this_thread::sleep_for(std::chrono::microseconds(i % 3 == 0 ? 200 : 0));
                    {
                        std::lock_guard lock(mutex);
                        order.push_back(i);
                        threads.insert(std::this_thread::get_id());
                    }
                    if (i == 49)
                        jobs.Post(
                            [&]
                            {
                                std::lock_guard lock(mutex);
                                order.push_back(50);
                            });
                    running.fetch_sub(1);
                });
        }
    }
    ASSERT_EQ(order.size(), 51u);
    for (int i = 0; i <= 50; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_FALSE(overlapped.load());
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

// The thread is kept between jobs: a slot's transfers do not each start one.
TEST(HXJobThread, KeepsItsThreadBetweenJobs)
{
    TJobThread jobs;
    std::promise<std::thread::id> first;
    jobs.Post([&] { first.set_value(std::this_thread::get_id()); });
    const std::thread::id firstThread = first.get_future().get();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::promise<std::thread::id> second;
    jobs.Post([&] { second.set_value(std::this_thread::get_id()); });
    EXPECT_EQ(second.get_future().get(), firstThread);
}

} // namespace
} // namespace hx::test
