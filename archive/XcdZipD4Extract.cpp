// Extraction: every file is written below the extraction folder and nowhere else.
// Entry names are checked before use (no absolute names, no ".." steps), folders
// below the extraction folder are opened one step at a time without following
// symbolic links, an existing symbolic link is never written through, and each
// file is written to a temporary name and renamed into place, so an abort or a
// damaged entry never leaves a half-written file where a good one stood. No entry
// writes more than the size the archive declares for it: an entry whose data is not
// that size, or fails its checksum, is named as damaged, the rest are extracted and
// the operation fails. An entry whose name cannot be a file name here is skipped
// like the other refused entries.

#include "archive/XcdZipD4.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/XcdZipD4_p.h"
#include "core/HXFiles.h"

namespace hx
{

namespace
{

using namespace xcd::detail;

constexpr std::size_t kCopyBufferSize = 64 * 1024;
constexpr int kTemporaryNameAttempts = 16;

// A file being written under a temporary name in the target folder; removed
// unless it was renamed into place.
class TPartFile
{
public:
    explicit TPartFile(int folder)
        : m_folder(folder)
    {
    }
    ~TPartFile()
    {
        m_fd.Close();
        if (!m_name.empty() && !m_committed)
            ::unlinkat(m_folder, m_name.c_str(), 0);
    }
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    // Creates the file under a fresh name; returns 0 or an errno.
    int Create()
    {
        std::random_device random;
        for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt)
        {
            std::array<char, 32> name{};
            std::snprintf(name.data(), name.size(), ".hx-%08x.part", random());
            const int fd = ::openat(m_folder, name.data(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd >= 0)
            {
                m_fd = TFileHandle(fd);
                m_name = name.data();
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

    // Writes all bytes; returns 0 or an errno.
    int Write(const char* bytes, std::size_t size)
    {
        while (size > 0)
        {
            const ssize_t written = ::write(m_fd.Get(), bytes, size);
            if (written < 0)
            {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            bytes += written;
            size -= static_cast<std::size_t>(written);
        }
        return 0;
    }

    // Sets the modification time, closes the file and renames it to `name`
    // (replacing what is there, a symbolic link included, never following it).
    int Commit(const std::string& name, std::int64_t modified)
    {
        std::array<timespec, 2> times{};
        times[0].tv_nsec = UTIME_NOW;
        times[1].tv_sec = static_cast<time_t>(modified);
        ::futimens(m_fd.Get(), times.data());
        if (!m_fd.Close())
            return errno;
        if (::renameat(m_folder, m_name.c_str(), m_folder, name.c_str()) != 0)
            return errno;
        m_committed = true;
        return 0;
    }

private:
    int m_folder;
    TFileHandle m_fd;
    std::string m_name;
    bool m_committed = false;
};

// What became of one entry.
enum class TStep
{
    Written,
    Kept,
    Skipped,
    Cancelled,
    DataError,
    Failed
};

struct TStepResult
{
    TStep step = TStep::Written;
    int code = xcd::Success;
};

TStepResult Failed(int code)
{
    return TStepResult{TStep::Failed, code};
}

class TExtractor
{
public:
    TExtractor(TXceedZip& zip, TXceedZip::TOperation& operation, zip_t* archive, int root, std::string rootPath)
        : m_zip(zip)
        , m_operation(operation)
        , m_archive(archive)
        , m_root(root)
        , m_rootPath(IncludeTrailingSlash(std::move(rootPath)))
        , m_dates(zip.ZipFileName, archive)
    {
    }

    std::int64_t processed = 0;

    TStepResult Entry(zip_uint64_t index, const std::string& name, const zip_stat_t& stat)
    {
        if (IsLinkEntry(index))
            return Skip(name, TXcdSkipReason::LinkEntry);
        const bool isFolder = !name.empty() && name.back() == '/';
        std::vector<std::string> steps;
        const bool safe = SafeEntrySteps(name, steps);
        if (m_zip.UsePaths)
        {
            if (!safe)
                return Skip(name, TXcdSkipReason::UnsafeName);
        }
        else
        {
            if (isFolder)
                return TStepResult{}; // folders come only with paths
            if (steps.empty() || name.substr(name.find_last_of('/') + 1) == "..")
                return Skip(name, TXcdSkipReason::UnsafeName);
            steps.erase(steps.begin(), steps.end() - 1);
        }
        if (steps.empty())
        {
            if (isFolder)
                return TStepResult{}; // the extraction folder itself
            return Skip(name, TXcdSkipReason::UnsafeName);
        }
        if (std::any_of(steps.begin(), steps.end(), [](const std::string& step) { return step.size() > NAME_MAX; }))
            return Skip(name, TXcdSkipReason::NameTooLong);
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE)
            return Skip(name, TXcdSkipReason::Unsupported);

        const std::size_t folderSteps = isFolder ? steps.size() : steps.size() - 1;
        TFileHandle folder;
        int current = m_root;
        for (std::size_t i = 0; i < folderSteps; ++i)
        {
            TFileHandle next;
            const TStepResult opened = OpenFolder(current, steps[i], name, next);
            if (opened.step != TStep::Written)
                return opened;
            folder = std::move(next);
            current = folder.Get();
        }
        if (isFolder)
            return TStepResult{};
        return WriteFile(index, name, stat, current, steps);
    }

private:
    bool IsLinkEntry(zip_uint64_t index) const
    {
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(m_archive, index, 0, &system, &attributes) < 0)
            return false;
        return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
    }

    TStepResult Skip(const std::string& name, TXcdSkipReason reason)
    {
        m_operation.Skip(name, reason);
        return TStepResult{TStep::Skipped, xcd::FilesSkipped};
    }

    // Opens (creating it when missing) one folder below `parent`, refusing links.
    TStepResult OpenFolder(int parent, const std::string& step, const std::string& name, TFileHandle& folder)
    {
        for (int attempt = 0; attempt < 2; ++attempt)
        {
            const int fd = ::openat(parent, step.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0)
            {
                folder = TFileHandle(fd);
                return TStepResult{};
            }
            const int error = errno;
            if (error == ELOOP)
                return Skip(name, TXcdSkipReason::SymbolicLinkInPath);
            if (error == ENAMETOOLONG)
                return Skip(name, TXcdSkipReason::NameTooLong);
            if (error == ENOTDIR)
            {
                struct stat info
                {
                };
                if (::fstatat(parent, step.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
                    return Skip(name, TXcdSkipReason::SymbolicLinkInPath);
                return Skip(name, TXcdSkipReason::PathBlocked);
            }
            if (error != ENOENT)
                return Failed(ResultFromErrno(error));
            if (::mkdirat(parent, step.c_str(), 0777) != 0 && errno != EEXIST)
                return Failed(ResultFromErrno(errno));
        }
        return Failed(xcd::AccessFailed);
    }

    // Whether an existing file may be replaced, as Overwrite and the replace question say.
    TStepResult MayReplace(const std::string& name, const std::vector<std::string>& steps)
    {
        switch (m_zip.Overwrite)
        {
        case TXcdOverwrite::xowAlways:
            return TStepResult{};
        case TXcdOverwrite::xowNever:
            return TStepResult{TStep::Kept, xcd::FilesKept};
        case TXcdOverwrite::xowAsk:
            break;
        }
        if (m_replaceAll)
            return TStepResult{};
        if (!m_zip.OnReplace)
            return TStepResult{TStep::Kept, xcd::FilesKept};
        std::string existing = m_rootPath;
        for (std::size_t i = 0; i < steps.size(); ++i)
            existing += (i == 0 ? "" : "/") + steps[i];
        switch (m_zip.OnReplace(existing, name))
        {
        case TXcdReplaceAnswer::Yes:
            return TStepResult{};
        case TXcdReplaceAnswer::All:
            m_replaceAll = true;
            return TStepResult{};
        case TXcdReplaceAnswer::No:
            return TStepResult{TStep::Kept, xcd::FilesKept};
        case TXcdReplaceAnswer::Cancel:
            break;
        }
        return TStepResult{TStep::Cancelled, xcd::Aborted};
    }

    TStepResult WriteFile(zip_uint64_t index, const std::string& name, const zip_stat_t& stat, int folder,
                          const std::vector<std::string>& steps)
    {
        const std::string& leaf = steps.back();
        struct stat info
        {
        };
        if (::fstatat(folder, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        {
            if (S_ISLNK(info.st_mode))
                return Skip(name, TXcdSkipReason::SymbolicLinkInPath);
            if (S_ISDIR(info.st_mode))
                return Skip(name, TXcdSkipReason::PathBlocked);
            const TStepResult replace = MayReplace(name, steps);
            if (replace.step != TStep::Written)
                return replace;
        }
        else if (errno == ENAMETOOLONG)
            return Skip(name, TXcdSkipReason::NameTooLong);
        else if (errno != ENOENT)
            return Failed(ResultFromErrno(errno));

        TEntryPtr entry(zip_fopen_index(m_archive, index, 0));
        if (!entry)
        {
            const int zipError = zip_error_code_zip(zip_get_error(m_archive));
            if (zipError == ZIP_ER_COMPNOTSUPP || zipError == ZIP_ER_ENCRNOTSUPP || zipError == ZIP_ER_NOPASSWD)
                return Skip(name, TXcdSkipReason::Unsupported);
            return DataOrFailure(name, ResultFromZipError(zip_get_error(m_archive)));
        }
        TPartFile part(folder);
        if (const int error = part.Create(); error != 0)
            return Failed(ResultFromErrno(error));
        // The data is read up to one byte past the size the archive declares: an entry
        // that inflates to more is refused before more than that reaches the disk.
        const bool declared = (stat.valid & ZIP_STAT_SIZE) != 0;
        std::uint64_t written = 0;
        std::vector<char> buffer(kCopyBufferSize);
        for (;;)
        {
            std::uint64_t wanted = buffer.size();
            if (declared)
                wanted = std::min<std::uint64_t>(wanted, stat.size - written + 1);
            const zip_int64_t got = zip_fread(entry.get(), buffer.data(), wanted);
            if (got < 0)
                return DataOrFailure(name, ResultFromZipError(zip_file_get_error(entry.get())));
            if (got == 0)
                break;
            if (declared && written + static_cast<std::uint64_t>(got) > stat.size)
                return Damaged(name, TXcdSkipReason::SizeMismatch);
            written += static_cast<std::uint64_t>(got);
            if (const int error = part.Write(buffer.data(), static_cast<std::size_t>(got)); error != 0)
                return Failed(ResultFromErrno(error));
            processed += got;
            m_operation.Progress(processed);
            if (m_operation.Pump())
                return TStepResult{TStep::Cancelled, xcd::Aborted};
        }
        // Data that ends before the declared size is as damaged as data that runs past it.
        if (declared && written != stat.size)
            return Damaged(name, TXcdSkipReason::SizeMismatch);
        const std::int64_t modified = UnixTimeFromDateTime(m_dates.Of(index, stat));
        if (const int error = part.Commit(leaf, modified); error != 0)
            return error == ENAMETOOLONG ? Skip(name, TXcdSkipReason::NameTooLong) : Failed(ResultFromErrno(error));
        return TStepResult{};
    }

    // An entry whose data cannot be what the archive says: it is named with the reason
    // (OnSkipping), nothing of it is written, the other entries are still extracted and
    // the operation fails as a damaged archive does.
    TStepResult Damaged(const std::string& name, TXcdSkipReason reason)
    {
        m_operation.Skip(name, reason);
        return TStepResult{TStep::DataError, xcd::EntryDataCorrupted};
    }

    TStepResult DataOrFailure(const std::string& name, int code)
    {
        if (code == xcd::EntryDataCorrupted)
            return Damaged(name, TXcdSkipReason::DataDamaged);
        return Failed(code);
    }

    TXceedZip& m_zip;
    TXceedZip::TOperation& m_operation;
    zip_t* m_archive;
    int m_root;
    std::string m_rootPath;
    TEntryDates m_dates;
    bool m_replaceAll = false;
};

} // namespace

int TXceedZip::DoExtract(TOperation& operation, const std::vector<std::string>& specs)
{
    TArchivePtr archive;
    if (const int opened = OpenArchive(ZipFileName, ZIP_RDONLY, archive); opened != xcd::Success)
        return opened;
    zip_t* const za = archive.get();
    const zip_int64_t count = zip_get_num_entries(za, 0);
    if (count <= 0)
        return xcd::EmptyArchive;

    struct TChosen
    {
        zip_uint64_t index;
        std::string name;
        zip_stat_t stat;
    };
    std::vector<TChosen> chosen;
    std::int64_t total = 0;
    for (zip_int64_t i = 0; i < count; ++i)
    {
        TChosen entry{static_cast<zip_uint64_t>(i), {}, {}};
        const char* name = zip_get_name(za, entry.index, ZIP_FL_ENC_GUESS);
        if (name == nullptr || zip_stat_index(za, entry.index, 0, &entry.stat) < 0)
            return ResultFromZipError(zip_get_error(za));
        entry.name = name;
        const bool wanted =
            specs.empty() || std::any_of(specs.begin(), specs.end(),
                                         [&](const auto& pattern) { return MatchesMask(entry.name, pattern); });
        if (!wanted)
            continue;
        if ((entry.stat.valid & ZIP_STAT_SIZE) != 0)
            total += static_cast<std::int64_t>(entry.stat.size);
        chosen.push_back(std::move(entry));
    }
    if (chosen.empty())
        return xcd::NothingToDo;

    const std::string folder = ExtractDirectory.empty() ? std::string(".") : ExtractDirectory;
    try
    {
        ForceDirectories(folder);
    }
    catch (const EFileError&)
    {
        return xcd::AccessFailed;
    }
    // The extraction folder itself is the caller's choice and may be reached
    // through a link; below it nothing is followed.
    const TFileHandle root(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.Valid())
        return ResultFromErrno(errno);

    operation.SetTotal(total);
    TExtractor extractor(*this, operation, za, root.Get(), folder);
    bool kept = false;
    bool dataError = false;
    for (const auto& entry : chosen)
    {
        if (operation.Pump())
            return xcd::Aborted;
        if (OnExtracting)
            OnExtracting(entry.name);
        const std::int64_t before = extractor.processed;
        const TStepResult result = extractor.Entry(entry.index, entry.name, entry.stat);
        switch (result.step)
        {
        case TStep::Written:
        case TStep::Skipped:
            break;
        case TStep::Kept:
            kept = true;
            break;
        case TStep::DataError:
            dataError = true;
            break;
        case TStep::Cancelled:
        case TStep::Failed:
            return result.code;
        }
        // Entries not written still count as done for the progress.
        if ((entry.stat.valid & ZIP_STAT_SIZE) != 0)
            extractor.processed = before + static_cast<std::int64_t>(entry.stat.size);
        operation.Progress(extractor.processed);
    }
    if (dataError)
        return xcd::EntryDataCorrupted;
    operation.Finish();
    if (operation.SkippedAny())
        return xcd::FilesSkipped;
    return kept ? xcd::FilesKept : xcd::Success;
}

} // namespace hx
