#pragma once

// THXTaskRunner: carries one download task from its start to its end. It prepares
// the task's queue for the run mode, sets the dispatcher and the parse worker to
// work on it, feeds every finished file into the task's Zip archive from the zip
// timer, notices the end of the download, closes the run (reports, rescheduling,
// renaming the archive after the start page's title) and stops a run on request or
// when the program closes. Exactly one task runs at a time.
//
// The runner owns the two workers and the Zip component; the connection slots
// belong to the connections window (or the command line) and are lent to it. Window
// steps (status line and display, explore view, Zips tree, logo, Run button,
// reports window, message boxes) are calls on THXRunnerHost, which the main window
// implements and the command line implements without windows.
//
// Threads: every operation runs on the owner thread; the host calls ZipTimerTick
// every ZipFeedPeriod while ZipTimerEnabled. The workers hand their changes to the
// owner thread, so the runner never locks. HaltTask never waits for the workers:
// it halts them, and from then on they do not touch the task.

#include <chrono>
#include <memory>
#include <optional>
#include <vector>
#include <string>
#include <string_view>

#include "archive/XcdZipD4.h"
#include "core/HXJobThread.h"
#include "core/HXPacing.h"
#include "core/HXTaskLock.h"
#include "engine/HXRenderStep.h"
#include "engine/HXSitemaps.h"
#include "engine/HXThreadDownload.h"
#include "engine/HXThreadParse.h"
#include "net/aghttp.h"
#include "schedule/HXScheduler.h"
#include "shell/HXZipTree.h"

namespace hx
{

class THXApp;
class THXSlotList;
class THXTask;
class THXQItem;

// The windows' side of the runner. Status texts (THXParseStatus::ShowStatus) and
// the dispatcher's status refreshes (THXDownloadView) come through here as well.
// Everything is called on the owner thread; the defaults do nothing.
class THXRunnerHost : public THXParseStatus, public THXDownloadView
{
public:
    // Status window: clear the display, then show this task (or none).
    virtual void ResetDisplay() {}
    virtual void AttachTask(THXTask* task) { (void)task; }
    // Explore view: clear it and make this task (or none) its task; a window sets
    // task->ExploreView so the queue's rows follow.
    virtual void AttachExploreView(THXTask* task) { (void)task; }
    // A Zip-mode run starts: show the archive (Zip Properties view, the archive's node).
    virtual void OpenZip(THXTask& task) { (void)task; }
    // A file entered the archive under this stored name, with the page title as comment.
    virtual void ZipEntryAdded(THXTask& task, const std::string& entryName, const std::string& title)
    {
        (void)task;
        (void)entryName;
        (void)title;
    }
    // An archive operation ended with a code worth telling (XcdResultText gives the
    // message and its kind for the operation word).
    virtual void ReportZipResult(int code, std::string_view operationWord)
    {
        (void)code;
        (void)operationWord;
    }
    // The archive was renamed (the recent-files list is kept by the runner).
    virtual void ZipRenamed(THXTask& task, const std::string& oldPath, const std::string& newPath)
    {
        (void)task;
        (void)oldPath;
        (void)newPath;
    }
    virtual void SetLogoRunning(bool running) { (void)running; }
    virtual void SetRunEnabled(bool enabled) { (void)enabled; }
    virtual void UpdateCommands() {}
    // The reports of a Personal Intranet run (summary, page and image index).
    virtual void CreateReports(THXTask& task) { (void)task; }
    // An error box with an OK button.
    virtual void ShowError(const std::string& message) { (void)message; }
    // Lets pending window messages run (queued hand-overs of the workers).
    virtual void ProcessPendingMessages() {}
    // Closing while a task runs: "A Harbex Task is still running." ... Yes/No.
    virtual bool ConfirmAbortRunningTask() { return true; }
    // A run ended: completed (after the archive was renamed) or stopped (after the
    // task was saved as "Download Stopped"). The window beeps or shows a notice.
    virtual void RunEnded(THXTask& task) { (void)task; }
    // LoadQueue's progress while a queue is read.
    virtual void QueueProgress(const std::string& text, std::int64_t position, std::int64_t total)
    {
        (void)text;
        (void)position;
        (void)total;
    }
};

// The waits of a run. The defaults are the Classic pacing; tests shorten them.
struct TRunPacing
{
    TParsePacing Parse;
    TDispatchPacing Dispatch;
    std::chrono::milliseconds ZipFeedPeriod = pacing::kZipFeedPeriod;
    // Fast pacing: every file pending at a tick enters the archive in one update
    // (in the order and with the names and comments of the one-by-one feed).
    bool BatchZipFeed = false;
    // Classic: every transfer asks with HEAD before its GET. Fast: the GET comes at
    // once and its header lines stand for the HEAD's answer (half the requests).
    bool AskHeadFirst = true;
    // Fast: once the download has completed, the zip feed's ticks that finish the
    // task come at once instead of at the feed's period.
    bool FinishAtOnce = false;
    // Fast: HTTP/1.1 with persistent connections per slot, and compressed bodies.
    THTTPFeatures HTTP;

