#pragma once

// TThreadDownload: the download dispatcher. One worker thread for the program; while
// a task runs it cycles about once a second: it accounts for finished transfers and
// refreshes the slot displays and the statistics (UpdateSlots), hands queued items to
// idle connection slots in the order of the page/media priority rule (DispatchOne),
// writes the queue file from time to time (AutoSaveQueue) and recognises the end of
// the task: nothing left to fetch, no transfer running and no page waiting to be
// parsed. Then the task's Status becomes 5, the queue and task files are written and
// the dispatcher pauses itself until the task runner resumes it for the next task.
//
// Threads: the worker scans the slot list for an idle slot and reads slot states from
// its own thread. Everything that changes shared objects (item accounting, slot
// displays, charts, choosing and fetching an item, destroying a surplus slot, the
// queue and task writes) is handed to the owner thread with the worker waiting. Like
// the parse worker, a hand-over belongs to one run: Halt and SetTask end the run, and
// once they have returned on the owner thread the worker touches the task no more.
//
// The object is RAII: created halted; the destructor ends the worker wherever it
// waits and joins it. Every wait is interruptible.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/HXPacing.h"
#include "core/HXWorkerRun.h"
#include "engine/HXRobots.h"

namespace hx
{

class THXApp;
class THXTask;
class THXQItem;
class THXSocket;
class THXSlotList;

// One point of a chart: x = elapsed seconds.
struct TChartPoint
{
    double X = 0;
    double Y = 0;
    bool operator==(const TChartPoint&) const = default;
};

// The three series of the status window: total kilobytes received, transfer rate
// (kilobytes per second since the start) and the wanted number of connections.
struct TDownloadCharts
{
    std::vector<TChartPoint> TotalKBytes;
    std::vector<TChartPoint> TransferRate;
    std::vector<TChartPoint> Connections;
};

// The status window's side of the dispatcher; called on the owner thread.
class THXDownloadView
{
public:
    virtual ~THXDownloadView() = default;
    // The task's counters changed (a transfer was accounted for).
    virtual void RefreshStatus(THXTask& task) { (void)task; }
    // A point was added to each chart series.
    virtual void ChartsChanged(const TDownloadCharts& charts) { (void)charts; }
};

// The dispatcher's waits. The defaults are the Classic pacing; tests shorten them.
struct TDispatchPacing
{
    // The cycle sleeps five of these steps.
    std::chrono::milliseconds SleepStep = pacing::kDispatcherSleepStep;
    // Fast pacing: a cycle (UpdateSlots, the dispatch pass, the queue-file check)
    // runs as soon as Wake is called, and at the latest five steps after the last.
    bool EventDriven = false;
    // Event-driven only: the least time between two writes of the queue file while
    // the crawl runs (0: write at every cycle with changes).
    std::chrono::milliseconds QueueSaveInterval{0};
    // The least time between two requests to one host (0: none).
    std::chrono::milliseconds HostDelay{0};

    static TDispatchPacing Fast();
};

// Whether the address's server is given up on for the run: down, or its host's lookup
// failed. Its items end as errors without a network attempt. Any thread.
bool ServerGivenUp(THXSlotList& slots, const std::string& url);

class TThreadDownload
{
public:
    explicit TThreadDownload(THXApp& app, TDispatchPacing pacing = {});
    ~TThreadDownload();
    TThreadDownload(const TThreadDownload&) = delete;
    TThreadDownload& operator=(const TThreadDownload&) = delete;

    // The running task (null: none). A new task ends the current run. Owner thread.
    void SetTask(std::shared_ptr<THXTask> task);
    std::shared_ptr<THXTask> Task() const;
    // The connection slots (the connections window's list; it outlives the dispatcher's use).
    void SetSlots(THXSlotList* slots);
    // The wanted number of slots (the connections control); default: the
    // "Connections" setting.
    void SetWantedSlots(std::function<int()> wanted);
    void SetStatusView(THXDownloadView* view);
    // Whether the task has a fetched page still to be parsed (asked on the owner
    // thread). Default: the task's NextSavedPage. The task runner asks the parse worker, which leaves out the
    // pages it could not write back in this run (they would keep the task open).
    void SetPageWaiting(std::function<bool(THXTask& task)> pageWaiting);
    // Called on the owner thread right after the dispatcher has marked its task
    // complete (status 5) and halted itself; set before the task starts.
    void SetOnCompleted(std::function<void()> onCompleted);
    // The waits from the next cycle on (the task runner sets them when a task starts).
    void SetPacing(const TDispatchPacing& pacing);
    TDispatchPacing Pacing() const;
    // Something happened (a transfer ended, a page was parsed, a setting changed): an
    // event-driven dispatcher runs its next cycle now. Any thread.
    void Wake();

    // Halted: the worker pauses at its next check, and hand-overs of the run still
    // queued do nothing. Resume clears it and starts a new run. The dispatcher also
    // halts itself when its task completes.
    void Halt();
    void Resume();
    bool Halted() const;
    // The worker is waiting for Resume (or its end).
    bool Paused() const;
    // Dispatch cycles begun since creation.
    std::uint64_t Cycles() const { return m_cycles; }

    // The charts of the current run; ClearCharts empties them (the status window's
    // reset at the start of a run). Any thread.
    TDownloadCharts Charts() const;
    void ClearCharts();

    // --- The cycle's steps, callable on the owner thread for tests and tools ---

