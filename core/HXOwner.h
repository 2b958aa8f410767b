#pragma once

// The owner thread: every change to tasks, queue items, queue lines, files and
// windows happens on it. Workers hand such changes over: Invoke runs a function on
// the owner thread and returns when it has run (inline when already there); Post
// queues it and returns at once. The windowed program and harbex-cli implement it
// on their event loop; tests use THXEventLoopOwner or THXInlineOwner below.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace hx
{

class THXOwnerThread
{
public:
    virtual ~THXOwnerThread() = default;
    // Runs fn on the owner thread and waits for it; an exception thrown by fn
    // reaches the caller.
    virtual void Invoke(const std::function<void()>& fn) = 0;
    // Queues fn to run on the owner thread later.
    virtual void Post(std::function<void()> fn) = 0;
    virtual bool IsOwnerThread() const = 0;
};

// Runs everything at once on the calling thread, serialised by a lock: for
// single-threaded engine tests and tools without an event loop.
class THXInlineOwner final : public THXOwnerThread
{
public:
    void Invoke(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;
    bool IsOwnerThread() const override { return true; }

private:
    std::recursive_mutex m_mutex;
};

// A small event loop: the thread that calls Run (or ProcessPending) is the owner
// thread. Invoke from another thread queues the call and waits for it.
class THXEventLoopOwner final : public THXOwnerThread
{
public:
    // The constructing thread is the owner thread until Run is called elsewhere.
    THXEventLoopOwner();
    ~THXEventLoopOwner() override;

    void Invoke(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;
    bool IsOwnerThread() const override;

    // Runs queued calls until Quit; the calling thread becomes the owner thread.
    void Run();
    // Runs the calls queued now, waiting up to `wait` for the first one; returns how many ran.
    int ProcessPending(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    // Ends Run; calls still queued are dropped, and workers waiting for them are
    // released with an error (THXOwnerCall), so no worker waits forever on a loop
    // that has stopped.
    void Quit();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_calls;
    // Asked by every thread at every hand-over: read without the lock.
    std::atomic<std::thread::id> m_owner;
    bool m_quit = false;
};

} // namespace hx
