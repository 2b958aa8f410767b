#include "archive/XcdZipD4.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/XcdZipD4_p.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"

namespace hx
{

namespace
{

namespace fs = std::filesystem;
using namespace xcd::detail;

// How often ProcessEvents runs at most while an operation works.
constexpr auto kPumpInterval = std::chrono::milliseconds(15);
// Precision of libzip's progress reports (a tenth of a percent).
constexpr double kProgressPrecision = 0.001;
constexpr std::size_t kMaxCommentCharacters = 255;

// An archive without entries: the end-of-central-directory record alone.
constexpr char kEmptyArchive[] = "PK\x05\x06\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0";

// One file of an add: where it is read from, the path the caller knows it by,
// and the name it gets in the archive.
struct TAddItem
{
    std::string source;
    std::string given;
    std::string entry;
    std::uint64_t size = 0;
};

// Flushes the archive and the folder entry that names it to disk. libzip renames
// its temporary file over the archive without flushing it first; after this an
// update that was reported done survives a power failure.
void SyncToDisk(const std::string& path)
{
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file >= 0)
    {
        ::fsync(file);
        ::close(file);
    }
    const std::string folderPath = ExtractFilePath(path);
    const int folder = ::open(folderPath.empty() ? "." : folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0)
    {
        ::fsync(folder);
        ::close(folder);
    }
}

bool IsReadableFile(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), R_OK) == 0;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code error;
    return a == b || fs::equivalent(a, b, error);
}

bool IsStoredExtension(const std::string& entryName, const std::string& storedExtensions)
{
    const std::string extension = ExtractFileExt(entryName);
    if (extension.empty())
        return false;
    std::size_t start = 0;
    while (start <= storedExtensions.size())
    {
        const std::size_t end = std::min(storedExtensions.find(';', start), storedExtensions.size());
        std::string item = Trim(std::string_view(storedExtensions).substr(start, end - start));
        if (!item.empty() && item.front() != '.')
            item.insert(item.begin(), '.');
        if (!item.empty() && SameTextNoCase(item, extension))
            return true;
        start = end + 1;
    }
    return false;
}

int CompressionRatio(std::int64_t size, std::int64_t packed)
{
    if (size <= 0)
        return 0;
    const double saved = 100.0 - static_cast<double>(packed) * 100.0 / static_cast<double>(size);
    return static_cast<int>(std::clamp(std::lround(saved), 0L, 100L));
}

int ArchiveError(zip_t* archive)
{
    return ResultFromZipError(zip_get_error(archive));
}

// A date-time as the Zip date fields hold it, as one number that orders like the
// date: two-second steps, so a file's time and an entry's stored time compare on
// the same scale.
std::uint32_t ZipDateOrder(TDateTime value)
{
    const TDosStamp stamp = DosFromDateTime(value);
    return (static_cast<std::uint32_t>(stamp.date) << 16) | stamp.time;
}

// Decides which files an add writes. Add-and-replace writes every file; freshen
// and update write a file over an existing entry only when the file is newer than
// the entry's stored date; freshen never adds a new entry.
class TAddFilter
{
public:
    TAddFilter(TXcdAddAction action, const std::string& archivePath, zip_t* archive)
        : m_action(action)
        , m_archive(archive)
    {
        if (action != TXcdAddAction::AddReplace)
            m_dates.emplace(archivePath, archive);
    }

    // `index` is the entry of that name, or negative when there is none.
    bool Takes(const TAddItem& item, zip_int64_t index)
    {
        if (m_action == TXcdAddAction::AddReplace)
            return true;
        if (index < 0)
            return m_action == TXcdAddAction::Update;
        return FileTime(item.source) > StoredTime(static_cast<zip_uint64_t>(index));
    }

private:
    // A file whose time cannot be read counts as newer: the write then reports it.
    static std::uint32_t FileTime(const std::string& path)
    {
        struct stat status = {};
        if (::stat(path.c_str(), &status) != 0)
            return std::numeric_limits<std::uint32_t>::max();
        return ZipDateOrder(DateTimeFromUnix(static_cast<std::int64_t>(status.st_mtime)));
    }

    // An entry without a readable date counts as 1 January 1980, so any file replaces it.
    std::uint32_t StoredTime(zip_uint64_t index)
    {
        zip_stat_t stat;
        if (zip_stat_index(m_archive, index, 0, &stat) < 0)
            stat.valid = 0;
        return ZipDateOrder(m_dates->Of(index, stat));
    }

