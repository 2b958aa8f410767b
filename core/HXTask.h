#pragma once

// THXTask: one download task with its settings, counters, schedule fields and URL
// queue (THXQueue, which holds the lines, items and known URLs and their lock).
// The task's queue operations forward to the queue and keep what is the task's
// own in step: its counters, the Modified flag, the explore view and progress.
//
// Threads: all changes happen on the owner thread. The operations marked "any
// thread" are the queue's and may be called from the dispatcher and the parse
// worker; THXQueue says which lock guards what.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/HXCookieJar.h"
#include "core/HXExchangeRecorder.h"
#include "core/HXDateTime.h"
#include "core/HXLinkBook.h"
#include "core/HXProfile.h"
#include "core/HXQueue.h"

namespace hx
{

class THXApp;

// Task status codes.
inline constexpr int kStatusUnscheduled = 0;
inline constexpr int kStatusScheduled = 1;
inline constexpr int kStatusDownloading = 2;
inline constexpr int kStatusStopped = 3;
inline constexpr int kStatusIncomplete = 4;
inline constexpr int kStatusComplete = 5;
inline constexpr int kStatusZipped = 6;
inline constexpr int kStatusTaskComplete = 7;
inline constexpr int kStatusDeleted = 8;

// Run modes: how the next start prepares the queue.
inline constexpr int kRunRestart = 0;
inline constexpr int kRunResume = 1;
inline constexpr int kRunSmartUpdate = 2;
inline constexpr int kRunSmartRecovery = 3;
inline constexpr int kRunMap = 4;

std::string StatusText(int status);
std::string StateText(int state);

// The explore view's side of a task's queue; the windows implement it. Called on
// the owner thread only.
class THXTaskView
{
public:
    virtual ~THXTaskView() = default;
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
    virtual void ClearRows() = 0;
    virtual void AddRow(THXQItem& item) = 0;
    virtual void RefreshRow(THXQItem& item) = 0;
};

// Window-side handles a task carries for the windows that show it.
class THXZipNode;
class THXSchedulerRow;

class THXTask : public std::enable_shared_from_this<THXTask>
{
public:
    // An empty task with an empty profile and queue, then Reset.
    explicit THXTask(THXApp& app);
    ~THXTask();
    THXTask(const THXTask&) = delete;
    THXTask& operator=(const THXTask&) = delete;

    THXApp& App() const { return m_app; }

    THXProfile Profile;
    std::string Name;
    std::string FileName;
    std::string Category;
    std::string URL;
    std::string StartPageTitle;
    std::string Server;
    bool CanUpdate = false;
    std::string Destination;
    bool IntranetMode = false;
    int Status = kStatusUnscheduled;
    std::string Schedule;
    std::string UserName;
    std::string Password;
    std::string Comment;
    // "Limit Rate": the most bytes per second the task's transfers receive, all
    // connections together; 0 for no cap.
    std::int64_t LimitRate = 0;
    // "User Agent": the agent text the task's requests carry instead of the
    // program's; empty for the program's.
    std::string AgentText;
    // "Extra Headers": request header lines ("Name: value") every request of the
    // task carries; lines that ExtraHeaderProblem refuses are never sent.
    TStringList ExtraHeaders;
    // Where the run's exchanges are archived as they went over the wire (a WARC
    // file, numbered ones following it); empty for none.
    std::string WarcFile;
    // The archive file's writer while a run with a WarcFile goes on (the task runner
    // opens and closes it); transfers hand it their exchanges. Null otherwise.
    std::shared_ptr<THXExchangeRecorder> Recorder;
    int RunMode = kRunRestart;
    bool ZipLast = false;
    THXZipNode* ZipNode = nullptr;
    THXTaskView* ExploreView = nullptr;
    THXSchedulerRow* SchedulerRow = nullptr;

    std::int32_t PagesDispatched = 0;
    std::int32_t ResourcesDispatched = 0;
    std::int32_t PagesSaved = 0;
    std::int32_t ResourcesSaved = 0;
    std::int32_t PageErrors = 0;
    std::int32_t ResourceErrors = 0;
    std::int32_t TotalPages = 0;
    std::int32_t TotalResources = 0;
    // Bytes received; 64-bit so a large site does not wrap the count.
    std::int64_t TotalBytes = 0;
    // Links given back their addresses at the end of the last run (their fetch failed).
    std::int32_t LinksRestored = 0;
    // The saved pages linking to items not fetched (yet); see THXLinkBook.
    THXLinkBook LinkBook;
    // The task's cookies: read from CookieFileName when a run starts, written back
    // while it runs and when it ends. Transfer threads use it directly (it locks).
    THXCookieJar Cookies;
    // Cookies to add at the next start, after the stored ones have been read (an
    // imported cookies.txt, a sign-in): a Restart drops the stored session cookies,
    // never these.
    std::vector<THXCookie> CookiesToAdd;

    TDateTime LastRun = 0;
    TDateTime NextRun = 0;
    TDateTime StartTime = 0;
    TDateTime ElapsedTime = 0;

    bool Modified = false;
    int ChangesSinceSave = 0;

    std::function<void(THXTask&)> OnChange;
    std::function<void(const std::string& text, std::int64_t position, std::int64_t total)> OnProgress;

    // --- Task file and lifecycle (owner thread) ---

