#include "core/HXSpool.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace hx
{

namespace
{

constexpr std::size_t kReadBack = 256 * 1024;

std::string SpoolFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

} // namespace

THXSpool::THXSpool(std::size_t memoryLimit)
    : m_memoryLimit(memoryLimit)
{
}

void THXSpool::Clear()
{
    m_memory.clear();
    m_file = TFileHandle();
    m_size = 0;
}

void THXSpool::Spill()
{
    const std::string folder = SpoolFolder();
    // An unnamed file: nothing is left behind, whatever becomes of the program.
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        std::string pattern = folder + "/harbex-spool-XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0)
            ::unlink(pattern.c_str());
    }
    if (fd < 0)
        throw EFileError("Unable to create a temporary file in " + folder + " (" + std::strerror(errno) + ")");
    m_file = TFileHandle(fd);
    const std::string kept = std::move(m_memory);
    m_memory.clear();
    m_size -= static_cast<std::int64_t>(kept.size());
    Write(kept);
}

void THXSpool::Write(std::string_view bytes)
{
    if (bytes.empty())
        return;
    if (!m_file.Valid() && m_memory.size() + bytes.size() > m_memoryLimit)
        Spill();
    if (!m_file.Valid())
    {
        m_memory.append(bytes);
        m_size += static_cast<std::int64_t>(bytes.size());
        return;
    }
    while (!bytes.empty())
    {
        const ssize_t written = ::write(m_file.Get(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw EFileError(std::string("Unable to write a temporary file (") + std::strerror(errno) + ")");
        bytes.remove_prefix(static_cast<std::size_t>(written));
        m_size += written;
    }
}

void THXSpool::ForEachPiece(const std::function<void(std::string_view piece)>& piece) const
{
    if (!m_file.Valid())
    {
        if (!m_memory.empty())
            piece(m_memory);
        return;
    }
    std::vector<char> buffer(kReadBack);
    off_t at = 0;
    while (at < m_size)
    {
        const ssize_t got = ::pread(m_file.Get(), buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            throw EFileError(std::string("Unable to read a temporary file back (") + std::strerror(errno) + ")");
        piece(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        at += got;
    }
}

std::string THXSpool::Head(std::size_t count) const
{
    if (!m_file.Valid())
        return m_memory.substr(0, count);
    std::string head(std::min<std::int64_t>(static_cast<std::int64_t>(count), m_size), '\0');
    std::size_t at = 0;
    while (at < head.size())
    {
        const ssize_t got = ::pread(m_file.Get(), head.data() + at, head.size() - at, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        at += static_cast<std::size_t>(got);
    }
    head.resize(at);
    return head;
}

} // namespace hx