    TXcdAddAction m_action;
    zip_t* m_archive;
    std::optional<TEntryDates> m_dates;
};

// Expands the file names and masks of an add into the files they name, in the
// order given (the files a mask or a folder finds follow in path order).
class TAddPlan
{
public:
    TAddPlan(TXceedZip& zip, TXceedZip::TOperation& operation)
        : m_zip(zip)
        , m_operation(operation)
    {
    }

    std::vector<TAddItem> items;

    void AddSpec(const std::string& pattern)
    {
        if (pattern.empty())
            return;
        const std::string name = ExtractFileName(pattern);
        const std::string folder = ExtractFilePath(pattern);
        if (HasWildcards(name))
        {
            AddFolder(folder, name, pattern);
            return;
        }
        const std::string source = Resolve(pattern);
        std::error_code error;
        if (name.empty() || fs::is_directory(source, error))
        {
            AddFolder(IncludeTrailingSlash(pattern), "*", pattern);
            return;
        }
        AddFile(source, pattern, pattern);
    }

private:
    std::string Resolve(const std::string& path) const
    {
        if (m_zip.BaseFolder.empty() || (!path.empty() && path.front() == '/'))
            return path;
        return IncludeTrailingSlash(m_zip.BaseFolder) + path;
    }

    std::string EntryName(const std::string& given) const
    {
        if (!m_zip.UsePaths)
            return ExtractFileName(given);
        std::string relative = given;
        const std::string base = IncludeTrailingSlash(NormalizedBase());
        if (!base.empty() && base != "/" && !given.empty() && given.front() == '/')
        {
            const std::string normal = "/" + NormalizedEntryPath(given);
            if (normal.compare(0, base.size(), base) == 0)
                relative = normal.substr(base.size());
        }
        return NormalizedEntryPath(relative);
    }

    std::string NormalizedBase() const
    {
        const std::string& base = m_zip.BaseFolder;
        if (base.empty() || base.front() != '/')
            return {};
        return "/" + NormalizedEntryPath(base);
    }

    void AddFile(const std::string& source, const std::string& given, const std::string& reported)
    {
        const std::string entry = EntryName(given);
        if (entry.empty() || !IsReadableFile(source))
        {
            m_operation.Skip(reported, TXcdSkipReason::SourceUnreadable);
            return;
        }
        std::error_code error;
        if (fs::exists(m_zip.ZipFileName, error) && SameFile(source, m_zip.ZipFileName))
            return; // never the archive into itself
        TAddItem item;
        item.source = source;
        item.given = given;
        item.entry = entry;
        item.size = fs::file_size(source, error);
        if (error)
            item.size = 0;
        items.push_back(std::move(item));
    }

    void AddFolder(const std::string& givenFolder, const std::string& mask, const std::string& pattern)
    {
        std::string folder = Resolve(givenFolder.empty() ? std::string(".") : givenFolder);
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        std::error_code error;
        if (!fs::is_directory(folder, error))
        {
            m_operation.Skip(pattern, TXcdSkipReason::SourceUnreadable);
            return;
        }
        std::vector<std::string> found; // paths relative to the folder
        const auto options = fs::directory_options::skip_permission_denied;
        auto take = [&](const fs::directory_entry& entry)
        {
            std::error_code statusError;
            if (entry.is_regular_file(statusError) && MatchesMask(entry.path().filename().string(), mask))
                found.push_back(entry.path().lexically_relative(folder).generic_string());
        };
        if (m_zip.Recurse)
        {
            for (fs::recursive_directory_iterator it(folder, options, error), end; !error && it != end;
                 it.increment(error))
                take(*it);
        }
        else
        {
            for (fs::directory_iterator it(folder, options, error), end; !error && it != end; it.increment(error))
                take(*it);
        }
        std::sort(found.begin(), found.end());
        for (const auto& relative : found)
            AddFile(IncludeTrailingSlash(folder) + relative, givenFolder + relative, givenFolder + relative);
    }

    TXceedZip& m_zip;
    TXceedZip::TOperation& m_operation;
};

} // namespace

// --- Running operation -------------------------------------------------------

