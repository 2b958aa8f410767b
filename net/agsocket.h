#pragma once

// TagSocket: the TCP client socket underneath the HTTP client. It resolves the
// server's name and port, connects, sends a stream, reads LF-terminated lines and
// counted or open-ended stretches of bytes, closes and cancels. Every wait is
// bounded by TimeOut seconds and notices Cancel within one polling step; every
// failure goes one way: OnError sees the message first (and may change it), then
// an exception carries it (ESocketError, ETimedOutError, ECanceledError).
//
// Threads: the operations run on one thread (a transfer thread) and fire their
// events there. Cancel and Close may be called from any other thread while an
// operation waits; they fire OnCancel, OnClosing and OnClosed on the calling
// thread. Properties and event handlers are set before an exchange, not during it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "net/agsocketcodes.h"
#include "net/agsocketstream.h"
#include "net/HXRateLimit.h"

namespace hx
{

// Longest line ReadLine accepts, line end included.
inline constexpr std::size_t kMaxLineBytes = 16384;

// Sees every byte the socket's read operations take from the connection, in
// order: lines with their line ends as received, and the stretches ReadData
// hands out (`data`). What a closed connection cut off inside a line is not taken.
class TReceiveTap
{
public:
    virtual ~TReceiveTap() = default;
    virtual void Received(std::string_view bytes, bool data) = 0;
};

// ---- Exceptions ----

// A socket failure with its code and message. The time-out and the cancel
// failures are kinds of it, so one catch takes every failure of an exchange.
class ESocketError : public std::runtime_error
{
public:
    ESocketError(int code, const std::string& message)
        : std::runtime_error(message)
        , m_code(code)
    {
    }
    int Code() const { return m_code; }

private:
    int m_code;
};

class ETimedOutError : public ESocketError
{
public:
    explicit ETimedOutError(const std::string& message)
        : ESocketError(kErrTimedOut, message)
    {
    }
};

class ECanceledError : public ESocketError
{
public:
    explicit ECanceledError(const std::string& message)
        : ESocketError(kErrCanceled, message)
    {
    }
};

// ---- Host lookup ----

// The outcome of a host name lookup: ErrorCode 0 and the numeric addresses
// (IPv4 and IPv6 text, in the resolver's order), or a socket code.
struct THostLookup
{
    int ErrorCode = 0;
    std::vector<std::string> Addresses;
};

// Looks a host name up; runs on a lookup thread of its own, so it may block.
using THostResolver = std::function<THostLookup(const std::string& host)>;

// The system resolver (getaddrinfo).
THostLookup ResolveHostName(const std::string& host);

// ---- Time-out counter ----

// Counts TimeOut seconds from Start against the steady clock. Once the time is
// up the timed-out flag stays set until Reset. A time-out below one second
// counts as one second, as a count that is checked once a second would.
class TTimeCounter
{
public:
    int TimeOut() const { return m_timeOut; }
    void SetTimeOut(int seconds) { m_timeOut = seconds; }

    void Start();
    void Stop() { m_running = false; }
    void Reset()
    {
        m_running = false;
        m_timedOut = false;
    }
    // True once the count ran out (checked against the clock while running).
    bool TimedOut();
    // Time left until the count runs out; zero when stopped or run out.
    std::chrono::milliseconds Remaining() const;

private:
    int m_timeOut = 60;
    bool m_running = false;
    bool m_timedOut = false;
    std::chrono::steady_clock::time_point m_deadline{};
};

// ---- The socket component ----

class TagSocket
{
public:
    using TNotifyEvent = std::function<void(TagSocket& sender)>;
    using TmsProgressEvent = std::function<void(TagSocket& sender, int perc, std::int64_t transferred)>;
    using TmsErrorEvent = std::function<void(TagSocket& sender, std::string& message)>;
    // Makes the transport of one exchange instead of a TCP socket (see Open).
    using TStreamFactory = std::function<std::shared_ptr<TNetStream>()>;
    // The outcome of making a connection: code 0 once it is made (the secure
    // handshake included), else the failure's code and message. Not fired for a cancel.
    using TConnectOutcomeEvent = std::function<void(TagSocket& sender, int code, const std::string& message)>;

