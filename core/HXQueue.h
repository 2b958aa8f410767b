#pragma once

// THXQueue: the URL queue of one task; THXQItem: one URL of the queue.
//
// The queue is a list of line pairs: line 2k is the URL of item k, line 2k+1 its
// record, eleven fields each followed by the separator byte 0xB6. The lines are
// held in one arena (THXQueueLines) exactly as the queue file holds them
// (Windows-1252 with "&#N;" escapes), so no UTF-8 byte can ever be mistaken for the
// separator; fields are decoded to UTF-8 as they are read. The record is the
// authoritative copy of an item's URL, status text, referrer, Last-Modified, title
// and ETag: those strings are released from the object once written and reloaded
// by ReloadItem when needed.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/HXItemText.h"
#include "core/HXJobThread.h"
#include "core/HXQueueLines.h"
#include "core/HXStableList.h"

namespace hx
{

class THXSettingsStore;
class THXTask;

// A text that should have been a number (a damaged queue file); the message names the text.
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

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

// Whether an item in this state was fetched and stored (its local file exists).
inline constexpr bool IsFetchedState(int state)
{
    return state == kStateDownloaded || state == kStateSaved || state == kStateUpdated || state == kStateMapped ||
           state == kStateParsed || state == kStateZipped;
}

// Item modes.
inline constexpr int kModeSkip = 0;
inline constexpr int kModeDownload = 1;
inline constexpr int kModeMap = 2;
inline constexpr int kModeUpdate = 3;

// A set of pair numbers that hands out its smallest member: one bit a pair, and a
// bit for each 64 pairs saying whether any of them is in, so finding the smallest
// reads a few words in order however large the queue is. Not thread-safe: the
// queue lock guards it.
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
};

// One file waiting to be added to the task's Zip archive.
struct TZipPendingFile
{
    std::string path;
    THXQItem* item = nullptr;
};

// The queue of one task: its lines, its items, the known-URL table, the
// candidates of the choice scans, the Zip-pending list and the background writer
// of the queue file.
//
// Threads and locks:
// - Changes (Add, WriteRecord, SetState, Clear, LoadLines, BuildItem, Save,
//   SaveInBackground) are made on the owner thread only.
// - The dispatcher and the parse worker scan (NextPage, NextResource,
//   NextSavedPage and the "After" forms), reload items, look up known URLs, read
//   counts and copies of lines and move Zip-pending files from their own threads:
//   every member marked "any thread" may be called from anywhere.
// - m_lock guards the lines, the items' places and their record texts (written by
//   reloads and releases), the built flags, the known-URL table, the shared texts,
//   the candidates and the Zip-pending list. It is taken briefly and never while
//   calling out, except to the state-change callback (which must not call the
//   queue back).
// - m_writeLock guards what the background writer shares with the owner thread:
//   the number of the copy last written, the writes pending and the failures.
//   m_copiesTaken is the owner thread's alone. The two locks are never held
//   together.
class THXQueue
{
public:
    // Called under the queue lock when an item is about to take another state (the
    // item still has the old one), so the task can keep its counters in step.
    using TStateChange = std::function<void(const THXQItem& item, int newState)>;

    // `task` is the task every item of the queue names as its own.
    THXQueue(THXTask* task, TStateChange onStateChange);
    ~THXQueue();
    THXQueue(const THXQueue&) = delete;
    THXQueue& operator=(const THXQueue&) = delete;

    // --- Owner thread ---

    // Appends the item's two lines; the queue's item keeps its record texts until
    // ReleaseItemStrings.
    THXQItem& Add(THXQItem item);
    // Writes the item's record over its line (an empty text keeps what the record
    // holds); an item the queue does not hold yet gets its two lines appended.
    void WriteRecord(THXQItem& item);
    void SetState(THXQItem& item, int newState);
    void Clear();
    // Reads the lines of the queue file at `path` when the queue holds none yet,
    // after any background write has ended. A file cut off after a URL line gets an
    // empty record for it, its group taken from `store`.
    void LoadLines(const std::string& path, THXSettingsStore& store);
    // Makes room in the known-URL table for `pairs` more URLs at once.
    void ReserveKnown(std::size_t pairs);
    // Builds the item of a loaded pair and sets its state from the record: null when
    // it is built already. Throws EConvertError (naming `queueFile`) when the
    // record's state is not a number.
    THXQItem* BuildItem(std::size_t pair, const std::string& queueFile);
    // Writes the lines to `path` atomically; throws EFileError when it cannot, and
    // the previous file stays.
    void Save(const std::string& path);
    // Takes a copy of the lines and writes it to `path` on the writer thread. False
    // (nothing done) while an earlier copy is still being written.
    bool SaveInBackground(const std::string& path);

    // --- Any thread ---

    void ReloadItem(THXQItem& item);
    // Drops the texts an item holds only while its record is loaded.
    void ReleaseItemStrings(THXQItem& item);
    // The first matching item in queue order, or null.
    THXQItem* NextPage();
    THXQItem* NextResource();
    THXQItem* NextSavedPage();
    // The first matching item after `item` in queue order, or null.
    THXQItem* NextPageAfter(const THXQItem& item);
    THXQItem* NextResourceAfter(const THXQItem& item);
    // Whether the URL was ever added (exact, ignoring letter case).
    bool IsKnownURL(std::string_view url) const;
    // The item of the URL (exact, ignoring letter case), or null.
    THXQItem* FindItem(std::string_view url) const;
    int LineCount() const;
    int ItemCount() const;
    std::string Line(int line) const;
    THXQItem* Item(int pairIndex) const;
    // The record field k of a pair's record line, decoded.
    std::string RecordField(int pairIndex, int field) const;
    // Background writes that failed since the queue was made.
    int BackgroundWritesFailed() const;

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

    // Callers hold m_lock.
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
    void NoteItemChangedLocked(const THXQItem& item);
    THXQItem* ScanLocked(TScan scan);
    THXQItem* ScanAfterLocked(TScan scan, const THXQItem& item);
    void ReloadItemLocked(THXQItem& item);
    void SetStateLocked(THXQItem& item, int newState);
    static void ReleaseRecordStringsLocked(THXQItem& item);

    // Queue file writes: a copy of the lines written by m_writer. Each copy has a
    // number; a copy older than the file's is not written, so a late background
    // write never replaces what Save wrote after it.
    std::string Text() const;
    bool WriteText(const std::string& path, const std::string& text, std::uint64_t copyNumber);
    void WaitForWrites();

    THXTask* const m_task;
    const TStateChange m_onStateChange;

    mutable std::mutex m_lock;
    THXQueueLines m_lines;
    // Item k stands on lines 2k and 2k+1; the list keeps every item where it is as the
    // queue grows. m_built says which pairs have their item (the lines of a queue
    // file are read before the items are built from them).
    mutable THXStableList<THXQItem> m_items;
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

    mutable std::mutex m_writeLock;
    std::condition_variable m_writeDone;
    std::uint64_t m_copiesTaken = 0;  // owner thread
    std::uint64_t m_copyWritten = 0;  // under m_writeLock
    int m_writesPending = 0;          // under m_writeLock
    int m_backgroundWritesFailed = 0; // under m_writeLock
    // Last: destroyed first, so a write still queued ends before the rest goes.
    TJobThread m_writer;
};

} // namespace hx