TXceedZip::TOperation::TOperation(TXceedZip& zip)
    : m_zip(zip)
    , m_lastPump(std::chrono::steady_clock::now())
{
    m_zip.m_busy = true;
    m_zip.Abort.store(false);
}

TXceedZip::TOperation::~TOperation()
{
    m_zip.FilesToProcess.clear();
    m_zip.m_busy = false;
}

bool TXceedZip::TOperation::Pump()
{
    if (m_zip.ProcessEvents)
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastPump >= kPumpInterval)
        {
            m_lastPump = now;
            m_zip.ProcessEvents();
        }
    }
    return AbortRequested();
}

void TXceedZip::TOperation::SetTotal(std::int64_t total)
{
    m_total = std::max<std::int64_t>(total, 0);
}

void TXceedZip::TOperation::Progress(std::int64_t processed)
{
    processed = std::clamp<std::int64_t>(processed, 0, m_total);
    const int percent = m_total > 0 ? static_cast<int>(processed * 100 / m_total) : 100;
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    if (m_zip.OnStatus)
        m_zip.OnStatus(percent, processed, m_total);
}

void TXceedZip::TOperation::Finish()
{
    Progress(m_total);
}

void TXceedZip::TOperation::Skip(const std::string& name, TXcdSkipReason reason)
{
    m_skipped = true;
    if (m_zip.OnSkipping)
        m_zip.OnSkipping(name, reason);
}

void TXceedZip::TOperation::Attach(zip_t* archive)
{
    zip_register_progress_callback_with_state(archive, kProgressPrecision, &ProgressCallback, nullptr, this);
    zip_register_cancel_callback_with_state(archive, &CancelCallback, nullptr, this);
}

// libzip calls both callbacks from C code: nothing may be thrown through it, so
// an exception is kept and the write is cancelled.
void TXceedZip::TOperation::ProgressCallback(zip_t* /*archive*/, double fraction, void* self)
{
    auto* operation = static_cast<TOperation*>(self);
    if (operation->m_callbackError)
        return;
    try
    {
        operation->Progress(std::llround(fraction * static_cast<double>(operation->m_total)));
    }
    catch (...)
    {
        operation->m_callbackError = std::current_exception();
    }
}

int TXceedZip::TOperation::CancelCallback(zip_t* /*archive*/, void* self)
{
    auto* operation = static_cast<TOperation*>(self);
    if (operation->m_callbackError)
        return 1;
    try
    {
        return operation->Pump() ? 1 : 0;
    }
    catch (...)
    {
        operation->m_callbackError = std::current_exception();
        return 1;
    }
}

int TXceedZip::TOperation::Close(TArchivePtr& archive)
{
    if (zip_close(archive.get()) == 0)
    {
        archive.release(); // zip_close has freed it
        if (m_callbackError)
            std::rethrow_exception(m_callbackError);
        return xcd::Success;
    }
    const int result = ArchiveError(archive.get());
    archive.reset(); // the update is thrown away; the previous archive stays
    if (m_callbackError)
        std::rethrow_exception(m_callbackError);
    return AbortRequested() ? xcd::Aborted : result;
}

namespace xcd::detail
{

int OpenArchive(const std::string& path, int flags, TArchivePtr& archive)
{
    if (path.empty())
        return (flags & ZIP_CREATE) != 0 ? AccessFailed : ArchiveNotFound;
    int error = ZIP_ER_OK;
    archive.reset(zip_open(path.c_str(), flags, &error));
    if (archive)
        return Success;
    return ResultFromZipError(error, 0);
}

} // namespace xcd::detail

// --- Operations --------------------------------------------------------------

int TXceedZip::Add()
{
    if (m_busy)
        return xcd::Busy;
    TOperation operation(*this);
    const std::vector<std::string> specs = FilesToProcess;
    return DoAdd(operation, specs);
}

int TXceedZip::Delete()
{
    if (m_busy)
        return xcd::Busy;
    TOperation operation(*this);
    const std::vector<std::string> specs = FilesToProcess;
    return DoDelete(operation, specs);
}

int TXceedZip::Extract()
{
    if (m_busy)
        return xcd::Busy;
    TOperation operation(*this);
    const std::vector<std::string> specs = FilesToProcess;
    return DoExtract(operation, specs);
}

int TXceedZip::List(const std::string& mask)
{
    if (m_busy)
        return xcd::Busy;
    TOperation operation(*this);
    return DoList(operation, mask);
}

