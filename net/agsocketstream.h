#pragma once

// The byte streams underneath the socket component.
//
// TNetStream is the transport a TagSocket talks through: read, write and wait
// until readable or writable for at most a given time. Would-block and a closed
// connection are ordinary results, not failures; failures carry the socket code
// (net/agsocketcodes.h). TSocketStream is a non-blocking TCP socket;
// TBufferStream plays a server from bytes held in memory, so the request writer
// and the response reader can be tried without a socket.
//
// TByteSink is what received bytes are written into: TByteStream, the in-memory
// byte buffer with a position that requests are composed in and bodies are
// received into, or a file (a transfer's body, see TPartFile).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>

#include <sys/socket.h>

namespace hx
{

enum class TIOStatus
{
    Done,       // bytes were moved (Bytes > 0), or a connection attempt has completed
    WouldBlock, // nothing can move now; wait and try again
    Closed,     // the peer closed the connection (a read returned 0 bytes)
    Failed      // Code holds the socket code of the failure
};

struct TIOResult
{
    TIOStatus Status = TIOStatus::Done;
    std::size_t Bytes = 0;
    int Code = 0;
};

enum class TWaitFor
{
    Readable,
    Writable
};

class TNetStream
{
public:
    virtual ~TNetStream() = default;

    // Starts the connection to the peer the stream was made for: Done when it is
    // already connected, WouldBlock while it is in progress (wait writable, then ask
    // ConnectResult), Failed with the code.
    virtual TIOResult StartConnect() = 0;
    // After the stream became writable: Done or Failed with the code.
    virtual TIOResult ConnectResult() = 0;

    virtual TIOResult Read(char* buffer, std::size_t size) = 0;
    virtual TIOResult Write(const char* data, std::size_t size) = 0;

    // Waits at most `limit` for the stream to become readable (data, end of stream or
    // a pending error) or writable; true when it did. Shutdown ends the wait at once.
    virtual bool Wait(TWaitFor what, std::chrono::milliseconds limit) = 0;

    // Ends the connection in both directions. Safe from any thread while another
    // thread reads, writes or waits on the stream: those calls return at once.
    virtual void Shutdown() = 0;

    // The socket descriptor, -1 when the stream has none.
    virtual int Handle() const { return -1; }

    // Whether the stream is one of several exchanges sharing one connection (an
    // HTTP/2 stream): it ends with its exchange, the connection carries on.
    virtual bool SharesConnection() const { return false; }

    // What went wrong, in more words than the code of the last Failed result says
    // ("Certificate not trusted: self-signed certificate"); empty when the code's
    // own text says it all.
    virtual std::string FailureText() const { return {}; }
};

// A non-blocking TCP client socket. The descriptor is closed on destruction, so a
// stream shared between the waiting thread and a cancelling thread stays valid
// until the last user lets go of it.
class TSocketStream final : public TNetStream
{
public:
    // Takes ownership of a non-blocking stream socket and the address to connect to.
    TSocketStream(int handle, const sockaddr_storage& peer, socklen_t peerLength);
    ~TSocketStream() override;
    TSocketStream(const TSocketStream&) = delete;
    TSocketStream& operator=(const TSocketStream&) = delete;

    TIOResult StartConnect() override;
    TIOResult ConnectResult() override;
    TIOResult Read(char* buffer, std::size_t size) override;
    TIOResult Write(const char* data, std::size_t size) override;
    bool Wait(TWaitFor what, std::chrono::milliseconds limit) override;
    void Shutdown() override;
    int Handle() const override { return m_handle; }

private:
    int m_handle;
    sockaddr_storage m_peer;
    socklen_t m_peerLength;
};

// A connection to a pretend server whose whole answer is known in advance. Reads
// hand out the answer (at most `maxPerRead` bytes per call, to try readers across
// awkward boundaries); when it is used up the stream reports the end of the
// connection, or, with `closeAtEnd` false, stays silent like a server that neither
// sends nor closes. Everything written is kept for Written(). Shutdown may come
// from another thread.
class TBufferStream final : public TNetStream
{
public:
    explicit TBufferStream(std::string answer, bool closeAtEnd = true,
                           std::size_t maxPerRead = std::numeric_limits<std::size_t>::max());

    TIOResult StartConnect() override { return {}; }
    TIOResult ConnectResult() override { return {}; }
    TIOResult Read(char* buffer, std::size_t size) override;
    TIOResult Write(const char* data, std::size_t size) override;
    bool Wait(TWaitFor what, std::chrono::milliseconds limit) override;
    void Shutdown() override;

    std::string Written() const;
    bool WasShutDown() const { return m_shutDown; }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::string m_answer;
    std::size_t m_readPosition = 0;
    bool m_closeAtEnd;
    std::size_t m_maxPerRead;
    std::string m_written;
    std::atomic<bool> m_shutDown{false};
};

// Bytes written at a position that moves past them: writing overwrites and
// extends, and a position past the end is filled with zero bytes when written.
class TByteSink
{
public:
    virtual ~TByteSink() = default;
    virtual void Write(std::string_view data) = 0;
    virtual std::int64_t Size() const = 0;
    virtual std::int64_t Position() const = 0;
    virtual void Seek(std::int64_t position) = 0;
};

// Bytes in memory with a read/write position.
class TByteStream final : public TByteSink
{
public:
    TByteStream() = default;
    explicit TByteStream(std::string bytes)
        : m_bytes(std::move(bytes))
    {
    }

    std::int64_t Size() const override { return static_cast<std::int64_t>(m_bytes.size()); }
    std::int64_t Position() const override { return static_cast<std::int64_t>(m_position); }
    void Seek(std::int64_t position) override { m_position = position < 0 ? 0 : static_cast<std::size_t>(position); }
    void Clear()
    {
        m_bytes.clear();
        m_position = 0;
    }

    void Write(std::string_view data) override;
    // Reads up to `size` bytes from the position and moves past them.
    std::string Read(std::size_t size);

    const std::string& Bytes() const { return m_bytes; }
    // Replaces the contents; the position goes to the start.
    void Assign(std::string bytes)
    {
        m_bytes = std::move(bytes);
        m_position = 0;
    }

private:
    std::string m_bytes;
    std::size_t m_position = 0;
};

} // namespace hx
