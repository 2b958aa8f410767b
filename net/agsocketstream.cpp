#include "net/agsocketstream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/agsocketcodes.h"

namespace hx
{

namespace
{

int PollTimeout(std::chrono::milliseconds limit)
{
    if (limit.count() <= 0)
        return 0;
    return static_cast<int>(std::min<std::chrono::milliseconds::rep>(limit.count(), 60'000));
}

} // namespace

// ---- TSocketStream ----

TSocketStream::TSocketStream(int handle, const sockaddr_storage& peer, socklen_t peerLength)
    : m_handle(handle)
    , m_peer(peer)
    , m_peerLength(peerLength)
{
}

TSocketStream::~TSocketStream()
{
    if (m_handle >= 0)
        ::close(m_handle);
}

TIOResult TSocketStream::StartConnect()
{
    for (;;)
    {
        if (::connect(m_handle, reinterpret_cast<const sockaddr*>(&m_peer), m_peerLength) == 0)
            return {};
        if (errno == EINTR)
            continue;
        if (errno == EINPROGRESS || errno == EAGAIN)
            return {TIOStatus::WouldBlock, 0, 0};
        return {TIOStatus::Failed, 0, SocketCodeFromErrno(errno)};
    }
}

TIOResult TSocketStream::ConnectResult()
{
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == 0)
    {
        // Writable without a pending error can still mean the attempt was cut short
        // by a shutdown; only a socket with a peer is connected.
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof(peer);
        if (::getpeername(m_handle, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0)
            return {};
        error = errno;
    }
    if (error == EINPROGRESS || error == EALREADY)
        return {TIOStatus::WouldBlock, 0, 0};
    return {TIOStatus::Failed, 0, SocketCodeFromErrno(error)};
}

TIOResult TSocketStream::Read(char* buffer, std::size_t size)
{
    for (;;)
    {
        const ssize_t received = ::recv(m_handle, buffer, size, 0);
        if (received > 0)
            return {TIOStatus::Done, static_cast<std::size_t>(received), 0};
        if (received == 0)
            return {size == 0 ? TIOStatus::WouldBlock : TIOStatus::Closed, 0, 0};
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {TIOStatus::WouldBlock, 0, 0};
        return {TIOStatus::Failed, 0, SocketCodeFromErrno(errno)};
    }
}

TIOResult TSocketStream::Write(const char* data, std::size_t size)
{
    for (;;)
    {
        // MSG_NOSIGNAL: a peer that has gone away gives EPIPE here instead of a
        // SIGPIPE that would end the program.
        const ssize_t sent = ::send(m_handle, data, size, MSG_NOSIGNAL);
        if (sent >= 0)
            return {TIOStatus::Done, static_cast<std::size_t>(sent), 0};
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {TIOStatus::WouldBlock, 0, 0};
        return {TIOStatus::Failed, 0, SocketCodeFromErrno(errno)};
    }
}

bool TSocketStream::Wait(TWaitFor what, std::chrono::milliseconds limit)
{
    pollfd entry{};
    entry.fd = m_handle;
    entry.events = what == TWaitFor::Readable ? POLLIN : POLLOUT;
    const int ready = ::poll(&entry, 1, PollTimeout(limit));
    // An error or hang-up counts as ready: the next read, write or connect result
    // reports what happened.
    return ready > 0 && entry.revents != 0;
}

void TSocketStream::Shutdown()
{
    // Only shut down here: the descriptor stays open (and its number unused by
    // anything else) until the last user of the stream lets go of it.
    ::shutdown(m_handle, SHUT_RDWR);
}

// ---- TBufferStream ----

TBufferStream::TBufferStream(std::string answer, bool closeAtEnd, std::size_t maxPerRead)
    : m_answer(std::move(answer))
    , m_closeAtEnd(closeAtEnd)
    , m_maxPerRead(maxPerRead == 0 ? 1 : maxPerRead)
{
}

TIOResult TBufferStream::Read(char* buffer, std::size_t size)
{
    const std::lock_guard lock(m_mutex);
    if (m_shutDown)
        return {TIOStatus::Closed, 0, 0};
    const std::size_t left = m_answer.size() - m_readPosition;
    if (left == 0)
        return {m_closeAtEnd ? TIOStatus::Closed : TIOStatus::WouldBlock, 0, 0};
    const std::size_t count = std::min({size, left, m_maxPerRead});
    if (count == 0)
        return {TIOStatus::WouldBlock, 0, 0};
    std::memcpy(buffer, m_answer.data() + m_readPosition, count);
    m_readPosition += count;
    return {TIOStatus::Done, count, 0};
}

TIOResult TBufferStream::Write(const char* data, std::size_t size)
{
    const std::lock_guard lock(m_mutex);
    if (m_shutDown)
        return {TIOStatus::Failed, 0, SocketCodeFromErrno(EPIPE)};
    m_written.append(data, size);
    return {TIOStatus::Done, size, 0};
}

bool TBufferStream::Wait(TWaitFor what, std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    auto ready = [&]
    { return m_shutDown || what == TWaitFor::Writable || m_readPosition < m_answer.size() || m_closeAtEnd; };
    return m_wake.wait_for(lock, limit, ready);
}

void TBufferStream::Shutdown()
{
    {
        const std::lock_guard lock(m_mutex);
        m_shutDown = true;
    }
    m_wake.notify_all();
}

std::string TBufferStream::Written() const
{
    const std::lock_guard lock(m_mutex);
    return m_written;
}

// ---- TByteStream ----

void TByteStream::Write(std::string_view data)
{
    if (m_position > m_bytes.size())
        m_bytes.resize(m_position, '\0');
    const std::size_t overwrite = std::min(data.size(), m_bytes.size() - m_position);
    m_bytes.replace(m_position, overwrite, data.data(), overwrite);
    m_bytes.append(data.data() + overwrite, data.size() - overwrite);
    m_position += data.size();
}

std::string TByteStream::Read(std::size_t size)
{
    if (m_position >= m_bytes.size())
        return {};
    const std::size_t count = std::min(size, m_bytes.size() - m_position);
    std::string part = m_bytes.substr(m_position, count);
    m_position += count;
    return part;
}

} // namespace hx
