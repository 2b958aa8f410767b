#include "net/HXPartFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hx
{

namespace
{

constexpr std::string_view kPartSuffix = ".hxpart";
// Longest target name kept whole in the part file's name; longer ones are cut
// so the part file's name stays within the file system's limit.
constexpr std::size_t kPartNameKept = 200;
constexpr std::size_t kCopyBlock = 65536;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Splits the target's path below the root into its folders and its file name;
// false when it does not lie below the root or names "." or "..".
bool SplitBelowRoot(const std::string& root, const std::string& target, std::vector<std::string>& folders,
                    std::string& name)
{
    if (root.empty() || target.size() <= root.size() || target.compare(0, root.size(), root) != 0)
        return false;
    if (root.back() != '/' && target[root.size()] != '/')
        return false;
    folders.clear();
    std::size_t at = root.size();
    while (at <= target.size())
    {
        std::size_t end = target.find('/', at);
        if (end == std::string::npos)
            end = target.size();
        std::string part = target.substr(at, end - at);
        at = end + 1;
        if (part.empty())
            continue;
        if (part == "." || part == "..")
            return false;
        folders.push_back(std::move(part));
    }
    if (folders.empty() || target.back() == '/')
        return false;
    name = std::move(folders.back());
    folders.pop_back();
    return true;
}

} // namespace

std::string PartFileName(const std::string& targetName)
{
    return "." + targetName.substr(0, kPartNameKept) + std::string(kPartSuffix);
}

bool IsDiskFullError(int error)
{
    return error == ENOSPC || error == EDQUOT;
}

std::string DiskFullText(const std::string& path, int error)
{
    return "Disk full: unable to write " + path + " (" + std::strerror(error) + ")";
}

bool StopsTheRun(int error)
{
    return IsDiskFullError(error) || error == EACCES || error == EPERM || error == EROFS;
}

std::string WriteStopText(const std::string& path, int error)
{
    if (IsDiskFullError(error))
        return DiskFullText(path, error);
    return "Unable to write " + path + " (" + std::strerror(error) + ")";
}

TPartFile::TPartFile(std::string root, std::string target, TKeepQuery keep, TPartWriter writer)
    : m_root(std::move(root))
    , m_target(std::move(target))
    , m_keep(std::move(keep))
    , m_writer(std::move(writer))
{
}

TPartFile::~TPartFile()
{
    Discard();
}

bool TPartFile::Failed(int error)
{
    if (m_error == 0)
        m_error = error != 0 ? error : EIO;
    return false;
}

bool TPartFile::OpenFolder(bool create)
{
    if (m_folder.Valid())
        return true;
    std::vector<std::string> folders;
    if (!SplitBelowRoot(m_root, m_target, folders, m_name))
        return Failed(EINVAL);
    // Every other part of the program opens the file by its whole path.
    if (m_target.size() >= PATH_MAX)
        return Failed(ENAMETOOLONG);
    m_partName = PartFileName(m_name);

    // The working folder itself is the user's choice and may be reached through
    // links; below it nothing is followed. It is made only when it cannot be opened
    // (after the first transfer it is there).
    TFileHandle folder(::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.Valid() && create)
    {
        try
        {
            ForceDirectories(m_root);
        }
        catch (const EFileError&)
        {
            return Failed(errno);
        }
        folder = TFileHandle(::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    for (const std::string& step : folders)
    {
        if (!folder.Valid())
            return Failed(errno);
        int next = ::openat(folder.Get(), step.c_str(), kFolderFlags);
        if (next < 0 && errno == ENOENT && create)
        {
            if (::mkdirat(folder.Get(), step.c_str(), 0777) != 0 && errno != EEXIST)
                return Failed(errno);
            next = ::openat(folder.Get(), step.c_str(), kFolderFlags);
        }
        folder = TFileHandle(next);
    }
    if (!folder.Valid())
        return Failed(errno);
    m_folder = std::move(folder);
    return true;
}

bool TPartFile::OpenPart()
{
    if (m_file.Valid())
        return true;
    // The new part file is always a fresh regular file of this transfer: a part file
    // left by an earlier run (or anything planted under its name) makes the exclusive
    // create fail, goes, and the create is tried once more. Usually nothing is there,
    // and the folder is changed only once.
    constexpr int kPartFlags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    m_file = TFileHandle(::openat(m_folder.Get(), m_partName.c_str(), kPartFlags, 0666));
    if (!m_file.Valid() && errno == EEXIST)
    {
        ::unlinkat(m_folder.Get(), m_partName.c_str(), 0);
        m_file = TFileHandle(::openat(m_folder.Get(), m_partName.c_str(), kPartFlags, 0666));
    }
    return m_file.Valid() || Failed(errno);
}

void TPartFile::Clear()
{
    if (m_file.Valid() && ::ftruncate(m_file.Get(), 0) != 0)
        Discard();
    m_begun = false;
    m_error = 0;
    m_size = 0;
    m_position = 0;
}

TFileHandle TPartFile::OpenResumed(const std::string& resumeFile)
{
    TFileHandle source;
    if (resumeFile == m_target)
    {
        // The target itself: found from its folder, never through a link.
        if (OpenFolder(false))
            source = TFileHandle(::openat(m_folder.Get(), m_name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    }
    else
    {
        source = TFileHandle(::open(resumeFile.c_str(), O_RDONLY | O_CLOEXEC));
    }
    struct stat info
    {
    };
    if (source.Valid() && (::fstat(source.Get(), &info) != 0 || !S_ISREG(info.st_mode)))
        source = TFileHandle();
    return source;
}

bool TPartFile::BeginBody(const std::string& resumeFile, std::int64_t offset)
{
    Clear();
    m_begun = true;
    const bool keep = !m_keep || m_keep();
    if (keep && !(OpenFolder(true) && OpenPart()))
    {
        Discard();
        // Without room for the file the body is not dropped: the run stops for it.
        if (StopsTheRun(m_error))
            throw EDiskFull(WriteStopText(m_target, m_error));
    }
    if (!keep)
        Discard();

    if (resumeFile.empty())
        return false;
    const TFileHandle source = OpenResumed(resumeFile);
    if (!source.Valid())
        return false;
    if (m_file.Valid())
    {
        CopyResumed(source.Get());
    }
    else
    {
        struct stat info
        {
        };
        if (::fstat(source.Get(), &info) == 0)
            m_size = info.st_size;
    }
    Seek(offset);
    return true;
}

void TPartFile::CopyResumed(int source)
{
    // In the kernel when it can; through a small buffer otherwise.
    for (;;)
    {
        const ssize_t copied = ::copy_file_range(source, nullptr, m_file.Get(), nullptr, kCopyBlock * 16, 0);
        if (copied > 0)
        {
            m_size += copied;
            continue;
        }
        if (copied == 0)
            return;
        if (errno == EINTR)
            continue;
        break;
    }
    std::vector<char> buffer(kCopyBlock);
    for (;;)
    {
        const ssize_t got = ::pread(source, buffer.data(), buffer.size(), m_size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        m_position = m_size;
        Write(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    }
}

void TPartFile::Write(std::string_view data)
{
    if (m_file.Valid())
    {
        std::size_t done = 0;
        while (done < data.size())
        {
            const off_t at = m_position + static_cast<off_t>(done);
            const ssize_t written = m_writer ? m_writer(m_file.Get(), data.data() + done, data.size() - done, at)
                                             : ::pwrite(m_file.Get(), data.data() + done, data.size() - done, at);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
            {
                // A write that takes nothing has run out of room.
                Failed(written < 0 ? errno : ENOSPC);
                // What reached the disk so far stays the body.
                m_position += static_cast<std::int64_t>(done);
                m_size = std::max(m_size, m_position);
                if (StopsTheRun(m_error))
                    throw EDiskFull(WriteStopText(m_target, m_error));
                throw EFileError("Unable to write file");
            }
            done += static_cast<std::size_t>(written);
        }
    }
    m_position += static_cast<std::int64_t>(data.size());
    m_size = std::max(m_size, m_position);
}

bool TPartFile::Commit()
{
    if (!m_begun)
    {
        // No body began: the target becomes an empty file.
        m_begun = true;
        if (!(OpenFolder(true) && OpenPart()))
            return false;
    }
    if (!m_file.Valid())
        return false;
    const bool closed = m_file.Close();
    if (!closed || ::renameat(m_folder.Get(), m_partName.c_str(), m_folder.Get(), m_name.c_str()) != 0)
    {
        Failed(errno);
        ::unlinkat(m_folder.Get(), m_partName.c_str(), 0);
        return false;
    }
    return true;
}

void TPartFile::Discard()
{
    if (!m_file.Valid())
        return;
    m_file.Close();
    ::unlinkat(m_folder.Get(), m_partName.c_str(), 0);
}

} // namespace hx