int TXceedZip::Count()
{
    // Reads only: allowed while another operation runs (the file on disk is
    // counted, an update in progress is not in it yet).
    TArchivePtr archive;
    if (OpenArchive(ZipFileName, ZIP_RDONLY, archive) != xcd::Success)
        return 0;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    return static_cast<int>(std::clamp<zip_int64_t>(count, 0, std::numeric_limits<int>::max()));
}

int TXceedZip::DoAdd(TOperation& operation, const std::vector<std::string>& specs)
{
    const std::string archiveFolder = ExtractFilePath(ZipFileName);
    if (ZipFileName.empty() || (!archiveFolder.empty() && !DirectoryExists(archiveFolder)))
        return xcd::AccessFailed;

    TAddPlan plan(*this, operation);
    for (const auto& pattern : specs)
    {
        if (operation.Pump())
            return xcd::Aborted;
        plan.AddSpec(pattern);
    }

    // One entry per name: the same file named twice goes in once; two files
    // meeting under one name (paths discarded, or equal after normalising) make
    // the whole add fail before anything is written.
    std::vector<TAddItem> items;
    std::map<std::string, std::size_t> byEntry;
    for (auto& item : plan.items)
    {
        const auto known = byEntry.find(item.entry);
        if (known == byEntry.end())
        {
            byEntry.emplace(item.entry, items.size());
            items.push_back(std::move(item));
        }
        else if (!SameFile(items[known->second].source, item.source))
            return xcd::NamesRepeated;
    }
    if (items.empty())
        return operation.SkippedAny() ? xcd::AccessFailed : xcd::NothingToDo;

    TArchivePtr archive;
    if (const int opened = OpenArchive(ZipFileName, ZIP_CREATE, archive); opened != xcd::Success)
        return opened;
    zip_t* const za = archive.get();

    const auto level = static_cast<zip_uint32_t>(std::clamp(Compression, 0, 9));
    TAddFilter filter(AddAction, ZipFileName, za);
    std::int64_t total = 0;
    std::size_t written = 0;
    for (const auto& item : items)
    {
        if (operation.Pump())
            return xcd::Aborted;
        zip_int64_t index = zip_name_locate(za, item.entry.c_str(), ZIP_FL_ENC_GUESS);
        if (!filter.Takes(item, index))
            continue;
        ++written;
        const bool replacing = index >= 0;
        std::string comment;
        if (replacing)
        {
            if (OnUpdating)
                OnUpdating(item.entry);
            zip_uint32_t length = 0;
            if (const char* old = zip_file_get_comment(za, static_cast<zip_uint64_t>(index), &length, ZIP_FL_ENC_GUESS))
                comment.assign(old, length);
        }
        else if (OnAdding)
            OnAdding(item.entry);
        if (OnFileComment)
            OnFileComment(item.given, comment);
        comment = CutCharacters(comment, kMaxCommentCharacters);

        TSourcePtr source(zip_source_file(za, item.source.c_str(), 0, -1));
        if (!source)
            return ArchiveError(za);
        if (replacing)
        {
            if (zip_file_replace(za, static_cast<zip_uint64_t>(index), source.get(), 0) < 0)
                return ArchiveError(za);
        }
        else
        {
            index = zip_file_add(za, item.entry.c_str(), source.get(), ZIP_FL_ENC_UTF_8);
            if (index < 0)
                return ArchiveError(za);
        }
        source.release(); // the archive owns it now

        const auto entryIndex = static_cast<zip_uint64_t>(index);
        const bool stored = level == 0 || IsStoredExtension(item.entry, StoredExtensions);
        if (zip_set_file_compression(za, entryIndex, stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, stored ? 0 : level) < 0)
            return ArchiveError(za);
        if (zip_file_set_comment(za, entryIndex, comment.empty() ? nullptr : comment.data(),
                                 static_cast<zip_uint16_t>(comment.size()), ZIP_FL_ENC_UTF_8) < 0)
            return ArchiveError(za);
        if (FixedEntryTime != 0)
        {
            const TDosStamp stamp = DosFromDateTime(FixedEntryTime);
            if (zip_file_set_dostime(za, entryIndex, stamp.time, stamp.date, 0) < 0)
                return ArchiveError(za);
        }
        total += static_cast<std::int64_t>(item.size);
    }
    if (operation.Pump())
        return xcd::Aborted;
    // The action left every file alone: the archive is not rewritten.
    if (written == 0)
        return operation.SkippedAny() ? xcd::FilesSkipped : xcd::NothingToDo;

    operation.SetTotal(total);
    operation.Attach(za);
    if (const int closed = operation.Close(archive); closed != xcd::Success)
        return closed;
    SyncToDisk(ZipFileName);
    operation.Finish();
    return operation.SkippedAny() ? xcd::FilesSkipped : xcd::Success;
}