    static TRunPacing Classic() { return {}; }
    static TRunPacing Fast();
    // For a value of the "Pacing" setting.
    static TRunPacing ForSetting(int pacing);
};

inline constexpr std::string_view kAbortQuestion =
    "A Harbex Task is still running.  \nDo you want to abort this task and exit?";

// The archive name for a start page title: title + ".zip", with each of \ / : * ? " < > |
// replaced by a blank, shortened as local names are when it is too long for a file name.
std::string ZipNameForTitle(std::string_view title);

class THXTaskRunner final : public THXTaskRunnerLink
{
public:
    // The app, host and slots must outlive the runner. Without a pacing, each start
    // reads the "Pacing" (and "Host Delay") setting.
    THXTaskRunner(THXApp& app, THXRunnerHost& host, THXSlotList& slots,
                  std::optional<TRunPacing> pacing = std::nullopt);
    // Halts both workers and ends them; the running task is not saved (stop it first).
    ~THXTaskRunner() override;
    THXTaskRunner(const THXTaskRunner&) = delete;
    THXTaskRunner& operator=(const THXTaskRunner&) = delete;

    // The scheduler whose Reschedule ends each run (null: the schedule rule alone).
    void SetScheduler(THXScheduler* scheduler) { m_scheduler = scheduler; }

    // Starts or resumes the task by its RunMode. Refused (false, with a status
    // text) while another task runs, and refused with RefusalText() shown as an error
    // while another process runs this task. A damaged queue file stops the start before
    // the task is marked as downloading: the error is shown and the task becomes
    // "Download Stopped".
    bool Start(const std::shared_ptr<THXTask>& task);
    void StartTask(const std::shared_ptr<THXTask>& task) override { Start(task); }
    void StopTask(const std::shared_ptr<THXTask>& task) override;
    // Makes the task (or none) the current task, loading its queue. Refused while
    // the current task runs (its queue is in use).
    void ShowTask(const std::shared_ptr<THXTask>& task) override;
    // The common end of every run.
    void HaltTask(THXTask& task);
    // Closes a completed run (called by the zip timer).
    void CompleteTask(THXTask& task);
    // A file of the running task could not be written because the disk (or the
    // user's quota) is full. Nothing more is fetched, parsed or added to the
    // archive; right after the caller's hand-over the task is stopped ("Download
    // Stopped", queue and task written) and the text ("Disk full: ...") is shown as
    // an error and left on the status line. What was not written stays queued, so
    // a resume after freeing space completes the copy. Owner thread.
    void DiskFull(const std::string& text);
    // Waits until the temporaries of killed runs that a start found are removed
    // (they are removed off the owner thread; for shutdown and tests).
    void WaitForCleanUp();
    // Why the last run stopped by itself ("" when it completed or was stopped on request).
    const std::string& FailureText() const { return m_failureText; }
    // Why the last Start was refused because another process runs the task
    // (RunningElsewhereText), "" otherwise.
    const std::string& RefusalText() const { return m_refusalText; }
    // Renames the task's archive to `name` in its folder (unique-name rule,
    // RenameZipFile); false after telling the user when the file cannot be renamed.
    bool RenameZip(THXTask& task, const std::string& name);

    // The zip timer.
    void ZipTimerTick();
    bool ZipTimerEnabled() const { return m_zipTimerEnabled; }
    std::chrono::milliseconds ZipFeedPeriod() const { return m_pacing.ZipFeedPeriod; }
    // The pacing of the current (or last) run.
    const TRunPacing& Pacing() const { return m_pacing; }