    // Reads FileName: the "Task" keys, then the profile from the same file.
    void Load();
    // What makes the loaded task unusable for a run or its reports, as the task file
    // holds it: empty when nothing does, else the damage, e.g. task file
    // "/x/ta.hxt" is damaged: its "Destination" is missing or empty. A task
    // file whose values were garbled loads without complaint (a missing key reads as
    // its default); this names it before anything is fetched or written.
    std::string FileDamage() const;
    // Writes every key and the profile atomically, then keeps the active-task list
    // and "ActiveTasks.lst" in step with Status, then calls OnChange.
    void Save();
    // The task file's stamp (FileStamp) as this program last read or wrote it: when
    // the file's stamp differs, another program has written it since.
    const std::string& FileStampSeen() const { return m_fileStampSeen; }
    // Renames the task file (and its queue file) to the new name in the same folder.
    // On failure returns false and, when given, sets the message the user is shown.
    bool Rename(const std::string& newName, std::string* errorMessage = nullptr);
    void Reset();
    void ClearQueue();
    void StartFresh();
    void PrepareResume();
    std::string WorkingFolder() const;
    std::string UserAgent() const;
    std::string QueueFileName();
    // Beside the queue file: which saved pages link to items not fetched, kept
    // between runs so their links can be given back or made local again.
    std::string LinkBookFileName();
    // Beside the queue file: the task's cookies (see THXCookieJar), kept between runs
    // so a session or a sign-in outlives Stop and Resume.
    std::string CookieFileName();

    // --- Queue (owner thread unless noted) ---

    // Appends the item to the queue, counts it as a page or a resource and shows it
    // in the explore view; its record texts are released after that.
    void AddItem(std::unique_ptr<THXQItem> item);
    THXQItem* AddItem(THXQItem item);
    // Writes the item's record (reading the queue file's lines first when none are
    // held) and marks the queue modified.
    void WriteItemRecord(THXQItem& item);
    // Any thread.
    void ReloadItem(THXQItem& item) { m_queue.ReloadItem(item); }
    // Changes the item's state, keeping the saved and error counters and the bytes
    // received in step.
    void SetItemState(THXQItem& item, int newState);
    void ClearStatusText(THXQItem& item) { item.StatusText.MarkCleared(); }
    void CommitItem(THXQItem& item, bool release);
    // Drops the texts an item holds only while its record is loaded (the record keeps
    // them), once a step that read them is done with the item.
    void ReleaseItemStrings(THXQItem& item) { m_queue.ReleaseItemStrings(item); }
    // Any thread: the first matching item in queue order, or null.
    THXQItem* NextPage() { return m_queue.NextPage(); }
    THXQItem* NextResource() { return m_queue.NextResource(); }
    THXQItem* NextSavedPage() { return m_queue.NextSavedPage(); }
    // Any thread: the first matching item after `item` in queue order, or null (the
    // dispatcher passes over items whose host is not ready yet).
    THXQItem* NextPageAfter(const THXQItem& item) { return m_queue.NextPageAfter(item); }
    THXQItem* NextResourceAfter(const THXQItem& item) { return m_queue.NextResourceAfter(item); }
    void LoadQueueLines();
    // Throws EConvertError when a record's state is not a number; the items built
    // so far stay.
    void LoadQueue();
    // Throws EFileError when the file cannot be written; the previous file stays.
    void SaveQueue();
    // Takes a copy of the lines and writes it to the queue file on a thread of its
    // own (atomically, as SaveQueue), so a large queue does not hold up the crawl.
    // Clears Modified. While an earlier copy is still being written, nothing happens
    // (Modified stays set). A failed write leaves the previous file; the SaveQueue
    // that ends every run writes again and reports a failure.
    void SaveQueueInBackground();
    // Puts the archive recorder's gathered records on disk (both saves do it first).
    void FlushRecorder();
    // Background writes that failed since the task was made (any thread).
    int BackgroundQueueWritesFailed() const { return m_queue.BackgroundWritesFailed(); }
    void AutoSaveQueue();
    void ResetInterrupted();
    void PrepareSmartUpdate();
    void PrepareSmartRecovery();

    // Any thread: whether the URL was ever added (exact, ignoring letter case).
    bool IsKnownURL(std::string_view url) const { return m_queue.IsKnownURL(url); }
    // Any thread: the item of the URL (exact, ignoring letter case), or null.
    THXQItem* FindItem(std::string_view url) const { return m_queue.FindItem(url); }
    // Any thread: counts and copies taken under the lock.
    int QueueLineCount() const { return m_queue.LineCount(); }
    int ItemCount() const { return m_queue.ItemCount(); }
    std::string QueueLine(int line) const { return m_queue.Line(line); }
    THXQItem* Item(int pairIndex) const { return m_queue.Item(pairIndex); }
    // The record field k of a pair's record line, decoded.
    std::string RecordField(int pairIndex, int field) const { return m_queue.RecordField(pairIndex, field); }

    // Zip-pending files (any thread).
    void AddZipPending(std::string path, THXQItem* item) { m_queue.AddZipPending(std::move(path), item); }
    bool TakeZipPending(TZipPendingFile& file) { return m_queue.TakeZipPending(file); }
    std::vector<TZipPendingFile> TakeAllZipPending() { return m_queue.TakeAllZipPending(); }
    int ZipPendingCount() const { return m_queue.ZipPendingCount(); }

private:
    std::string m_fileStampSeen;
    // Called by the queue, under its lock, before an item takes another state: an
    // item that goes back to waiting no longer counts as saved (or failed), and the
    // bytes it brought are taken off the total.
    void CountStateChange(const THXQItem& item, int newState);
    void ResetItems(const std::function<bool(const THXQItem&)>& select, const std::function<void(THXQItem&)>& change);
    void UpdateActiveTaskList();
    void Progress(const std::string& text, std::int64_t position, std::int64_t total);

    THXApp& m_app;
    std::string m_queueFileName;
    // Last: destroyed first, so its writer ends before the rest of the task goes.
    THXQueue m_queue;
};

} // namespace hx