int TXceedZip::DoDelete(TOperation& operation, const std::vector<std::string>& specs)
{
    TArchivePtr archive;
    if (const int opened = OpenArchive(ZipFileName, 0, archive); opened != xcd::Success)
        return opened;
    zip_t* const za = archive.get();
    const zip_int64_t count = zip_get_num_entries(za, 0);
    if (count <= 0)
        return xcd::EmptyArchive;

    zip_int64_t deleted = 0;
    for (zip_int64_t i = 0; i < count; ++i)
    {
        if (operation.Pump())
            return xcd::Aborted;
        const auto index = static_cast<zip_uint64_t>(i);
        const char* name = zip_get_name(za, index, ZIP_FL_ENC_GUESS);
        if (name == nullptr)
            return ArchiveError(za);
        const std::string entry(name);
        if (std::none_of(specs.begin(), specs.end(), [&](const auto& pattern) { return MatchesMask(entry, pattern); }))
            continue;
        if (OnDeleting)
            OnDeleting(entry);
        if (zip_delete(za, index) < 0)
            return ArchiveError(za);
        ++deleted;
    }
    if (operation.Pump())
        return xcd::Aborted;
    if (deleted == 0)
        return xcd::NothingToDo;

    if (deleted == count)
    {
        // libzip would remove the file; the archive stays, empty, replaced atomically.
        archive.reset();
        if (!WriteFileAtomic(ZipFileName, std::string_view(kEmptyArchive, sizeof kEmptyArchive - 1)))
            return xcd::TemporaryFileProblem;
        operation.Finish();
        return xcd::Success;
    }
    std::error_code error;
    operation.SetTotal(static_cast<std::int64_t>(fs::file_size(ZipFileName, error)));
    operation.Attach(za);
    if (const int closed = operation.Close(archive); closed != xcd::Success)
        return closed;
    SyncToDisk(ZipFileName);
    operation.Finish();
    return xcd::Success;
}

int TXceedZip::DoList(TOperation& operation, const std::string& mask)
{
    TArchivePtr archive;
    if (const int opened = OpenArchive(ZipFileName, ZIP_RDONLY, archive); opened != xcd::Success)
        return opened;
    zip_t* const za = archive.get();
    const zip_int64_t count = zip_get_num_entries(za, 0);
    if (count <= 0)
        return xcd::EmptyArchive;

    TEntryDates dates(ZipFileName, za);
    bool listedAny = false;
    for (zip_int64_t i = 0; i < count; ++i)
    {
        if (operation.Pump())
            return xcd::Aborted;
        const auto index = static_cast<zip_uint64_t>(i);
        const char* name = zip_get_name(za, index, ZIP_FL_ENC_GUESS);
        zip_stat_t stat;
        if (name == nullptr || zip_stat_index(za, index, 0, &stat) < 0)
            return ArchiveError(za);
        if (!MatchesMask(name, mask))
            continue;

        TXcdFileStats stats;
        stats.FileName = name;
        stats.IsFolder = !stats.FileName.empty() && stats.FileName.back() == '/';
        if ((stat.valid & ZIP_STAT_SIZE) != 0)
            stats.Size = static_cast<std::int64_t>(stat.size);
        if ((stat.valid & ZIP_STAT_COMP_SIZE) != 0)
            stats.CompressedSize = static_cast<std::int64_t>(stat.comp_size);
        stats.CompressionRatio = CompressionRatio(stats.Size, stats.CompressedSize);
        stats.DateTime = dates.Of(index, stat);
        zip_uint32_t length = 0;
        if (const char* comment = zip_file_get_comment(za, index, &length, ZIP_FL_ENC_GUESS))
            stats.Comment.assign(comment, length);

        listedAny = true;
        if (OnListing)
            OnListing(stats);
    }
    return listedAny ? xcd::Success : xcd::NothingToDo;
}

} // namespace hx
