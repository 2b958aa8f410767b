#pragma once

// THXSession: the engine of one running program. It makes the given owner thread
// the app's owner thread and holds what lives as long as the program runs: the
// clock, the scheduler, the connection slots, the task runner and the scheduler's
// tick thread. It runs the first-run set-up and loads the active-task list when
// its program asks, and ends everything in one destructor, in the order the
// hand-overs need: the tick first, then the running task, the runner with its
// workers, the slots, and last the owner thread's hand-overs.
//
// Both programs hold one: the windows (with Qt's owner thread) pass theirs to the
// main window, harbex-cli (with its own event loop) to its terminal session. The
// runner reports to the host attached with SetHost; with none attached its
// reports go nowhere, so a window can go before the session that it showed.
//
// Threads: everything runs on the owner thread.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/HXPacing.h"
#include "schedule/HXSchedule.h"
#include "schedule/HXScheduler.h"
#include "shell/HXFirstRun.h"
#include "shell/HXTaskRunner.h"

namespace hx
{

class THXApp;
class THXOwnerThread;
class THXSlotList;
class THXTask;
class TThreadSchedule;

// What became of a run.
struct TRunResult
{
    bool Started = false;
    // The run ended by completion (6 or 7), not by a stop.
    bool Completed = false;
    bool Interrupted = false;
    int Status = 0;
    // Why the run stopped by itself ("Disk full: ..."); empty otherwise.
    std::string FailureText;
};

struct TSessionSetup
{
    // The waits of every run (none: each start reads the "Pacing" setting).
    std::optional<TRunPacing> Pacing;
    // The clock the scheduler decides with (null: the system's; tests give their own).
    const THXClock* Clock = nullptr;
    // The period of the scheduler's tick thread (tests shorten it).
    std::chrono::milliseconds TickPeriod = pacing::kScheduleTickPeriod;
    // Ends the owner thread's hand-overs once the workers are gone: the windows
    // halt Qt's owner (queued calls are dropped), the command line lets its loop
    // run what is left. Nothing when empty.
    std::function<void()> EndHandOvers;
    // Each tick first reads the settings file again when another program has
    // changed it (the windows; the command line keeps its own overrides).
    bool ReloadSettingsOnTick = false;
};

class THXSession
{
public:
    // `app` and `owner` must outlive the session; `owner` becomes the app's owner
    // thread until the session ends.
    THXSession(THXApp& app, THXOwnerThread& owner, TSessionSetup setup = {});
    // Stops a running task (saved as stopped), ends the tick, the workers and the
    // slots, then the hand-overs, and gives the app its owner thread back.
    ~THXSession();
    THXSession(const THXSession&) = delete;
    THXSession& operator=(const THXSession&) = delete;

    THXApp& App() { return m_app; }
    THXOwnerThread& Owner() { return m_owner; }
    const THXClock& Clock() const { return m_setup.Clock ? *m_setup.Clock : m_clock; }
    THXScheduler& Scheduler() { return m_scheduler; }
    THXSlotList& Slots() { return *m_slots; }
    THXTaskRunner& Runner() { return *m_runner; }

    // The host the runner reports to from now on (null: none). A window detaches
    // its host before it goes.
    void SetHost(THXRunnerHost* host);

    // The first-run set-up of the program folder and settings (once per version).
    TFirstRunResult FirstRun(const TFirstRunOptions& options = {});
    // Loads the active-task list into the scheduler; returns what could not be loaded.
    std::vector<std::string> LoadActiveTasks(const std::function<bool()>& stopRequested = {});

    // Starts the tick thread: every TickPeriod the scheduler ticks on the owner
    // thread (starting a due task); an error of a tick is shown on the host's
    // status line and the ticks go on.
    void StartTicking();
    // No tick runs from now on (the thread ends with the session).
    void StopTicking();

    // Stops the running task, if any (it is saved as "Download Stopped").
    void StopRunningTask();

    // For programs that serve the owner's loop themselves (the command line):
    // starts the task now and, until its run ends, lets `serve` serve the loop for
    // at most the wait it is given (up to the zip timer's next tick). The run is
    // stopped as soon as `stop` says so (asked between two turns).
    TRunResult RunTask(const std::shared_ptr<THXTask>& task,
                       const std::function<void(std::chrono::milliseconds wait)>& serve,
                       const std::function<bool(THXTask&)>& stop);
    // Ticks the zip timer when its period has passed since its last tick.
    void TickZipTimerWhenDue();

private:
    class THostRelay;

    THXApp& m_app;
    THXOwnerThread& m_owner;
    TSessionSetup m_setup;
    TSystemClock m_clock;
    std::unique_ptr<THostRelay> m_host;
    THXScheduler m_scheduler;
    std::unique_ptr<THXSlotList> m_slots;
    std::unique_ptr<THXTaskRunner> m_runner;
    std::unique_ptr<TThreadSchedule> m_tick;
    std::chrono::steady_clock::time_point m_nextZipTick;
};

} // namespace hx