    TagSocket();
    virtual ~TagSocket();
    TagSocket(const TagSocket&) = delete;
    TagSocket& operator=(const TagSocket&) = delete;

    // Events, fired in the order of the operations below.
    TNotifyEvent OnOpen;
    TNotifyEvent OnHostFound;
    TNotifyEvent OnServiceFound;
    TNotifyEvent OnConnected;
    TNotifyEvent OnClosing;
    TNotifyEvent OnClosed;
    TNotifyEvent OnCancel;
    TmsProgressEvent OnProgress;
    TmsErrorEvent OnError;
    TConnectOutcomeEvent OnConnectOutcome;

    // Host name or address, optionally ":port" ("[v6 address]:port" for IPv6).
    const std::string& Server() const { return m_server; }
    void SetServer(std::string server) { m_server = std::move(server); }
    // Service name whose port is used when Server carries none.
    const std::string& Service() const { return m_service; }
    void SetService(std::string service) { m_service = std::move(service); }
    void SetDefaultPort(std::uint16_t port) { m_defaultPort = port; }
    int TimeOut() const { return m_timeOut; }
    void SetTimeOut(int seconds)
    {
        m_timeOut = seconds;
        m_counter.SetTimeOut(seconds);
    }
    // Bounds the host lookup and the making of the connection (TCP, then the secure
    // handshake and a proxy's tunnel) apart from TimeOut; 0: TimeOut bounds them too.
    int ConnectTimeOut() const { return m_connectTimeOut; }
    void SetConnectTimeOut(int seconds) { m_connectTimeOut = seconds; }
    // The bandwidth cap the body bytes ReadData receives draw from (shared by the
    // run's slots); null for none. Not owned; set between operations only.
    void SetRateLimit(THXRateLimit* limit) { m_rateLimit = limit; }

    // What Open found: the host part of Server, the address as text, the port, the
    // local host name.
    const std::string& Host() const { return m_host; }
    const std::string& Address() const { return m_address; }
    std::uint16_t Port() const { return m_port; }
    const std::string& LocalHost() const { return m_localHost; }
    // The socket descriptor, -1 when none is open.
    int Handle() const;
    bool Cancelled() const { return m_cancelled; }
    // True while ReadData receives (its progress events count received bytes; the
    // others count bytes sent).
    bool ReceivingData() const { return m_receivingData; }

    // The tap the read operations show their bytes to; null for none. Not owned;
    // set between operations only.
    void SetReceiveTap(TReceiveTap* tap) { m_receiveTap = tap; }

    // Replaces the system resolver (tests use one they control).
    void SetResolver(THostResolver resolver);
    // When set, Open takes the transport from the factory instead of looking up
    // Server and creating a socket; Connect then only checks for a cancel.
    void SetStreamFactory(TStreamFactory factory) { m_streamFactory = std::move(factory); }

