#pragma once

// TThreadParse: the parse worker. One worker thread for the program; while a task runs it
// takes the task's fetched pages (state 5) one at a time, in queue order, loads each,
// finds and follows its links (new items for the queue), rewrites the links in it, adds
// the ad banner, saves it and marks it parsed (state 10). When no page waits, it takes
// the task's fetched style sheets (.css resources) the same way: their links are
// followed and rewritten, and they stay fetched resources. The page work itself is
// TPageScan; this class is the loop and the hand-overs around it.
//
// Threads: the worker runs on a std::thread of its own and never changes shared objects
// itself. Every queue change (new items, states, records), every status text and the
// page's load and save are handed to the owner thread with the worker waiting; the
// worker only scans the queue (NextSavedPage) and looks up known URLs, both under the
// task's queue lock. A hand-over belongs to one run: halting, a new task or the end
// makes the worker give up a page at its next step, and a hand-over that reaches the
// owner thread after that does nothing, so once Halt (or SetTask) has returned on the
// owner thread the worker changes nothing more until it is resumed.
//
// The object is RAII: created halted (the task runner sets the task and resumes it);
// the destructor ends the worker, wakes it wherever it waits (paused, sleeping, or
// waiting for a hand-over) and joins it. Every wait is interruptible. It must not be
// destroyed from inside its own status calls (the worker waits for that call to end).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/HXFiles.h"
#include "core/HXHandOver.h"
#include "core/HXPacing.h"
#include "core/HXWorkerRun.h"
#include "engine/HXThreadParseScan.h"

namespace hx
{

class THXApp;
class THXTask;
class THXQItem;
class TRenderStep;

// The status line the parse worker writes to (the status window's). Called on the
// owner thread only.
class THXParseStatus
{
public:
    virtual ~THXParseStatus() = default;
    // Shows a one-line text (an empty text clears the line); the window repaints.
    virtual void ShowStatus(const std::string& text) = 0;
    // A parsed page could not be written back; reported once per page and run. The
    // page stays in state 5 and is not offered again in this run.
    virtual void PageNotSaved(const std::string& localFile) { ShowStatus("Unable to save page: " + localFile); }
};

// The worker's waits. The defaults are the program's pacing; tests shorten them.
struct TParsePacing
{
    std::chrono::milliseconds SleepStep = pacing::kParseSleepStep;
    int SleepSteps = pacing::kParseSleepSteps;
    std::chrono::milliseconds StatusWait = pacing::kParseStatusWait;
    // Least time between two "Parsing..." texts during a scan, and between two
    // hand-overs of new items (a batch is also handed over when it is full).
    std::chrono::milliseconds ProgressInterval = std::chrono::milliseconds(100);
    // Fast pacing: no sleep between two pages while fetched pages wait; an idle
    // worker sleeps until Wake (or the sleep's end).
    bool SleepOnlyWhenIdle = false;
    // Fast pacing: a status text is shown with the worker's next hand-over instead of
    // by one of its own (the last text waiting is shown when the worker runs out of
    // pages), so a page costs two trips to the owner thread rather than six.
    bool StatusWithHandOver = false;
    // Fast pacing: the save of a page also reads the next page waiting, so the next
    // page needs no hand-over of its own before its scan.
    bool ReadAheadWithSave = false;

    // Fast pacing: no status waits, no sleeps while there is work.
    static TParsePacing Fast();
};

// What became of a page given to ParsePage.
enum class TParseOutcome
{
    Parsed,    // saved and in state 10
    Empty,     // the file holds no text: marked parsed (state 10) as it is
    TooLarge,  // the file is larger than the "Max Page Size": marked parsed as it is, not scanned
    Refetch,   // the file is missing or unreadable: back to state 0, fetched again
    NotSaved,  // the rewritten page could not be written: still state 5, reported
    Abandoned, // halted, ended or no longer a saved page: nothing changed by this page
};

class TThreadParse
{
public:
    explicit TThreadParse(THXApp& app, TParsePacing pacing = {});
    ~TThreadParse();
    TThreadParse(const TThreadParse&) = delete;
    TThreadParse& operator=(const TThreadParse&) = delete;

    // The task whose pages are parsed (null: none). A new task ends the current run:
    // see the class comment. Any thread.
    void SetTask(std::shared_ptr<THXTask> task);
    std::shared_ptr<THXTask> Task() const;
    // The status line (null: none). Any thread; the view is used on the owner thread.
    void SetStatusView(THXParseStatus* view);

