#pragma once

// The Zip component: every archive operation of the application goes through one
// TXceedZip, owned by the main window. The task runner adds downloaded files to a
// task's archive; the Zips tree opens, lists, extracts and deletes entries; the Zip
// wizard and the unzip window prepare its calls.
//
// The archives are standard Zip files written with libzip. An operation runs on the
// calling (owner) thread, fires its events there and returns an integer result
// code (the xcd:: values below; XcdResultText turns a code into the text and the
// kind of message the windows show).
//
// Safety of the archive: an update (Add, Delete) is written to a temporary file
// beside the archive and renamed over it only when it is complete, so a failure,
// an abort or a crash leaves the previous archive as it was. Extraction writes only
// below the extraction folder: entries with absolute names or ".." steps, entries
// that are symbolic links, paths that lead through a symbolic link and names too
// long for a file name are refused and reported through OnSkipping; the other
// entries are still extracted. Damaged entries (data that is not the declared size
// or fails its checksum) are reported the same way, nothing of them is written, and
// the operation then fails with xcd::EntryDataCorrupted.
//
// Entry names use "/" and are relative; names and comments are UTF-8 and marked so
// in the archive.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/HXDateTime.h"

namespace hx
{

// Result codes of the operations. Codes 0 and below, 10, 30 and 140 succeed
// silently; 40 and 50 succeed with an information message; 190 fails silently;
// every other code fails with an error message (XcdResultText).
namespace xcd
{
inline constexpr int Success = 0;
// No entry or file matched what was asked: nothing changed.
inline constexpr int NothingToDo = 10;
// Some existing files were kept as Overwrite or the replace question said.
inline constexpr int FilesKept = 30;
// Some files were skipped (missing sources, refused or unsupported entries).
inline constexpr int FilesSkipped = 40;
inline constexpr int EmptyArchive = 50;
inline constexpr int ArchiveNotFound = 100;
inline constexpr int ArchiveCorrupted = 110;
inline constexpr int OutOfMemory = 120;
inline constexpr int DiskFull = 150;
inline constexpr int EntryDataCorrupted = 160;
// The component is already running an operation (an event handler started another).
inline constexpr int Busy = 180;
inline constexpr int Aborted = 190;
inline constexpr int TemporaryFileProblem = 280;
inline constexpr int NamesRepeated = 370;
inline constexpr int AccessFailed = 400;
inline constexpr int MultiDisk = 410;
// Any failure without a code of its own.
inline constexpr int Unexpected = 1000;
} // namespace xcd

// How Add treats the files it is given. AddReplace adds new files and replaces
// existing entries. Freshen replaces an existing entry only when its file is newer
// than the entry's stored date and adds no new entries. Update adds new files and
// replaces an existing entry only when its file is newer. "Newer" is judged in the
// two-second steps Zip dates are stored in, so a file stored a moment ago is never
// taken for changed. Files an action leaves alone are neither errors nor skips.
enum class TXcdAddAction
{
    AddReplace,
    Freshen,
    Update
};

enum class TXcdOverwrite
{
    xowAsk,
    xowNever,
    xowAlways
};

// The answer to "Replace File : ... With File: ...": Yes replaces this file, No
// keeps it, All replaces it and every further file without asking, Cancel ends
// the extraction (result xcd::Aborted; files already written stay).
enum class TXcdReplaceAnswer
{
    Yes,
    No,
    Cancel,
    All
};

// Why a file or an entry was left out (OnSkipping).
enum class TXcdSkipReason
{
    // Add: the file does not exist, is not a regular file or cannot be read.
    SourceUnreadable,
    // Extract: an absolute name or a name with a ".." step (it would leave the extraction folder).
    UnsafeName,
    // Extract: the target or one of its folders below the extraction folder is a symbolic link.
    SymbolicLinkInPath,
    // Extract: the entry itself is a symbolic link; links are never created.
    LinkEntry,
    // Extract: a file stands where a folder is needed, or a folder where the file goes.
    PathBlocked,
    // Extract: the entry is encrypted or uses a compression method that cannot be read.
    Unsupported,
    // Extract: the entry's data is not the size the archive declares for it. The
    // entry is damaged: the operation ends with xcd::EntryDataCorrupted.
    SizeMismatch,
    // Extract: a step of the entry's name is longer than a file name may be here.
    NameTooLong,
    // Extract: the entry's data fails its checksum or cannot be inflated. The entry is
    // damaged: the operation ends with xcd::EntryDataCorrupted.
    DataDamaged
};

enum class TXcdOutcome
{
    Silent,
    Information,
    Error
};

// The statistics of one entry (OnListing).
struct TXcdFileStats
{
    // Stored name with its relative folder path ("site/img/a.png").
    std::string FileName;
    std::int64_t Size = 0;
    std::int64_t CompressedSize = 0;
    // Percent saved, rounded: 100 - compressed * 100 / size; 0 for empty or grown entries.
    int CompressionRatio = 0;
    // The stored local date and time; 1 January 1980 00:00 when the stored date is invalid.
    TDateTime DateTime = 0;
    std::string Comment;
    // A folder entry (its name ends with "/").
    bool IsFolder = false;
};

// What the windows show for a result code: the message (empty for silent codes),
// its kind, and whether the operation failed. The operation word is "adding",
// "deleting" or "extracting".
struct TXcdResultText
{
    TXcdOutcome Outcome = TXcdOutcome::Silent;
    bool Failed = false;
    std::string Message;
};

TXcdResultText XcdResultText(int code, std::string_view operationWord);

// A short English description of a skip reason, for logs and status lines.
std::string XcdSkipReasonText(TXcdSkipReason reason);

class TXceedZip
{
public:
    TXceedZip() = default;
    TXceedZip(const TXceedZip&) = delete;
    TXceedZip& operator=(const TXceedZip&) = delete;

