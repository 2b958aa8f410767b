#pragma once

// THXWorkerRun: what a worker thread and the threads that steer it share (the
// dispatcher and the parse worker hold one each). The worker works in numbered runs:
// halting, a new task and the worker's end each end the current run, and from then
// on the run's hand-overs to the owner thread still queued do nothing and its waits
// return. So once Halt (or the new task) has returned on the owner thread, the worker
// changes nothing more for the old run.
//
// A halted worker waits at the top of its loop (Begin) on a condition variable;
// Resume wakes it into a new run. End ends the run and wakes the worker wherever it
// waits (paused, sleeping, or waiting for a hand-over), so ending never waits on a
// paused worker. Every sleep is interruptible; its length comes from the worker's
// pacing (core/HXPacing.h).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "core/HXHandOver.h"

namespace hx
{

class THXOwnerThread;

class THXWorkerRun
{
public:
    // Created halted.
    THXWorkerRun() = default;
    THXWorkerRun(const THXWorkerRun&) = delete;
    THXWorkerRun& operator=(const THXWorkerRun&) = delete;

    // --- Any thread ---

    // Ends the current run (a new task): see the class comment.
    void EndRun();
    // Halts and ends the run; false when already halted.
    bool Halt();
    // Clears the halt (the worker starts a new run); false when not halted.
    bool Resume();
    // The worker is to end: ends the run and wakes it wherever it waits.
    void End();
    bool Halted() const;
    // The worker waits in Begin for Resume (or its end).
    bool Paused() const;
    bool Ending() const { return m_ending; }
    // Something happened: a worker waiting in AwaitWake looks at once.
    void Wake();
    // The current run's number (1 at first; never 0).
    std::uint64_t Number() const { return m_run; }
    bool Current(std::uint64_t run) const { return m_run == run; }

    // --- The worker's thread ---

    // The top of the worker's loop: waits while halted; the run to work in, or none
    // when the worker is to end.
    std::optional<std::uint64_t> Begin();
    // Sleeps `steps` steps of `step`, ending early when the run ends; true when the
    // run is still current.
    bool Sleep(std::uint64_t run, std::chrono::milliseconds step, int steps = 1);
    // Waits for Wake, the end of the run, or `limit`; a wake-up seen is used up.
    void AwaitWake(std::uint64_t run, std::chrono::milliseconds limit);
    // Forgets a wake-up that came before now.
    void ClearWake();
    // Runs fn on the owner thread and waits for it; false when the run ended first
    // (fn then never runs). An exception thrown by fn reaches the caller. On the owner
    // thread fn runs at once while the run is current.
    bool OnOwner(THXOwnerThread& owner, std::uint64_t run, const std::function<void()>& fn);

private:
    // The run's waits end: Begin, Sleep and AwaitWake look again.
    void EndRunLocked();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_halted = true;
    bool m_paused = false;
    bool m_wakePending = false;
    std::atomic<bool> m_ending{false};
    // Asked by both threads at every step and hand-over: read without the lock.
    std::atomic<std::uint64_t> m_run{1};
    THXHandOver m_handOver;
};

} // namespace hx