    // Halted: the worker pauses at the top of its loop and gives up a page it is
    // parsing at its next step (the page stays in state 5 for the next run). Resume
    // clears it and starts a new run (pages not saved in the last run are offered again).
    void Halt();
    void Resume();
    bool Halted() const;
    // The worker is waiting at the top of its loop for Resume (or its end).
    bool Paused() const;
    // Whether the task has a fetched page (state 5), or a fetched style sheet, that this
    // run will still parse: those that could not be written back in this run do not
    // count. Owner thread.
    bool PageWaiting(THXTask& task) const;
    // The waits from the next page on (the task runner sets them when a task starts).
    void SetPacing(const TParsePacing& pacing);
    TParsePacing Pacing() const;
    // A page may have become ready (a transfer ended): an idle worker that sleeps
    // only when idle looks at once. Any thread.
    void Wake();
    // Called on the worker's thread after each page the loop finished (the
    // dispatcher's wake-up); set before the task starts.
    void SetOnPageDone(std::function<void()> onPageDone);
    // Called on the owner thread, instead of the status view's PageNotSaved, when a
    // page could not be written back because the disk is full (the text says which
    // page); the page stays fetched (state 5). Set before the task starts.
    void SetOnDiskFull(std::function<void(const std::string& text)> onDiskFull);
    // Asked on the worker thread whether a linked item will not be fetched in this run
    // (its server given up on): its links are then saved with its address.
    void SetGivenUp(TPageScan::TGivenUpTest givenUp);
    // Renders pages of profiles with "Render Pages" before their scan (null: none).
    void SetRenderStep(TRenderStep* step) { m_renderStep = step; }
    // Pages the loop has finished (any outcome but Abandoned) since creation.
    int PagesDone() const;

    // One page of the task, on the calling thread, as the loop parses it. The owner
    // thread runs the hand-overs; called on it they run at once.
    TParseOutcome ParsePage(THXQItem& item);

private:
    // What the work on a page needs from the owner thread.
    struct TPageRead
    {
        THXQItem* Item = nullptr;
        std::uint64_t Run = 0;
        bool SavedPage = false;
        bool PageItem = false; // a page, not a resource (a style sheet)
        TPageFacts Facts;
        std::string LocalFile;
        std::string FrameFlag;
        THXProfile Profile;
        TFileTypeGroups Groups;
        bool Intranet = false;
        bool NoAds = false;
        std::string BannerPage;
        std::uint64_t MaxPageBytes = 0;
    };

    void Execute();
    // Owner thread: the saved page's local links to items not fetched yet go into the
    // task's link book.
    // addressedURLs: those of linkedURLs the page holds with their address.
    static void NoteUnfetchedLinks(THXTask& task, const THXQItem& page, const std::vector<std::string>& linkedURLs,
                                   const std::vector<std::string>& addressedURLs = {});
    // Owner thread: the first saved page this run will still parse (null: none).
    THXQItem* NextPageToParse(THXTask& task) const;
    // Owner thread: the first fetched style sheet (a resource) this run will still
    // rewrite (null: none). The task's new items are looked at once each.
    THXQItem* NextSheetToParse(THXTask& task, std::uint64_t run) const;
    // Owner thread: a page is parsed (state 10); a style sheet resource keeps its state
    // and is not offered again in this run.
    void SettleParsed(THXTask& task, THXQItem& item, bool styleSheet) const;
    // Whether a style sheet may be waiting: new items not looked at yet, or sheets not
    // rewritten yet. Any thread.
    bool SheetsMayWait(THXTask& task) const;
    // Owner thread: reads what the work on the page needs.
    TPageRead ReadPage(THXTask& task, THXQItem& item, std::uint64_t run) const;
    // The first saved page that was not refused in this run.
    THXQItem* NextSavedPage(THXTask& task, std::uint64_t run);
    // What a page's save takes to the owner thread: the rewritten text, written beside
    // the page's file, and what the scans found that the owner thread records.
    struct TPageSave
    {
        TPreparedFile Rewritten;
        bool Prepared = false;
        int Error = 0; // errno of a failed write or move
        bool Written = false;
        std::string Title;
        std::vector<THXQItem> NewItems;
        std::vector<std::string> LinkedURLs;
        std::vector<std::string> AddressedURLs; // linked with their web address
    };

