#pragma once

// TThreadSchedule: the scheduler's one-second tick. The thread does no work of its
// own: it hands the tick body to the owner thread, waits until it has run there,
// then sleeps one period (one second plus the tick's duration between two ticks).
// The sleep and the wait are interruptible, and the hand-over is a queued call the
// owner thread skips once the thread has been ended, so destroying the object on
// the owner thread never waits on a tick that cannot run.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/HXPacing.h"

namespace hx
{

class THXOwnerThread;

class TThreadSchedule
{
public:
    // Starts ticking at once. `tick` runs on the owner thread; an exception it
    // throws is passed to `onError` (also on the owner thread) and the ticks go on.
    TThreadSchedule(THXOwnerThread& owner, std::function<void()> tick,
                    std::chrono::milliseconds period = pacing::kScheduleTickPeriod,
                    std::function<void(const std::string& message)> onError = {});
    // Ends the thread and joins it. Call on the owner thread (or with no tick pending).
    ~TThreadSchedule();
    TThreadSchedule(const TThreadSchedule&) = delete;
    TThreadSchedule& operator=(const TThreadSchedule&) = delete;

    // Asks the thread to end after the current tick; no further tick runs.
    void Terminate();

private:
    struct TState
    {
        std::mutex mutex;
        std::condition_variable wake;
        bool terminated = false;
        std::uint64_t ticksDone = 0;
        std::function<void()> tick;
        std::function<void(const std::string&)> onError;
    };

    void Run();

    THXOwnerThread& m_owner;
    std::chrono::milliseconds m_period;
    std::shared_ptr<TState> m_state;
    std::thread m_thread;
};

} // namespace hx
