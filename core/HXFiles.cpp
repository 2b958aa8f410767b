#include "core/HXFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hx
{

namespace
{

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty())
    {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Removes the temporary file unless the rename has taken it over.
class TTempFileGuard
{
public:
    explicit TTempFileGuard(std::string path)
        : m_path(std::move(path))
    {
    }
    ~TTempFileGuard()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TTempFileGuard(const TTempFileGuard&) = delete;
    TTempFileGuard& operator=(const TTempFileGuard&) = delete;

    std::string Release() { return std::exchange(m_path, std::string()); }

private:
    std::string m_path;
};

// A number for temporary names: seeded once per thread from the system's random
// source (opening it for every file costs more than writing a small page).
std::uint64_t TempNameNumber()
{
    thread_local std::mt19937_64 generator{std::random_device{}()};
    return generator();
}

// Creates a new, uniquely named file in the folder; returns its descriptor and name.
// A new temporary name beside the target; shortened so it stays within the file
// system's limit.
std::string TempNameBeside(const std::string& folder, const std::string& name)
{
    return folder + "." + name.substr(0, 64) + ".tmp-" + std::to_string(::getpid()) + "-" +
           std::to_string(TempNameNumber());
}

// The process that made a name of TempNameBeside; nothing for any other name.
std::optional<pid_t> TempNameWriter(std::string_view name)
{
    constexpr std::string_view kMark = ".tmp-";
    const std::size_t mark = name.rfind(kMark);
    if (name.size() < 2 || name.front() != '.' || mark == std::string_view::npos || mark == 0)
        return std::nullopt;
    const std::string_view rest = name.substr(mark + kMark.size());
    const std::size_t dash = rest.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == rest.size())
        return std::nullopt;
    const auto digits = [](std::string_view part)
    { return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }); };
    const std::string_view pid = rest.substr(0, dash);
    if (!digits(pid) || !digits(rest.substr(dash + 1)) || pid.size() > 9)
        return std::nullopt;
    return static_cast<pid_t>(std::stol(std::string(pid)));
}

// Moves a spare file of ours under a new temporary name beside the target and opens
// it emptied, so no file is created; invalid (the spare left where it was) when it
// cannot be moved there or is no plain file.
TFileHandle ReuseSpareBeside(const std::string& folder, const std::string& name, const std::string& spare,
                             std::string& tempPath)
{
    const std::string candidate = TempNameBeside(folder, name);
    if (::renameat2(AT_FDCWD, spare.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) != 0)
        return TFileHandle(-1);
    TFileHandle handle(::open(candidate.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
    struct stat status
    {
    };
    if (!handle.Valid() || ::fstat(handle.Get(), &status) != 0 || !S_ISREG(status.st_mode))
    {
        ::unlink(candidate.c_str());
        return TFileHandle(-1);
    }
    tempPath = candidate;
    return handle;
}

TFileHandle CreateTempBeside(const std::string& folder, const std::string& name, mode_t mode, std::string& tempPath)
{
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        const std::string candidate = TempNameBeside(folder, name);
        int fd = -1;
        do
        {
            fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0)
        {
            tempPath = candidate;
            return TFileHandle(fd);
        }
        if (errno != EEXIST)
            break;
    }
    return TFileHandle(-1);
}

void SyncFolder(const std::string& folder)
{
    const TFileHandle handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems refuse fsync on a folder; the rename has happened either way.
    if (handle.Valid())
        ::fsync(handle.Get());
}

} // namespace

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept
{
    if (this != &other)
    {
        Reset();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool TFileHandle::Close()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd < 0 || ::close(fd) == 0;
}

void TFileHandle::Reset()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

namespace
{

// Reads what is left of an open file into `bytes`; stops with TooLarge once more
// than maxBytes arrived (a file that grows while it is read is held to the limit).
TFileRead ReadToEnd(int fd, std::int64_t maxBytes, std::string& bytes)
{
    char buffer[65536];
    while (true)
    {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            bytes.clear();
            return TFileRead::Failed;
        }
        if (got == 0)
            return TFileRead::Read;
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (static_cast<std::int64_t>(bytes.size()) > maxBytes)
        {
            bytes.clear();
            return TFileRead::TooLarge;
        }
    }
}

} // namespace

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    int fd = -1;
    do
    {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    const TFileHandle handle(fd);
    if (!handle.Valid())
        return std::nullopt;
    std::string bytes;
    if (ReadToEnd(handle.Get(), std::numeric_limits<std::int64_t>::max(), bytes) != TFileRead::Read)
        return std::nullopt;
    return bytes;
}