    // The page work, step by step (the first overload runs them in order). Every step
    // that hands over to the owner thread gives up (Abandoned) when the run has ended.
    TParseOutcome ParsePage(THXTask& task, THXQItem& item, std::uint64_t run, std::unique_ptr<TPageRead> ahead);
    // The read the last page's save took for this one, or a read on the owner thread;
    // none when the run ended first.
    std::optional<TPageRead> ReadOrReuse(THXTask& task, THXQItem& item, std::uint64_t run,
                                         std::unique_ptr<TPageRead> ahead);
    // Whether the page's file is larger than the "Max Page Size".
    static bool TooLarge(const TPageRead& page);
    // A page too large to parse is marked parsed as it was fetched; its status says why.
    TParseOutcome SettleTooLarge(THXTask& task, const TPageRead& page);
    // The page's text, on this thread; empty when the file is missing, unreadable or empty.
    static std::string LoadPageText(const TPageRead& page);
    // A page without text: an empty file is marked parsed as it is, a missing one goes
    // back to be fetched again.
    TParseOutcome SettleEmptyOrRefetch(THXTask& task, const TPageRead& page);
    // Whether the text is a style sheet resource an earlier run has rewritten already.
    static bool RewrittenEarlier(const TPageRead& page, const std::string& text);
    TParseOutcome SettleRewrittenSheet(THXTask& task, const TPageRead& page);
    // Owner thread: a page taken as it is (or as saved) is parsed, recorded and goes to
    // the Zip feed.
    void SettleAsItIs(THXTask& task, const TPageRead& page) const;
    // The scans on this thread, new items and progress handed over in batches, then the
    // ad banner (or a rewritten style sheet's mark). False when the run ended.
    bool ScanPage(THXTask& task, const TPageRead& page, TPageScan& scan, const TParsePacing& pacing);
    // Writes the rewritten text beside the file, then replaces the file and records the
    // page on the owner thread.
    TParseOutcome SavePage(THXTask& task, const TPageRead& page, TPageScan& scan, const TParsePacing& pacing);
    // This thread: the rewritten text written beside the file, the scan's findings taken.
    TPageSave PrepareSave(const TPageRead& page, TPageScan& scan);
    // Owner thread: the new items join the queue, the rewritten file replaces the
    // fetched one and the page is recorded (or reported when it could not be written);
    // with read-ahead, the next page is read too.
    void CommitSave(THXTask& task, const TPageRead& page, TPageSave& save, const TParsePacing& pacing);
    // Owner thread: found items not in the queue yet join it (state 0).
    static void AddFoundItems(THXTask& task, std::vector<THXQItem> items);
    // Runs fn on the owner thread and waits for it. False when the run ended first (fn
    // then never runs). An exception thrown by fn reaches the caller.
    bool OnOwner(std::uint64_t run, const std::function<void()>& fn);
    // Shows a status text (owner thread), or keeps it for the next hand-over when the
    // pacing says so; false when the run ended.
    bool Status(std::uint64_t run, const std::string& text);
    // Owner thread: shows the status text kept for the next hand-over, if any.
    void ShowKeptStatus();
    void ShowStatusNow(const std::string& text);
    bool HasKeptStatus() const;
    void RemoveReplacedFiles();
    // An interruptible wait; false when the run ended meanwhile.
    bool Pause(std::uint64_t run, std::chrono::milliseconds wait);
    bool Current(std::uint64_t run) const;
    // Ends the current run: later hand-overs of it do nothing; the worker stops waiting.
    void EndRun();
    // The status text kept for the next hand-over of an ended run goes.
    void ForgetKeptStatus();

    THXApp& m_app;
    TParsePacing m_pacing; // guarded by m_mutex
    std::function<void()> m_onPageDone;
    std::function<void(const std::string& text)> m_onDiskFull;
    TPageScan::TGivenUpTest m_givenUp;
    std::atomic<TRenderStep*> m_renderStep{nullptr};

    mutable std::mutex m_mutex;
    std::shared_ptr<THXTask> m_task;
    THXParseStatus* m_statusView = nullptr;
    std::optional<std::string> m_keptStatus;
    // The run, halt, pause, sleeps and hand-overs of the worker.
    THXWorkerRun m_worker;
    // Pages of this run whose rewritten text could not be saved.
    std::set<const THXQItem*> m_refused;
    std::atomic<int> m_pagesDone{0};
    // Worker thread (and the owner thread while the worker waits on its hand-over):
    // the next page's read, taken by the last save.
    std::unique_ptr<TPageRead> m_readAhead;
    // The fetched files that rewritten pages replaced, under hidden names beside them:
    // the next page's temporary is made of one of them, and what is left is removed
    // when the worker runs out of pages, halts or ends (creating and removing a file
    // per page makes some file systems slow to create the next files).
    // The loop removes them at its top while a page may be parsed on another thread
    // (ParsePage's callers): the list has a lock of its own.
    std::mutex m_replacedLock;
    std::vector<std::string> m_replacedFiles;

    // Owner thread: the style sheets of the task and run, by pair, not rewritten yet.
    struct TSheetWatch
    {
        const THXTask* Task = nullptr;
        std::uint64_t Run = 0;
        int ScannedPairs = 0;
        std::vector<int> Pairs;
    };
    mutable TSheetWatch m_sheets;
    // What the worker may read of it without a hand-over.
    mutable std::atomic<int> m_sheetsScanned{-1};
    mutable std::atomic<bool> m_sheetsWaiting{false};

    std::thread m_thread; // last: starts after everything above exists
};

} // namespace hx