    // The task of the run in progress (Status 2 or 5), else null.
    std::shared_ptr<THXTask> RunningTask() const;
    // Asked before the program closes: true when it may close (no task runs, or
    // the user agreed and the task was stopped).
    bool CloseQuery();

    int ZipBusy() const { return m_zipGate.ZipBusy; }
    // The busy state of the Zip component, shared with the archive windows: the
    // zip feed adds nothing while a window operation or a listing runs.
    TZipGate& ZipGate() { return m_zipGate; }
    TThreadDownload& Dispatcher() { return m_dispatcher; }
    TThreadParse& ParseWorker() { return m_parser; }
    TXceedZip& Zip() { return m_zip; }

private:
    struct TZipFile
    {
        std::string LocalFile;
        std::string Title;
    };
    // The Zip component's result code.
    int AddFileToZip(THXTask& task, const std::string& localFile, const std::string& title);
    // One archive update for all the files, in order (a file named twice is added
    // once); the Zip component's result code.
    int AddFilesToZip(THXTask& task, const std::vector<TZipFile>& files);
    // The files taken from ZipPending did not enter the archive for a full disk:
    // they go back to it and the run stops.
    void ZipDiskFull(THXTask& task, std::vector<TZipPendingFile> files);
    // The files taken from ZipPending could not be added (the component was busy):
    // they wait for the next tick.
    void PutBackZipPending(THXTask& task, std::vector<TZipPendingFile> files);
    // Stops the run that DiskFull halted.
    void StopFailedTask(const std::shared_ptr<THXTask>& task);
    void PrepareQueue(THXTask& task, bool current);
    void RequeueUnzippedFiles(THXTask& task);
    // A finished item whose file is gone and not in the archive waits to be fetched again.
    void FetchAgain(THXTask& task, THXQItem& item);
    // The end of a run: the links of saved pages to items whose fetch failed get the
    // items' addresses, those to items fetched since then their local files again.
    void RelinkPages(THXTask& task);
    // The task's cookies when a run starts: read from its file (a new session for
    // Restart and Map), then those added for this run.
    void OpenCookies(THXTask& task, bool current);
    // Writes the task's cookies when they changed.
    void SaveCookies(THXTask& task, bool reportFailure);
    // Fast pacing: the zip timer's ticks that finish a completed download, at once.
    void FinishCompletedTask();
    // When the task's profile asks for it: reads the start site's sitemaps beside the
    // crawl and queues the pages they list.
    void ReadSitemaps(const std::shared_ptr<THXTask>& task);

    THXApp& m_app;
    THXRunnerHost& m_host;
    THXSlotList& m_slots;
    const std::optional<TRunPacing> m_fixedPacing;
    TRunPacing m_pacing;
    std::chrono::steady_clock::time_point m_lastZipBatch{};
    std::string m_failureText;
    std::string m_refusalText;
    // Held from a run's start to its last save, so no other process runs the task.
    THXTaskLock m_taskLock;
    THXScheduler* m_scheduler = nullptr;
    TXceedZip m_zip;
    TZipGate m_zipGate;
    // The zip feed's own add is running (a stop aborts only that, never a window's operation).
    bool m_feeding = false;
    bool m_zipTimerEnabled = false;
    // Owner thread: calls posted by the runner run only while it exists.
    std::shared_ptr<THXTaskRunner*> m_alive = std::make_shared<THXTaskRunner*>(this);
    // The start site's sitemaps, read beside the crawl; the task is not complete
    // while they may still add pages. Its reading is abandoned before the workers
    // end, and it ends after them.
    THXSitemaps m_sitemaps;
    // The offscreen renderers of a run whose profile has "Render Pages"; the parse
    // worker uses it, so it ends after the workers.
    TRenderStep m_render;
    // Workers last: they end before the rest goes.
    TThreadParse m_parser;
    TThreadDownload m_dispatcher;
    // Removes what killed runs left in a copy: a walk of the whole copy, kept off the
    // owner thread. Its jobs hold only a folder name; it ends first.
    TJobThread m_cleanUp;
};

} // namespace hx
