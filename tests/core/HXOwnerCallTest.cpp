#include "core/HXOwnerCall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/HXOwner.h"
#include "core/HXWorkerRun.h"

namespace hx
{
namespace
{

// An owner thread whose queue the test drives: the constructing thread is the owner,
// posted calls wait until the test runs them, Close drops them as a closing loop does.
class TTestOwner final : public THXOwnerThread
{
public:
    void Invoke(const std::function<void()>& fn) override
    {
        ++Invoked;
        fn();
    }
    void Post(std::function<void()> fn) override
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(fn));
        m_posted.notify_all();
    }
    bool IsOwnerThread() const override { return std::this_thread::get_id() == m_owner; }

    void WaitForQueued(std::size_t count)
    {
        std::unique_lock lock(m_mutex);
        m_posted.wait(lock, [&] { return m_queue.size() >= count; });
    }
    void RunQueued()
    {
        std::deque<std::function<void()>> queue;
        {
            std::lock_guard lock(m_mutex);
            queue.swap(m_queue);
        }
        for (const auto& fn : queue)
            fn();
    }
    void Close()
    {
        std::deque<std::function<void()>> dropped;
        std::lock_guard lock(m_mutex);
        dropped.swap(m_queue);
    }

    std::atomic<int> Invoked{0};

private:
    const std::thread::id m_owner = std::this_thread::get_id();
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_queue;
};

// Hands fn over from a worker thread; what the worker saw comes back.
struct TWorkerSeen
{
    bool Ran = false;
    std::string Error;
};

std::thread HandFromWorker(TTestOwner& owner, const std::function<void()>& fn, const THXOwnerCall::TWanted* wanted,
                           TWorkerSeen& seen)
{
    return std::thread(
        [&owner, &fn, wanted, &seen]
        {
            try
            {
                seen.Ran = THXOwnerCall::Hand(owner, std::make_shared<THXOwnerCall>(fn, wanted));
            }
            catch (const std::exception& error)
            {
                seen.Error = error.what();
            }
        });
}

// Off the owner thread the call runs once, on the owner thread, and its exception
// reaches the waiting worker; a stopping owner that runs the call itself leaves the
// queued runner nothing to do.
TEST(HXOwnerCallTest, RunsOnceOnTheOwnerThreadAndPassesTheExceptionBack)
{
    TTestOwner owner;
    std::atomic<int> ran{0};
    std::thread::id where;
    const std::function<void()> fails = [&]
    {
        where = std::this_thread::get_id();
        ++ran;
        throw std::runtime_error("disk full");
    };
    TWorkerSeen seen;
    std::thread worker = HandFromWorker(owner, fails, nullptr, seen);
    owner.WaitForQueued(1);
    owner.RunQueued();
    worker.join();
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(where, std::this_thread::get_id());
    EXPECT_EQ(seen.Error, "disk full");
    EXPECT_FALSE(seen.Ran);
    EXPECT_EQ(owner.Invoked.load(), 0);

    // Run ahead of the loop, then the loop reaches the runner: one run only.
    const std::function<void()> counts = [&] { ++ran; };
    auto call = std::make_shared<THXOwnerCall>(counts);
    owner.Post(THXOwnerCall::Runner(call));
    EXPECT_TRUE(call->Run());
    EXPECT_FALSE(call->Run());
    owner.RunQueued();
    EXPECT_TRUE(call->Wait());
    EXPECT_EQ(ran.load(), 2);
}

// A call still queued when the owner's loop closes never runs, and the worker waiting
// for it is released with the closing error; one its worker stops wanting never runs
// either, and the worker is released without an error.
TEST(HXOwnerCallTest, PendingCallIsAbandonedOnCloseOrWhenNoLongerWanted)
{
    TTestOwner owner;
    std::atomic<int> ran{0};
    const std::function<void()> counts = [&] { ++ran; };

    TWorkerSeen closed;
    std::thread first = HandFromWorker(owner, counts, nullptr, closed);
    owner.WaitForQueued(1);
    owner.Close();
    first.join();
    EXPECT_EQ(closed.Error, kOwnerClosingText);
    EXPECT_FALSE(closed.Ran);

    std::atomic<bool> wantedFlag{true};
    const THXOwnerCall::TWanted wanted = [&] { return wantedFlag.load(); };
    auto call = std::make_shared<THXOwnerCall>(counts, &wanted);
    TWorkerSeen dropped;
    std::thread second(
        [&]
        {
            owner.Post(THXOwnerCall::Runner(call));
            dropped.Ran = call->Wait();
        });
    owner.WaitForQueued(1);
    wantedFlag = false;
    call->Wake();
    second.join();
    EXPECT_FALSE(dropped.Ran);
    // The loop reaches the runner later: it does nothing.
    owner.RunQueued();
    EXPECT_EQ(ran.load(), 0);
}

// On the owner thread the call runs at once through the owner's Invoke, nothing is
// queued, its exception reaches the caller, and an unwanted call does not run.
TEST(HXOwnerCallTest, RunsInlineOnTheOwnerThread)
{
    TTestOwner owner;
    int ran = 0;
    const std::function<void()> counts = [&] { ++ran; };
    EXPECT_TRUE(THXOwnerCall::Hand(owner, std::make_shared<THXOwnerCall>(counts)));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(owner.Invoked.load(), 1);

    const std::function<void()> fails = [] { throw std::runtime_error("no room"); };
    EXPECT_THROW(THXOwnerCall::Hand(owner, std::make_shared<THXOwnerCall>(fails)), std::runtime_error);

    const THXOwnerCall::TWanted never = [] { return false; };
    EXPECT_FALSE(THXOwnerCall::Hand(owner, std::make_shared<THXOwnerCall>(counts, &never)));
    EXPECT_EQ(ran, 1);
    owner.RunQueued();
    EXPECT_EQ(ran, 1);
}

// The worker-run helper: End releases a worker wherever it waits (paused, sleeping,
// waiting for a hand-over), and a hand-over of an ended run never runs.
TEST(HXOwnerCallTest, WorkerRunEndReleasesPausedSleepingAndWaitingWorkers)
{
    TTestOwner owner;
    std::atomic<int> ran{0};
    const std::function<void()> counts = [&] { ++ran; };
    for (int where = 0; where < 3; ++where)
    {
        THXWorkerRun run;
        const std::uint64_t number = run.Number();
        std::atomic<bool> returned{false};
        std::thread worker(
            [&]
            {
                if (where == 0)
                    EXPECT_FALSE(run.Begin().has_value());
                else if (where == 1)
                    EXPECT_FALSE(run.Sleep(number, std::chrono::hours(1), 3));
                else
                    EXPECT_FALSE(run.OnOwner(owner, number, counts));
                returned = true;
            });
        if (where == 0)
            while (!run.Paused())
                std::this_thread::yield();
        if (where == 2)
            owner.WaitForQueued(1);
        run.End();
        worker.join();
        EXPECT_TRUE(returned.load());
        owner.RunQueued();
    }
    EXPECT_EQ(ran.load(), 0);
}

} // namespace
} // namespace hx
