#pragma once

// THXTask: one download task with its settings, counters, schedule fields and URL
// queue; THXQItem: one URL of the queue.
//
// The queue is a list of line pairs: line 2k is the URL of item k, line 2k+1 its
// record, eleven fields each followed by the separator byte 0xB6. The lines are
// held in one arena (THXQueueLines) exactly as the queue file holds them
// (Windows-1252 with "&#N;" escapes), so
// no UTF-8 byte can ever be mistaken for the separator; fields are decoded to UTF-8
// as they are read. The record is the authoritative copy of an item's URL, status
// text, referrer, Last-Modified and title: those strings are released from the
// object once written and reloaded by ReloadItem when needed.
//
// Threads: all changes happen on the owner thread. The dispatcher and the parse
// worker scan the queue (NextPage, NextResource, NextSavedPage), reload items and
// look up known URLs from their own threads; the queue, the known-URL set and the
// Zip-pending list share one lock, taken briefly and never while calling out.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/HXCookieJar.h"
#include "core/HXDateTime.h"
#include "core/HXItemText.h"
#include "core/HXJobThread.h"
#include "core/HXLinkBook.h"
#include "core/HXProfile.h"
#include "core/HXQueueLines.h"

namespace hx
{

class THXApp;
class THXTask;
class THXQItem;

// A text that should have been a number (a damaged queue file); the message names the text.
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

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

// Item states.
inline constexpr int kStateNone = 0;
inline constexpr int kStateDownloading = 1;
inline constexpr int kStateUpdating = 2;
inline constexpr int kStateError = 3;
inline constexpr int kStateDownloaded = 4;
inline constexpr int kStateSaved = 5;
inline constexpr int kStateUpdated = 6;
inline constexpr int kStateMapping = 7;
inline constexpr int kStateParsing = 8;
inline constexpr int kStateMapped = 9;
inline constexpr int kStateParsed = 10;
inline constexpr int kStateZipped = 11;

// Item modes.
// Whether an item in this state was fetched and stored (its local file exists).
inline constexpr bool IsFetchedState(int state)
{
    return state == kStateDownloaded || state == kStateSaved || state == kStateUpdated || state == kStateMapped ||
           state == kStateParsed || state == kStateZipped;
}

inline constexpr int kModeSkip = 0;
inline constexpr int kModeDownload = 1;
inline constexpr int kModeMap = 2;
inline constexpr int kModeUpdate = 3;

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

// A set of pair numbers that hands out its smallest member: one bit a pair, and a
// bit for each 64 pairs saying whether any of them is in, so finding the smallest
// reads a few words in order however large the queue is. Not thread-safe: the
// task's queue lock guards it.
class THXPairSet
{
public:
    void Insert(std::uint32_t pair);
    void Erase(std::uint32_t pair);
    // The smallest pair in the set, if any.
    std::optional<std::uint32_t> Smallest();
    // The smallest pair at or after `first`, if any.
    std::optional<std::uint32_t> SmallestFrom(std::uint32_t first) const;
    void clear();

private:
    std::vector<std::uint64_t> m_words;
    // Bit w: word w is not empty.
    std::vector<std::uint64_t> m_summary;
    // No word before this one holds a pair.
    std::size_t m_firstWord = 0;
};

// Window-side handles a task carries for the windows that show it.
class THXZipNode;
class THXSchedulerRow;

// An item is kept small: a million of them fit in a little memory. Its texts cost a
// pointer while empty; the URL, status text, referrer, Last-Modified, title and ETag are
// held only while the record is loaded; the group, base folder and frame flag of an
// item in the queue borrow the queue's one copy of each distinct text.
class THXQItem
{
public:
    explicit THXQItem(THXTask* task = nullptr)
        : Task(task)
    {
    }

    THXTask* Task;
    THXItemText URL;
    // Before the fetch: the folder the item's link was resolved against. After the
    // fetch: the folder of the address the content came from when redirects led to
    // another folder, else empty (the item's own folder). The queue record keeps it
    // (in its otherwise empty fourth field) only while a page waits to be parsed.
    THXItemText BaseURL;
    THXItemText Referrer;
    THXItemText LastModified;
    THXItemText LocalFile;
    THXItemText Group;
    THXItemText Title;
    THXItemText StatusText;
    THXItemText FrameFlag;
    // The validator the server gave with the content (its ETag header), sent back as
    // If-None-Match when the item is updated. Held while the record is loaded.
    THXItemText ETag;
    std::int64_t Size = 0;
    int State = kStateNone;
    int Level = 0;
    int Mode = kModeDownload;
    int Index = -1;

    bool IsPage() const;

private:
    friend class THXTask;
    void ReleaseRecordStrings();
};

// One file waiting to be added to the task's Zip archive.
struct TZipPendingFile
{
    std::string path;
    THXQItem* item = nullptr;
};

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