    // --- Settings -------------------------------------------------------------

    // Path of the archive.
    std::string ZipFileName;
    // Add: file paths, folders or masks ("site/*.html"); Delete and Extract: entry
    // names or masks ("*.*", "site/*.*"). Emptied after every Add, Delete, Extract
    // and List.
    std::vector<std::string> FilesToProcess;
    // 0 (stored) to 9 (smallest).
    int Compression = 6;
    // Files with these extensions (";" separated, letter case ignored) are stored, not compressed.
    std::string StoredExtensions = ".ZIP;.LZH;.ARC;.ARJ;.ZOO";
    // Kept for the callers that set it: updates always go through a temporary file.
    bool UseTempFile = false;
    // Add: store the relative folder path of each file; Extract: restore it.
    bool UsePaths = true;
    // Add: masks and folders take the files of all sub-folders too.
    bool Recurse = false;
    // Add: which files are written (all, only newer ones of existing entries, or
    // new ones and newer ones).
    TXcdAddAction AddAction = TXcdAddAction::AddReplace;
    // Extract: the folder written to (created when missing; empty: the current folder).
    std::string ExtractDirectory;
    TXcdOverwrite Overwrite = TXcdOverwrite::xowAsk;
    // Add: the folder relative paths are taken from (empty: the current folder). A
    // file below it is stored with its path relative to it, so callers need not
    // change the process's current folder.
    std::string BaseFolder;
    // Add: when not 0, every added entry gets this local date and time instead of
    // the file's modification time (reproducible archives).
    TDateTime FixedEntryTime = 0;
    // Cleared when an operation starts; setting it (from an event handler, or from
    // another thread) makes the operation stop at its next check with xcd::Aborted.
    std::atomic<bool> Abort{false};

    // --- Events (fired on the thread running the operation) -------------------

    // Add: a new entry (its stored name) / an existing entry being replaced.
    std::function<void(const std::string& entryName)> OnAdding;
    std::function<void(const std::string& entryName)> OnUpdating;
    std::function<void(const std::string& entryName)> OnDeleting;
    std::function<void(const std::string& entryName)> OnExtracting;
    // Extract with xowAsk, when the target file exists. Without a handler the file is kept.
    std::function<TXcdReplaceAnswer(const std::string& existingFile, const std::string& entryName)> OnReplace;
    std::function<void(const TXcdFileStats& stats)> OnListing;
    // Add: asks for the comment of each file being added. `fileName` is the file's
    // path as handed over (a mask or folder expanded to the files it found);
    // `comment` holds the entry's current comment when it is replaced, else is
    // empty; what the handler leaves in it is stored (cut to 255 characters).
    std::function<void(const std::string& fileName, std::string& comment)> OnFileComment;
    // Overall progress; the last call of a successful operation has processed == total.
    std::function<void(int percent, std::int64_t processed, std::int64_t total)> OnStatus;
    // A file or an entry left out; the operation goes on and ends with xcd::FilesSkipped,
    // or with xcd::EntryDataCorrupted when an entry was damaged.
    std::function<void(const std::string& name, TXcdSkipReason reason)> OnSkipping;
    // Called often (at most every few milliseconds) while an operation works, so
    // the window can process its events.
    std::function<void()> ProcessEvents;

    // --- Operations -----------------------------------------------------------

    // Adds or replaces the files of FilesToProcess, as AddAction says, in one
    // update of the archive (created when missing). New entries follow the order
    // given; replaced ones keep their place. When the action leaves every file
    // alone nothing is written and the result is xcd::NothingToDo.
    int Add();
    // Removes the entries matching FilesToProcess (nothing when it is empty). An
    // archive left without entries stays as an empty Zip file.
    int Delete();
    // Writes the entries matching FilesToProcess (all when it is empty) below ExtractDirectory.
    int Extract();
    // OnListing for each entry matching the mask (all for "" or "*.*"), in archive order.
    int List(const std::string& mask);
    // Number of entries (folder entries included); 0 when the archive cannot be read.
    int Count();

    // True while an operation runs.
    bool IsBusy() const { return m_busy; }

    // The state of a running operation (defined with the implementation).
    class TOperation;

private:
    friend class TOperation;

    int DoAdd(TOperation& operation, const std::vector<std::string>& specs);
    int DoDelete(TOperation& operation, const std::vector<std::string>& specs);
    int DoExtract(TOperation& operation, const std::vector<std::string>& specs);
    int DoList(TOperation& operation, const std::string& mask);

    bool m_busy = false;
};

} // namespace hx