TFileRead ReadRegularFile(const std::string& path, std::int64_t maxBytes, std::string& bytes)
{
    bytes.clear();
    int fd = -1;
    do
    {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    const TFileHandle handle(fd);
    if (!handle.Valid())
        return errno == ENOENT || errno == ENOTDIR ? TFileRead::Missing : TFileRead::Failed;
    struct stat status
    {
    };
    if (::fstat(handle.Get(), &status) != 0)
        return TFileRead::Failed;
    if (!S_ISREG(status.st_mode))
        return TFileRead::NotAFile;
    if (status.st_size > maxBytes)
        return TFileRead::TooLarge;
    return ReadToEnd(handle.Get(), maxBytes, bytes);
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes, TDurability durability, TFileAccess access)
{
    TPreparedFile file;
    return file.Prepare(path, bytes, durability, nullptr, access) && file.Commit();
}

TPreparedFile::~TPreparedFile()
{
    Drop();
}

TPreparedFile::TPreparedFile(TPreparedFile&& other) noexcept
    : m_path(std::move(other.m_path))
    , m_tempPath(std::exchange(other.m_tempPath, std::string()))
    , m_durability(other.m_durability)
{
}

TPreparedFile& TPreparedFile::operator=(TPreparedFile&& other) noexcept
{
    if (this != &other)
    {
        Drop();
        m_path = std::move(other.m_path);
        m_tempPath = std::exchange(other.m_tempPath, std::string());
        m_durability = other.m_durability;
    }
    return *this;
}

void TPreparedFile::Drop()
{
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

bool TPreparedFile::Prepare(const std::string& path, std::string_view bytes, TDurability durability, std::string* spare,
                            TFileAccess access)
{
    Drop();
    const std::string name = ExtractFileName(path);
    if (name.empty() || name == "." || name == "..")
        return false;
    // A file that is there already has its folder: only a new one may need folders made
    // (a page rewritten in place, the common case, costs one look at the disk).
    struct stat existing
    {
    };
    const bool found = ::stat(path.c_str(), &existing) == 0;
    const std::string folder = ExtractFilePath(path);
    if (!found && !folder.empty())
    {
        try
        {
            ForceDirectories(folder);
        }
        catch (const EFileError&)
        {
            return false;
        }
    }

    // A replaced file keeps its permission bits; a new one gets rw-r--r-- (less the umask).
    mode_t mode = 0644;
    bool keepMode = false;
    bool existsAlready = false;
    if (found)
    {
        if (S_ISDIR(existing.st_mode))
            return false;
        mode = existing.st_mode & 07777;
        keepMode = true;
        existsAlready = true;
    }
    if (access == TFileAccess::kPrivate)
    {
        // Created 0600; an existing file keeps only its owner's permissions.
        mode = keepMode ? (mode & 0700) : 0600;
        keepMode = true;
    }

    std::string tempPath;
    // A spare is used only to replace a file, whose permission bits it then takes.
    TFileHandle handle;
    if (spare != nullptr && !spare->empty() && existsAlready)
    {
        handle = ReuseSpareBeside(folder, name, *spare, tempPath);
        if (handle.Valid())
            spare->clear();
    }
    if (!handle.Valid())
        handle = CreateTempBeside(folder, name, mode, tempPath);
    if (!handle.Valid())
        return false;
    TTempFileGuard guard(tempPath);
    if (keepMode && ::fchmod(handle.Get(), mode) != 0)
        return false;
    const bool flushed = durability == TDurability::kFlushed;
    if (!WriteAll(handle.Get(), bytes) || (flushed && ::fsync(handle.Get()) != 0) || !handle.Close())
        return false;
    m_path = path;
    m_tempPath = guard.Release();
    m_durability = durability;
    return true;
}

bool TPreparedFile::Commit(std::string* replaced)
{
    if (replaced != nullptr)
        replaced->clear();
    if (m_tempPath.empty())
        return false;
    // Swapped with the target, the temporary name keeps the replaced file for the
    // caller to remove; a file system that cannot swap (or no target yet) renames.
    if (replaced != nullptr &&
        ::renameat2(AT_FDCWD, m_tempPath.c_str(), AT_FDCWD, m_path.c_str(), RENAME_EXCHANGE) == 0)
    {
        *replaced = std::exchange(m_tempPath, std::string());
    }
    else if (::rename(m_tempPath.c_str(), m_path.c_str()) != 0)
    {
        Drop();
        return false;
    }
    m_tempPath.clear();
    if (m_durability == TDurability::kFlushed)
    {
        const std::string folder = ExtractFilePath(m_path);
        SyncFolder(folder.empty() ? std::string(".") : folder);
    }
    return true;
}

int RemoveStaleTempFiles(const std::string& folder)
{
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code error;
    fs::recursive_directory_iterator entry(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && entry != fs::recursive_directory_iterator(); entry.increment(error))
    {
        const std::string name = entry->path().filename().string();
        const std::optional<pid_t> writer = TempNameWriter(name);
        if (!writer || *writer == ::getpid() || !entry->is_regular_file(error) || error)
        {
            error.clear();
            continue;
        }
        // A process that still runs (or one this user may not signal) may be saving.
        if (::kill(*writer, 0) == 0 || errno != ESRCH)
            continue;
        if (::unlink(entry->path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

void ForceDirectories(const std::string& folder)
{
    if (folder.empty())
        return;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !DirectoryExists(folder))
        throw EFileError("Unable to create directory");
}

bool FileExists(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ExtractFilePath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& path)
{
    const std::string name = ExtractFileName(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string IncludeTrailingSlash(const std::string& folder)
{
    // An empty folder stays empty rather than becoming the root folder.
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + "/";
}

} // namespace hx

namespace hx
{

TExclusiveFileLock::TExclusiveFileLock(const std::string& lockFile)
{
    TFileHandle fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.Valid())
        return;
    int result;
    do
        result = ::flock(fd.Get(), LOCK_EX);
    while (result != 0 && errno == EINTR);
    if (result == 0)
        m_fd = std::move(fd); // closing releases the lock
}

std::string FileStamp(const std::string& path)
{
    struct stat status = {};
    if (::stat(path.c_str(), &status) != 0)
        return {};
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) + ":" + std::to_string(status.st_size) +
           ":" + std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec);
}

} // namespace hx