    // Clears the cancelled and timed-out flags and forgets a pending lookup; called
    // at the start of every exchange.
    virtual void ResetState();
    // The first three characters as a number, -1 when they are not one.
    virtual int ReplyCode(std::string_view line);
    // Looks up host and port and creates the socket.
    virtual void Open();
    void Connect();
    // Sends the whole stream from its start.
    void SendStream(TByteStream& stream);
    // Reads one line; the line end (every trailing CR and LF) is removed. Returns
    // the line's ReplyCode; -1 and an empty line when the connection closed first.
    int ReadLine(std::string& line);
    // How the last ReadLine ended: with its line end, or with the connection closed
    // before it, between two lines or inside one (those bytes are not taken as a line).
    enum class TLineEnd
    {
        Ended,
        ClosedBetweenLines,
        ClosedInsideLine
    };
    TLineEnd LastLineEnd() const { return m_lastLineEnd; }
    // Writes received bytes to the stream at its position: exactly `count` bytes
    // (fewer when the server closes first), or everything until the server closes
    // when `count` is negative. Returns how many were received.
    std::int64_t ReadData(TByteSink& stream, std::int64_t count);
    virtual void Close();
    // Whether a connection is open (made by Open and not closed since).
    bool StreamOpen() const { return CurrentStream() != nullptr; }
    // Whether the open connection can carry another request: nothing unread is
    // waiting on it and the peer has neither closed it nor sent anything unasked.
    // A connection found otherwise is closed. Operation thread.
    bool StreamIdle();
    // Whether the open connection is a stream of a connection shared with other
    // exchanges (see TNetStream::SharesConnection). Operation thread.
    bool StreamShared() const;
    // Bytes received on the connection since Open. Operation thread.
    std::int64_t ReceivedSinceOpen() const { return m_receivedSinceOpen; }
    // Whether received bytes are waiting that no operation has taken yet.
    bool HasUnreadBytes() const { return !m_readAhead.empty(); }
    // Ends the current operation with ECanceledError and closes the socket. Any thread.
    virtual void Cancel();
    // Reports a failure: OnError with the code's text, the socket closed on a
    // reset, then ESocketError. A code of 0 does nothing.
    void SocketError(int code);
    // The same with a text of its own instead of the code's (the code's text when empty).
    void SocketError(int code, const std::string& text);

protected:
    // Puts the layers an exchange needs over the transport Open made (a tunnel
    // through the proxy, TLS); Connect then connects them all. The plain socket
    // component adds none.
    virtual std::shared_ptr<TNetStream> LayerStream(std::shared_ptr<TNetStream> transport) { return transport; }
    // A stream over a connection that is already there (shared with other
    // exchanges), asked for by Open once the server's address is known; null: Open
    // makes a connection of its own. The plain socket component has none.
    virtual std::shared_ptr<TNetStream> SharedStream() { return nullptr; }

    [[noreturn]] void TimeOutFailure();
    [[noreturn]] void CancelFailure();
    // Pauses up to `limit`, ended early by arriving bytes or a cancel.
    void PauseForData(std::chrono::milliseconds limit);

private:
    struct TLookupState;

    std::shared_ptr<TNetStream> CurrentStream() const;
    std::shared_ptr<TNetStream> RequireStream();
    void LookUpHost(const std::string& host, sockaddr_storage& address, socklen_t& length);
    void LookUpPort(const std::string& portText);
    THostLookup WaitForLookup(const std::string& host);
    // The connection's part of Connect; Connect reports its outcome.
    void MakeConnection();
    void AbandonLookup();
    // One polling step of a wait: up to the poll step, never past the time-out.
    std::chrono::milliseconds Step() const;
    // Waits until the stream is ready, the time-out runs out or a cancel comes;
    // true when ready.
    bool WaitReady(TNetStream& stream, TWaitFor what);
    // Fills the read-ahead buffer with what one receive gives; false when the
    // connection closed. A failure goes to SocketError unless cancelled.
    bool ReceiveMore(TNetStream& stream);
    bool StopRequested();

    std::string m_server;
    std::string m_service;
    std::uint16_t m_defaultPort = 0;
    std::string m_host;
    std::string m_address;
    std::uint16_t m_port = 0;
    std::string m_localHost;

    TTimeCounter m_counter;
    int m_timeOut = 0;
    int m_connectTimeOut = 0;
    THXRateLimit* m_rateLimit = nullptr;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_receivingData{false};
    THostResolver m_resolver;
    TStreamFactory m_streamFactory;

    // Guards the stream pointer and the pending lookup, which Cancel and Close
    // reach from other threads.
    mutable std::mutex m_mutex;
    std::shared_ptr<TNetStream> m_stream;
    std::shared_ptr<TLookupState> m_lookup;

    // Bytes received but not yet handed out (operation thread only).
    std::string m_readAhead;
    std::int64_t m_receivedSinceOpen = 0;
    TLineEnd m_lastLineEnd = TLineEnd::Ended;
    TReceiveTap* m_receiveTap = nullptr;
};

} // namespace hx