    // The page/media priority rule: the next item to fetch, counting it in the
    // task's PagesDispatched or ResourcesDispatched; null when nothing waits. With
    // `usable`, items it turns down are passed over (left as they are).
    THXQItem* ChooseNext(THXTask& task, const std::function<bool(THXQItem&)>& usable = {});
    // Accounts for finished transfers, refreshes every slot's display and row, and
    // adds a chart point for the elapsed time.
    void UpdateSlots();
    // Accounts for the item of a slot whose transfer has ended.
    void ItemDone(THXSocket& slot);
    // A transfer stopped by a halt may have saved its item just before it noticed
    // (it was not ended yet when the slots were last looked at): such an item is
    // counted as ItemDone would count it. Owner thread, after the slot was stopped.
    void AccountStopped(THXSocket& slot);
    // Adds a point for `seconds` to each series unless one at or after it exists.
    void AddSample(int seconds);

private:
    enum class TStep
    {
        Fetched,
        PassOver,
        Completed
    };

    enum class THostStep
    {
        Go,   // the item's server is known and has a slot to spare
        Hold, // its host is being looked up, or its slots are all connecting
        Ended // its host does not resolve or its server is down: the item failed
    };

    // Where an item's connection goes: the host name to look up, the server (host and
    // port, see ServerKey) and how the item's error text names it.
    struct TItemServer
    {
        std::string Name;
        std::string Server;
        std::string Shown;
    };

    enum class TRobotsStep
    {
        Go,     // fetch the item
        Wait,   // its site's robots.txt is being fetched
        Refused // the site's robots.txt keeps the page out
    };

    void Execute();
    TStep DispatchOne(std::uint64_t run);
    // Owner thread: one dispatch step for the idle slot.
    TStep DispatchOneOnOwner(THXSlotList& slots, THXSocket* idleSlot, const std::shared_ptr<THXTask>& task);
    bool OnOwner(std::uint64_t run, const std::function<void()>& fn);
    // Sleeps `steps` of the pacing's steps; false when the run ended.
    bool Sleep(std::uint64_t run, int steps);
    void ExecuteFastCycle(std::uint64_t run, const std::shared_ptr<THXTask>& task);
    // The host delay (raised to the site's Crawl-delay when robots.txt is obeyed):
    // whether the item's host may be asked now (owner thread).
    bool HostReady(THXTask& task, THXQItem& item);
    // Whether robots.txt is obeyed in this run: Fast pacing and "Obey Robots".
    bool ObeyingRobots() const;
    // Robots.txt for a page: its site's file first, then whether the page may be
    // fetched. Files a page needs and the start address are never refused (owner thread).
    TRobotsStep RobotsStep(THXTask& task, THXQItem& item);
    // A refused page ends as an error that says why, without a request (owner thread).
    void RefuseByRobots(THXTask& task, THXQItem& item);
    // The lookup stage: whether the item's host is ready to be fetched from. A host
    // without an answer yet is looked up (off the slots) and its items wait; one that
    // failed, or whose server is down, ends its items at once (owner thread).
    THostStep HostStep(THXTask& task, THXQItem& item, THXSlotList& slots, const std::string& proxy,
                       std::string& server);
    const TItemServer& ItemServer(THXTask& task, THXQItem& item, const std::string& proxy);
    // Ends an item that was never asked for as an error with the text (owner thread).
    void EndUnasked(THXTask& task, THXQItem& item, const std::string& text);
    bool Current(std::uint64_t run) const { return m_worker.Current(run); }
    bool PageWaiting(THXTask& task) const;
    int WantedSlots() const;

    THXApp& m_app;
    TDispatchPacing m_pacing; // guarded by m_mutex

    mutable std::mutex m_mutex;
    std::shared_ptr<THXTask> m_task;
    THXSlotList* m_slots = nullptr;
    THXDownloadView* m_statusView = nullptr;
    std::function<int()> m_wantedSlots;
    std::function<bool(THXTask&)> m_pageWaiting;
    std::function<void()> m_onCompleted;
    // Event-driven: the last write of the queue file; the host delay's bookkeeping
    // (owner thread): when each host was last asked, and until when a delayed item waits.
    std::chrono::steady_clock::time_point m_lastQueueSave{};
    std::map<std::string, std::chrono::steady_clock::time_point> m_lastRequest;
    std::chrono::steady_clock::time_point m_delayedUntil{};
    // The servers of the items that wait for their host, by item index (owner thread).
    std::map<int, TItemServer> m_waitingServers;
    // The run, halt, pause, sleeps and hand-overs of the worker.
    THXWorkerRun m_worker;
    std::atomic<std::uint64_t> m_cycles{0};
    // What the slots' host cache calls when a lookup settles. The cache belongs to the
    // slots, which may outlive the dispatcher or end before it: the call goes through
    // this shared link, which the destructor cuts (waiting for a call in progress)
    // without touching the slots.
    struct TSettledLink
    {
        std::mutex Mutex;
        TThreadDownload* Target = nullptr; // guarded by Mutex
    };
    std::shared_ptr<TSettledLink> m_settledLink = std::make_shared<TSettledLink>();
    // The robots.txt rules of the sites met in the current run; it wakes the
    // dispatcher when a site's file has been read.
    THXRobots m_robots{[this] { Wake(); }};

    mutable std::mutex m_chartMutex;
    TDownloadCharts m_charts;

    std::thread m_thread; // last: starts after everything above exists
};

} // namespace hx
