#include "shell/HXTempFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"

namespace hx
{

namespace
{

namespace fs = std::filesystem;

struct TDirCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using TDirHandle = std::unique_ptr<DIR, TDirCloser>;

class TFolderHandle
{
public:
    explicit TFolderHandle(int fd)
        : m_fd(fd)
    {
    }
    ~TFolderHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TFolderHandle(const TFolderHandle&) = delete;
    TFolderHandle& operator=(const TFolderHandle&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Opens a folder without following a link in its place.
int OpenFolderAt(int parent, const char* name)
{
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::string ErrorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

// Walks a folder through its handle: counts the files below it or removes them and
// the folders that held them. Names are read before anything is removed, so removing
// never disturbs the reading.
class TTreeWalk
{
public:
    enum class TMode
    {
        Count,
        Remove
    };

    TTreeWalk(TMode mode, std::int64_t total, const TRemovalProgress& progress)
        : m_mode(mode)
        , m_total(total)
        , m_progress(progress)
    {
    }

    // `folder` is the open folder at `path` (used for messages only).
    void Walk(int folder, const std::string& path)
    {
        for (const std::string& name : Names(folder, path))
        {
            const std::string child = path + "/" + name;
            struct stat info
            {
            };
            if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            {
                if (errno != ENOENT)
                    Fail("Unable to read " + child + ": " + ErrorText(errno));
                continue;
            }
            if (S_ISDIR(info.st_mode))
            {
                TFolderHandle inner(OpenFolderAt(folder, name.c_str()));
                if (inner.Valid())
                {
                    Walk(inner.Get(), child);
                    if (m_mode == TMode::Remove)
                        RemoveEntry(folder, name, child, AT_REMOVEDIR);
                    continue;
                }
                // Replaced by a link or a file since it was looked at: removed as what it is now.
                if (errno != ELOOP && errno != ENOTDIR)
                {
                    Fail("Unable to open " + child + ": " + ErrorText(errno));
                    continue;
                }
            }
            if (m_mode == TMode::Count)
            {
                ++m_files;
                continue;
            }
            if (RemoveEntry(folder, name, child, 0))
            {
                ++m_files;
                if (m_progress)
                    m_progress(m_files, std::max(m_total, m_files));
            }
        }
    }

    std::int64_t Files() const { return m_files; }
    const std::string& FirstFailure() const { return m_failure; }

private:
    std::vector<std::string> Names(int folder, const std::string& path)
    {
        std::vector<std::string> names;
        // The directory stream takes a handle of its own: the caller's stays open.
        const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
        if (copy < 0)
        {
            Fail("Unable to read " + path + ": " + ErrorText(errno));
            return names;
        }
        TDirHandle dir(::fdopendir(copy));
        if (!dir)
        {
            const int error = errno;
            ::close(copy);
            Fail("Unable to read " + path + ": " + ErrorText(error));
            return names;
        }
        // The copy shares the reading position with the caller's handle, which an
        // earlier walk may have left at the end.
        ::rewinddir(dir.get());
        while (const dirent* entry = ::readdir(dir.get()))
        {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        return names;
    }

    bool RemoveEntry(int folder, const std::string& name, const std::string& path, int flags)
    {
        if (::unlinkat(folder, name.c_str(), flags) == 0 || errno == ENOENT)
            return true;
        Fail("Unable to remove " + path + ": " + ErrorText(errno));
        return false;
    }

    void Fail(std::string text)
    {
        if (m_failure.empty())
            m_failure = std::move(text);
    }

    TMode m_mode;
    std::int64_t m_total;
    const TRemovalProgress& m_progress;
    std::int64_t m_files = 0;
    std::string m_failure;
};

// The folder as an absolute path with links resolved where they exist, for comparing.
fs::path Resolved(const std::string& folder)
{
    std::error_code error;
    fs::path path = fs::weakly_canonical(fs::absolute(folder, error), error);
    if (error)
        path = fs::absolute(folder, error).lexically_normal();
    // "a/b/" and "a/b" compare equal.
    if (!path.has_filename() && path.has_parent_path() && path != path.root_path())
        path = path.parent_path();
    return path;
}

// Whether `inner` is `outer` or lies below it.
bool SameOrInside(const fs::path& inner, const fs::path& outer)
{
    auto innerPart = inner.begin();
    for (auto outerPart = outer.begin(); outerPart != outer.end(); ++outerPart, ++innerPart)
        if (innerPart == inner.end() || *innerPart != *outerPart)
            return false;
    return true;
}

std::string StoredFolder(THXApp& app, std::string_view valueName, const std::string& defaultFolder)
{
    const std::string stored = app.Store().ReadString(kSettingsKey, valueName, "");
    return stored.empty() ? defaultFolder : IncludeTrailingSlash(stored);
}

} // namespace

TFolderRemoval RemoveFolderTree(const std::string& folder, const TRemovalProgress& progress)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return {TRemovalOutcome::Refused, "No folder to remove"};

    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0)
    {
        if (errno == ENOENT)
            return {TRemovalOutcome::Absent, {}};
        return {TRemovalOutcome::Failed, "Unable to read " + path + ": " + ErrorText(errno)};
    }
    if (S_ISLNK(info.st_mode))
        return {TRemovalOutcome::Refused, "Not removed, it is a link: " + path};
    if (!S_ISDIR(info.st_mode))
        return {TRemovalOutcome::Refused, "Not removed, it is not a folder: " + path};
    if (info.st_uid != ::geteuid())
        return {TRemovalOutcome::Refused, "Not removed, it belongs to another user: " + path};

    TFolderHandle top(OpenFolderAt(AT_FDCWD, path.c_str()));
    if (!top.Valid())
        return {TRemovalOutcome::Failed, "Unable to open " + path + ": " + ErrorText(errno)};

    TTreeWalk count(TTreeWalk::TMode::Count, 0, progress);
    count.Walk(top.Get(), path);
    if (progress)
        progress(0, count.Files());

    TTreeWalk removal(TTreeWalk::TMode::Remove, count.Files(), progress);
    removal.Walk(top.Get(), path);
    if (!removal.FirstFailure().empty())
        return {TRemovalOutcome::Failed, removal.FirstFailure()};
    // A link put in the folder's place meanwhile is not a folder: rmdir leaves it.
    if (::rmdir(path.c_str()) != 0 && errno != ENOENT)
        return {TRemovalOutcome::Failed, "Unable to remove " + path + ": " + ErrorText(errno)};
    return {TRemovalOutcome::Removed, {}};
}

TFolderRemoval RemoveTemporaryFolder(THXApp& app, const TRemovalProgress& progress)
{
    // The folder as GetTempFolder names it, without creating it.
    const THXEnvironment& environment = app.Environment();
    const std::string folder = StoredFolder(app, "Temp Folder", environment.defaultTempFolder);
    if (!ContainsNoCase(folder, "harbex"))
        return {TRemovalOutcome::Refused, "Not removed, the path does not contain \"harbex\": " + folder};

    // A folder set by hand to one that holds the user's own files is never emptied.
    const fs::path resolved = Resolved(folder);
    std::vector<std::string> kept = {
        "/",
        app.ProgramFolder(),
        StoredFolder(app, "Downloads Folder", environment.defaultDownloadsFolder),
        StoredFolder(app, "Local Intranet Folder", environment.defaultIntranetFolder),
    };
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        kept.emplace_back(home);
    for (const std::string& keep : kept)
        if (!keep.empty() && SameOrInside(Resolved(keep), resolved))
            return {TRemovalOutcome::Refused, "Not removed, it holds " + keep + ": " + folder};

    return RemoveFolderTree(folder, progress);
}

} // namespace hx
