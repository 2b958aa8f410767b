#pragma once

// THXCliSession: the engine's program without windows. Its owner thread is an
// event loop on the calling thread; it holds the engine session (slots, scheduler,
// task runner) with a terminal as the runner's host, runs tasks to their end while
// printing their progress, and turns an interrupt into a stop of the running task.

#include <atomic>
#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "core/HXOwner.h"
#include "net/HXSockets.h"
#include "schedule/HXSchedule.h"
#include "schedule/HXScheduler.h"
#include "shell/HXSession.h"
#include "shell/HXTaskRunner.h"

namespace hx
{
class THXApp;
class THXTask;
} // namespace hx

namespace hx::cli
{

// True when the task holds no fetched file: every page and resource it fetched
// failed, or none was fetched.
bool NothingFetched(const THXTask& task);
// The status text of the task's start page (its first queue item), read from the
// queue file when the queue is not in memory; "" when there is none.
std::string StartPageStatusText(THXTask& task);

// How progress is printed: a line rewritten in place on a terminal, plain lines
// now and then otherwise, or nothing.
enum class TProgressStyle
{
    Live,
    Lines,
    Quiet
};

struct TSessionOptions
{
    // The waits of every run (none: each start reads the "Pacing" setting).
    std::optional<TRunPacing> Pacing;
    TProgressStyle Progress = TProgressStyle::Lines;
    // Between two progress lines (Lines style); the live line is redrawn more often.
    std::chrono::milliseconds ProgressPeriod = std::chrono::seconds(5);
    // Connection slots for the session (0: the "Connections" setting).
    int Connections = 0;
    // Called on the owner thread once for each item of a run that is done with
    // (fetched, or failed); none when empty.
    std::function<void(const THXQItem&)> OnItemDone;
};

// The terminal's side of a running task's queue: it hands each item on once, when
// the item is first done with.
class TCliItemView final : public THXTaskView
{
public:
    explicit TCliItemView(std::function<void(const THXQItem&)> done)
        : m_done(std::move(done))
    {
    }
    void ClearRows() override { m_shown.clear(); }
    void AddRow(THXQItem& item) override { (void)item; }
    void RefreshRow(THXQItem& item) override;

private:
    std::function<void(const THXQItem&)> m_done;
    std::set<int> m_shown;
};

// The runner's host for a terminal: status texts feed the progress line, errors
// and archive messages are printed, the reports of a completed run are written.
class THXCliHost final : public THXRunnerHost
{
public:
    THXCliHost(THXApp& app, std::ostream& out, std::ostream& err, THXEventLoopOwner& owner);
    ~THXCliHost() override;
    THXCliHost(const THXCliHost&) = delete;
    THXCliHost& operator=(const THXCliHost&) = delete;

    // Each item a run is done with goes to `done` (empty: none).
    void WatchItems(std::function<void(const THXQItem&)> done);
    void AttachExploreView(THXTask* task) override;

    void ShowStatus(const std::string& text) override;
    void PageNotSaved(const std::string& localFile) override;
    void ReportZipResult(int code, std::string_view operationWord) override;
    void CreateReports(THXTask& task) override;
    // The reports of a Zip task's completed run, which the runner leaves to the
    // windows' commands: written with the unpacked copy beside the archive.
    void CreateZipReports(THXTask& task);
    void ShowError(const std::string& message) override;
    void ProcessPendingMessages() override;
    void QueueProgress(const std::string& text, std::int64_t position, std::int64_t total) override;

    const std::string& LastStatus() const { return m_lastStatus; }
    // The summary page written at the end of the last run ("" when none).
    const std::string& SummaryFile() const { return m_summaryFile; }
    int Errors() const { return m_errors; }
    // A new run starts: the reports of the last are no longer its reports.
    void ForgetReports() { m_summaryFile.clear(); }

private:
    THXApp& m_app;
    std::ostream& m_out;
    std::ostream& m_err;
    THXEventLoopOwner& m_owner;
    std::string m_lastStatus;
    std::string m_summaryFile;
    int m_errors = 0;
    std::unique_ptr<TCliItemView> m_itemView;
    // The task whose ExploreView is m_itemView, so the view is taken back off it.
    std::weak_ptr<THXTask> m_watched;
};

// What became of a run (the engine session's account of it).
using hx::TRunResult;

class THXCliSession
{
public:
    THXCliSession(THXApp& app, std::ostream& out, std::ostream& err, TSessionOptions options = {});
    ~THXCliSession();
    THXCliSession(const THXCliSession&) = delete;
    THXCliSession& operator=(const THXCliSession&) = delete;

    THXSession& Engine() { return m_session; }
    THXScheduler& Scheduler() { return m_session.Scheduler(); }
    THXTaskRunner& Runner() { return m_session.Runner(); }
    THXCliHost& Host() { return m_host; }
    THXSlotList& Slots() { return m_session.Slots(); }
    THXEventLoopOwner& Owner() { return m_owner; }

    // Starts the task now and serves the event loop until the run ends, or stops it
    // when the stop request is set, `stopAfter` has passed or `stopWhen` says so
    // (looked at between two turns of the loop).
    TRunResult RunTask(const std::shared_ptr<THXTask>& task,
                       std::optional<std::chrono::milliseconds> stopAfter = std::nullopt,
                       const std::function<bool(THXTask&)>& stopWhen = {});
    // Ticks the scheduler once a second, starting due tasks from the active-task
    // list, until the stop request is set (a running task is stopped first).
    void RunSchedule();
    // Serves the event loop (hand-overs and timers) for a while.
    void Serve(std::chrono::milliseconds duration);

    // Set from a signal handler or another thread: stop the running task.
    std::atomic<int>* StopRequest = nullptr;
    // Prints the progress line or the summary of a task now.
    void PrintProgress(THXTask& task, bool final);
    void PrintSummary(THXTask& task);
    // The same as one JSON object, with the exit status the run gives.
    std::string SummaryJson(THXTask& task, int exitStatus);
    // After a run of a Zip task: the reports of a completed run beside the archive,
    // and the files the archive now holds removed from the temporary folder.
    void FinishZipRun(THXTask& task);
    // Why the start page of the last run failed: its status text, else what its
    // connection slot last showed (a connection failure leaves no status text in
    // the item); "" when neither says anything.
    std::string StartPageFailure(THXTask& task) const;

private:
    void ServeOnce(std::chrono::milliseconds wait);
    bool StopRequested() const { return StopRequest && StopRequest->load() > 0; }

    THXApp& m_app;
    std::ostream& m_out;
    std::ostream& m_err;
    TSessionOptions m_options;
    THXEventLoopOwner m_owner;
    THXCliHost m_host;
    std::chrono::steady_clock::time_point m_nextProgress;
    std::size_t m_liveWidth = 0;
    // The bytes received at the start of the progress line's rate window (-1: no rate yet).
    std::chrono::steady_clock::time_point m_rateSampleTime{};
    std::int64_t m_rateSampleBytes = 0;
    double m_recentRate = -1;
    // What a slot last showed while it fetched a start page (the first queue item).
    std::string m_startPageSlotStatus;
    // Last: made after the loop, the host and the fields its reports reach, and
    // ended before them.
    THXSession m_session;
};

} // namespace hx::cli