    void AddItem(std::unique_ptr<THXQItem> item);
    THXQItem* AddItem(THXQItem item);
    void WriteItemRecord(THXQItem& item);
    // Any thread.
    void ReloadItem(THXQItem& item);
    void SetItemState(THXQItem& item, int newState);
    void ClearStatusText(THXQItem& item);
    void CommitItem(THXQItem& item, bool release);
    // Drops the texts an item holds only while its record is loaded (the record keeps
    // them), once a step that read them is done with the item.
    void ReleaseItemStrings(THXQItem& item);
    // Any thread: the first matching item in queue order, or null.
    THXQItem* NextPage();
    THXQItem* NextResource();
    THXQItem* NextSavedPage();
    // Any thread: the first matching item after `item` in queue order, or null (the
    // dispatcher passes over items whose host is not ready yet).
    THXQItem* NextPageAfter(const THXQItem& item);
    THXQItem* NextResourceAfter(const THXQItem& item);
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
    // Background writes that failed since the task was made (any thread).
    int BackgroundQueueWritesFailed() const;
    void AutoSaveQueue();
    void ResetInterrupted();
    void PrepareSmartUpdate();
    void PrepareSmartRecovery();

    // Any thread: whether the URL was ever added (exact, ignoring letter case).
    bool IsKnownURL(std::string_view url) const;
    // Any thread: the item of the URL (exact, ignoring letter case), or null.
    THXQItem* FindItem(std::string_view url) const;
    // Any thread: counts and copies taken under the lock.
    int QueueLineCount() const;
    int ItemCount() const;
    std::string QueueLine(int line) const;
    THXQItem* Item(int pairIndex) const;
    // The record field k of a pair's record line, decoded.
    std::string RecordField(int pairIndex, int field) const;

    // Zip-pending files (any thread).
    void AddZipPending(std::string path, THXQItem* item);
    bool TakeZipPending(TZipPendingFile& file);
    std::vector<TZipPendingFile> TakeAllZipPending();
    int ZipPendingCount() const;

private:
    enum class TScan
    {
        Page,
        Resource,
        SavedPage
    };

    // Callers hold m_queueLock.
    void AppendPairLocked(THXQItem&& item, std::string_view encodedURL, std::size_t urlHash, const std::string& record);
    THXQItem* ItemLocked(std::size_t pair) const;
    bool OwnsItemLocked(const THXQItem& item) const;
    // Points the item's repeating texts at the queue's shared copies.
    void ShareTextsLocked(THXQItem& item);
    void ShareTextLocked(THXItemText& text);
    // The known-URL table: pair numbers in an open-addressed table hashed by URL line.
    std::optional<std::uint32_t> FindKnownLocked(std::string_view encodedURL) const;
    void AddKnownLocked(std::uint32_t pair);
    void AddKnownLocked(std::uint32_t pair, std::size_t hash);
    void PrefetchKnownLocked(std::size_t hash) const;
    void GrowKnownLocked(std::size_t atLeast = 0);
    std::string BuildRecordLocked(const THXQItem& item, const std::string_view* current) const;
    void NoteItemChangedLocked(const THXQItem& item);
    THXQItem* ScanLocked(TScan scan);
    THXQItem* ScanAfterLocked(TScan scan, const THXQItem& item);
    void ClearLinesLocked();
    void ReloadItemLocked(THXQItem& item);
    void SetItemStateLocked(THXQItem& item, int newState);
    void ResetItems(const std::function<bool(const THXQItem&)>& select, const std::function<void(THXQItem&)>& change);
    void UpdateActiveTaskList();
    void Progress(const std::string& text, std::int64_t position, std::int64_t total);

    THXApp& m_app;
    std::string m_queueFileName;

    mutable std::mutex m_queueLock;
    THXQueueLines m_lines;
    // Item k stands on lines 2k and 2k+1; a deque keeps every item where it is as the
    // queue grows. m_built says which pairs have their item (the lines of a queue
    // file are read before the items are built from them).
    mutable std::deque<THXQItem> m_items;
    std::vector<bool> m_built;
    // Pair number + 1 of every known URL in the low 27 bits, 0 for a free slot, and
    // five bits of the URL's hash above them: a probe compares the URL line (far
    // away in memory in a large queue) only when those match. A power of two in size.
    std::vector<std::uint32_t> m_known;
    std::size_t m_knownCount = 0;
    // The one copy of each group, base folder and frame flag the items borrow.
    std::unordered_set<std::string> m_sharedTexts;
    std::vector<TZipPendingFile> m_zipPending;
    std::size_t m_zipPendingHead = 0;
    // Pairs that may match each scan. Every change that can make an item match
    // (adding, a state change, a record write or reload) puts it in; a scan takes the
    // smallest and drops those that no longer match. So NextPage and friends return
    // what a scan from the first pair returns, without rereading finished items.
    std::array<THXPairSet, 3> m_candidates;

    // Queue file writes: a copy of the lines written by m_queueWriter. Each copy has
    // a number; a copy older than the file's is not written, so a late background
    // write never replaces what SaveQueue wrote after it.
    std::string QueueText() const;
    bool WriteQueueText(const std::string& path, const std::string& text, std::uint64_t copyNumber);
    void WaitForQueueWrites();
    mutable std::mutex m_writeLock;
    std::condition_variable m_writeDone;
    std::uint64_t m_copiesTaken = 0;  // owner thread
    std::uint64_t m_copyWritten = 0;  // under m_writeLock
    int m_writesPending = 0;          // under m_writeLock
    int m_backgroundWritesFailed = 0; // under m_writeLock
    // Last: destroyed first, so a write still queued ends before the rest goes.
    TJobThread m_queueWriter;
};

} // namespace hx
