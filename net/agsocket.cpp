#include "net/agsocket.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/HXPacing.h"
#include "core/HXStrings.h"

namespace hx
{

namespace
{

// Longest host name the resolver is asked about (the limit of a DNS name).
constexpr std::size_t kMaxHostNameBytes = 253;
// Bytes asked for per receive of header lines.
constexpr std::size_t kReceiveBlock = 8192;
// Bytes asked for per receive of a body: large blocks keep the cost per byte low
// on fast connections.
constexpr std::size_t kBodyReceiveBlock = 65536;
// Bytes sent per block.
constexpr std::size_t kSendBlock = 2047;

int RoundedPercent(std::int64_t part, std::int64_t whole)
{
    if (whole <= 0)
        return 100;
    return static_cast<int>(std::llround(static_cast<double>(part) * 100.0 / static_cast<double>(whole)));
}

bool ParsePort(std::string_view text, std::uint16_t& port)
{
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int value = std::stoi(std::string(text));
    if (value <= 0 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// Splits "host:port" or "[v6 address]:port".
void SplitServer(const std::string& server, std::string& host, std::string& portText)
{
    portText.clear();
    if (!server.empty() && server.front() == '[')
    {
        const std::size_t close = server.find(']');
        host = server.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close != std::string::npos && close + 1 < server.size() && server[close + 1] == ':')
            portText = server.substr(close + 2);
        return;
    }
    const std::size_t colon = server.find(':');
    host = server.substr(0, colon);
    if (colon != std::string::npos)
        portText = server.substr(colon + 1);
}

// The address text as a socket address; false when it is not a numeric address.
bool ToSocketAddress(const std::string& text, sockaddr_storage& address, socklen_t& length)
{
    address = {};
    sockaddr_in v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4.sin_addr) == 1)
    {
        v4.sin_family = AF_INET;
        std::memcpy(&address, &v4, sizeof(v4));
        length = sizeof(v4);
        return true;
    }
    sockaddr_in6 v6{};
    if (::inet_pton(AF_INET6, text.c_str(), &v6.sin6_addr) == 1)
    {
        v6.sin6_family = AF_INET6;
        std::memcpy(&address, &v6, sizeof(v6));
        length = sizeof(v6);
        return true;
    }
    return false;
}

void SetPort(sockaddr_storage& address, std::uint16_t port)
{
    if (address.ss_family == AF_INET)
    {
        sockaddr_in v4{};
        std::memcpy(&v4, &address, sizeof(v4));
        v4.sin_port = htons(port);
        std::memcpy(&address, &v4, sizeof(v4));
    }
    else
    {
        sockaddr_in6 v6{};
        std::memcpy(&v6, &address, sizeof(v6));
        v6.sin6_port = htons(port);
        std::memcpy(&address, &v6, sizeof(v6));
    }
}

struct TAddrInfoDeleter
{
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

} // namespace

THostLookup ResolveHostName(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    errno = 0;
    const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    const int systemError = errno;
    const std::unique_ptr<addrinfo, TAddrInfoDeleter> owned(list);
    THostLookup lookup;
    if (result != 0)
    {
        lookup.ErrorCode = SocketCodeFromLookup(result, systemError);
        return lookup;
    }
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next)
    {
        char text[INET6_ADDRSTRLEN] = {};
        const void* bytes = nullptr;
        if (entry->ai_family == AF_INET)
            bytes = &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
        else if (entry->ai_family == AF_INET6)
            bytes = &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr;
        if (bytes != nullptr && ::inet_ntop(entry->ai_family, bytes, text, sizeof(text)) != nullptr)
            lookup.Addresses.emplace_back(text);
    }
    if (lookup.Addresses.empty())
        lookup.ErrorCode = 11004;
    return lookup;
}

// ---- TTimeCounter ----

void TTimeCounter::Start()
{
    m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(m_timeOut, 1));
    m_running = true;
}

bool TTimeCounter::TimedOut()
{
    if (m_running && std::chrono::steady_clock::now() >= m_deadline)
        m_timedOut = true;
    return m_timedOut;
}

std::chrono::milliseconds TTimeCounter::Remaining() const
{
    if (!m_running || m_timedOut)
        return std::chrono::milliseconds(0);
    const auto left = m_deadline - std::chrono::steady_clock::now();
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(left), std::chrono::milliseconds(0));
}

// ---- TagSocket ----

// A host lookup in flight. The lookup thread and the waiting operation share it;
// an abandoned lookup finishes on its own and nobody reads its result.
struct TagSocket::TLookupState
{
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    bool abandoned = false;
    THostLookup result;
};

TagSocket::TagSocket()
    : m_resolver(ResolveHostName)
{
    SetTimeOut(pacing::kDefaultTimeOutSeconds);
}

namespace
{

// While it lives, the time-out counter counts the connect time-out.
class TConnectCounting
{
public:
    TConnectCounting(TTimeCounter& counter, int connectTimeOut, int timeOut)
        : m_counter(counter)
        , m_timeOut(timeOut)
    {
        if (connectTimeOut > 0)
            m_counter.SetTimeOut(connectTimeOut);
    }
    ~TConnectCounting() { m_counter.SetTimeOut(m_timeOut); }
    TConnectCounting(const TConnectCounting&) = delete;
    TConnectCounting& operator=(const TConnectCounting&) = delete;

private:
    TTimeCounter& m_counter;
    int m_timeOut;
};

} // namespace

TagSocket::~TagSocket()
{
    // No events from here: the owner is going away with this object.
    AbandonLookup();
    const std::lock_guard lock(m_mutex);
    if (m_stream)
        m_stream->Shutdown();
    m_stream.reset();
}

int TagSocket::Handle() const
{
    const auto stream = CurrentStream();
    return stream ? stream->Handle() : -1;
}

void TagSocket::SetResolver(THostResolver resolver)
{
    m_resolver = resolver ? std::move(resolver) : THostResolver(ResolveHostName);
}

void TagSocket::ResetState()
{
    m_cancelled = false;
    m_counter.Reset();
    const std::lock_guard lock(m_mutex);
    m_lookup.reset();
}

int TagSocket::ReplyCode(std::string_view line)
{
    std::int32_t value = 0;
    return TryStrToInt(line.substr(0, 3), value) ? value : -1;
}

std::shared_ptr<TNetStream> TagSocket::CurrentStream() const
{
    const std::lock_guard lock(m_mutex);
    return m_stream;
}

std::shared_ptr<TNetStream> TagSocket::RequireStream()
{
    auto stream = CurrentStream();
    if (!stream)
    {
        // A cancel from another thread closes the socket under a running exchange.
        if (m_cancelled)
            CancelFailure();
        SocketError(kErrNotConnected);
    }
    return stream;
}

bool TagSocket::StopRequested()
{
    return m_cancelled || m_counter.TimedOut();
}

std::chrono::milliseconds TagSocket::Step() const
{
    const std::chrono::milliseconds step = pacing::kSocketPollStep;
    const auto remaining = m_counter.Remaining();
    return remaining > std::chrono::milliseconds(0) ? std::min(step, remaining) : step;
}

bool TagSocket::WaitReady(TNetStream& stream, TWaitFor what)
{
    while (!StopRequested())
    {
        if (stream.Wait(what, Step()))
            return true;
    }
    return false;
}

void TagSocket::PauseForData(std::chrono::milliseconds limit)
{
    const auto stream = CurrentStream();
    if (stream && m_readAhead.empty() && !m_cancelled)
        stream->Wait(TWaitFor::Readable, limit);
}

void TagSocket::Open()
{
    if (OnOpen)
        OnOpen(*this);
    if (m_server.empty())
        SocketError(kErrServerRequired);

    // A socket left open by an earlier exchange is not reused.
    Close();
    m_readAhead.clear();
    m_receivedSinceOpen = 0;
    m_address.clear();
    m_port = 0;

    std::string host;
    std::string portText;
    SplitServer(m_server, host, portText);
    m_host = host;

    char localName[512] = {};
    if (::gethostname(localName, sizeof(localName) - 1) == 0)
        m_localHost = localName;
    else
        m_localHost = host;

    if (m_streamFactory)
    {
        auto stream = m_streamFactory();
        if (!stream)
            SocketError(SocketCodeFromErrno(ENOTSOCK));
        stream = LayerStream(std::move(stream));
        const std::lock_guard lock(m_mutex);
        m_stream = std::move(stream);
        return;
    }

    sockaddr_storage address{};
    socklen_t length = 0;
    LookUpHost(host, address, length);
    LookUpPort(portText);
    SetPort(address, m_port);
    if (auto shared = SharedStream())
    {
        const std::lock_guard lock(m_mutex);
        m_stream = std::move(shared);
        return;
    }

    const int handle = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle < 0)
        SocketError(SocketCodeFromErrno(errno));
    std::shared_ptr<TNetStream> stream;
    try
    {
        stream = std::make_shared<TSocketStream>(handle, address, length);
    }
    catch (...)
    {
        ::close(handle);
        throw;
    }
    stream = LayerStream(std::move(stream));
    const std::lock_guard lock(m_mutex);
    m_stream = std::move(stream);
}

void TagSocket::LookUpHost(const std::string& host, sockaddr_storage& address, socklen_t& length)
{
    std::string text;
    if (ToSocketAddress(host, address, length))
    {
        text = host;
    }
    else
    {
        THostLookup lookup;
        if (host.size() > kMaxHostNameBytes)
            lookup.ErrorCode = kSockHostNotFound;
        else
            lookup = WaitForLookup(host);
        if (OnHostFound)
            OnHostFound(*this);
        if (lookup.ErrorCode != 0)
            SocketError(lookup.ErrorCode);
        // IPv4 first, as the crawl always did; an IPv6 address only for a host without one.
        const auto v4 =
            std::find_if(lookup.Addresses.begin(), lookup.Addresses.end(),
                         [](const std::string& candidate) { return candidate.find(':') == std::string::npos; });
        if (v4 != lookup.Addresses.end())
            text = *v4;
        else if (!lookup.Addresses.empty())
            text = lookup.Addresses.front();
        else
            SocketError(11004);
        if (!ToSocketAddress(text, address, length))
            SocketError(kErrResolvingHost);
    }
    m_address = text;
}

THostLookup TagSocket::WaitForLookup(const std::string& host)
{
    auto state = std::make_shared<TLookupState>();
    {
        const std::lock_guard lock(m_mutex);
        m_lookup = state;
    }
    const TConnectCounting counting(m_counter, m_connectTimeOut, m_timeOut);
    m_counter.Start();
    try
    {
        // The lookup thread owns copies of everything it touches, so it may outlive
        // this object when the lookup is cancelled or times out.
        std::thread(
            [state, resolver = m_resolver, host]
            {
                THostLookup result;
                try
                {
                    result = resolver(host);
                }
                catch (...)
                {
                    result.ErrorCode = 11003;
                }
                {
                    const std::lock_guard lock(state->mutex);
                    state->result = std::move(result);
                    state->finished = true;
                }
                state->changed.notify_all();
            })
            .detach();
    }
    catch (const std::system_error&)
    {
        // No thread to be had: look up here, without the chance to cancel.
        state->result = m_resolver(host);
        state->finished = true;
    }

    THostLookup result;
    bool finished = false;
    {
        std::unique_lock lock(state->mutex);
        while (!state->finished && !state->abandoned && !StopRequested())
            state->changed.wait_for(lock, Step());
        finished = state->finished;
        if (finished)
            result = std::move(state->result);
    }
    {
        const std::lock_guard lock(m_mutex);
        if (m_lookup == state)
            m_lookup.reset();
    }
    m_counter.Stop();
    if (m_cancelled || (!finished && !m_counter.TimedOut()))
        CancelFailure();
    if (!finished)
        TimeOutFailure();
    return result;
}

void TagSocket::AbandonLookup()
{
    std::shared_ptr<TLookupState> state;
    {
        const std::lock_guard lock(m_mutex);
        state = std::move(m_lookup);
    }
    if (!state)
        return;
    {
        const std::lock_guard lock(state->mutex);
        state->abandoned = true;
    }
    state->changed.notify_all();
}

void TagSocket::LookUpPort(const std::string& portText)
{
    std::uint16_t port = 0;
    if (ParsePort(portText, port))
    {
        m_port = port;
        return;
    }
    if (m_service.empty())
        SocketError(kErrServiceRequired);
    if (m_cancelled)
        CancelFailure();
    // The services database is a local file: the lookup does not wait on the network.
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    const int result = ::getservbyname_r(m_service.c_str(), "tcp", &entry, buffer, sizeof(buffer), &found);
    if (OnServiceFound)
        OnServiceFound(*this);
    if (m_cancelled)
        CancelFailure();
    m_port = result == 0 && found != nullptr ? ntohs(static_cast<std::uint16_t>(found->s_port)) : m_defaultPort;
}

void TagSocket::Connect()
{
    if (m_cancelled)
        CancelFailure();
    try
    {
        MakeConnection();
    }
    catch (const ESocketError& error)
    {
        if (!m_cancelled && error.Code() != kErrCanceled && OnConnectOutcome)
            OnConnectOutcome(*this, error.Code(), error.what());
        throw;
    }
    if (OnConnectOutcome)
        OnConnectOutcome(*this, 0, std::string());
    if (OnConnected)
        OnConnected(*this);
}

void TagSocket::MakeConnection()
{
    const auto stream = CurrentStream();
    if (!stream)
        SocketError(SocketCodeFromErrno(ENOTSOCK));
    const TConnectCounting counting(m_counter, m_connectTimeOut, m_timeOut);
    m_counter.Start();
    TIOResult result = stream->StartConnect();
    for (;;)
    {
        if (result.Status == TIOStatus::Failed)
        {
            if (m_cancelled)
                CancelFailure();
            SocketError(result.Code, stream->FailureText());
        }
        if (result.Status != TIOStatus::WouldBlock || !WaitReady(*stream, TWaitFor::Writable))
            break;
        result = stream->ConnectResult();
    }
    m_counter.Stop();
    if (m_cancelled)
        CancelFailure();
    if (result.Status != TIOStatus::Done)
        TimeOutFailure();
}

void TagSocket::SendStream(TByteStream& source)
{
    const auto stream = RequireStream();
    source.Seek(0);
    const std::int64_t size = source.Size();
    for (;;)
    {
        const std::string block = source.Read(kSendBlock);
        m_counter.Start();
        std::size_t sent = 0;
        while (sent < block.size() && !StopRequested())
        {
            const TIOResult result = stream->Write(block.data() + sent, block.size() - sent);
            if (result.Status == TIOStatus::Done && result.Bytes > 0)
            {
                sent += result.Bytes;
                m_counter.Start();
                continue;
            }
            if (result.Status == TIOStatus::Failed)
            {
                if (m_cancelled)
                    break;
                SocketError(result.Code);
            }
            stream->Wait(TWaitFor::Writable, Step());
        }
        m_counter.Stop();
        if (OnProgress)
            OnProgress(*this, RoundedPercent(source.Position(), size), source.Position());
        if (block.size() < kSendBlock || m_cancelled || m_counter.TimedOut())
            break;
    }
    if (m_counter.TimedOut())
        TimeOutFailure();
    if (m_cancelled)
        CancelFailure();
    if (OnProgress)
        OnProgress(*this, 0, 0);
}

bool TagSocket::ReceiveMore(TNetStream& stream)
{
    char buffer[kReceiveBlock];
    const TIOResult result = stream.Read(buffer, sizeof(buffer));
    switch (result.Status)
    {
    case TIOStatus::Done:
        m_readAhead.append(buffer, result.Bytes);
        m_receivedSinceOpen += static_cast<std::int64_t>(result.Bytes);
        return true;
    case TIOStatus::WouldBlock:
        return true;
    case TIOStatus::Closed:
        return false;
    case TIOStatus::Failed:
        if (!m_cancelled)
            SocketError(result.Code, stream.FailureText());
        return false;
    }
    return false;
}

int TagSocket::ReadLine(std::string& line)
{
    line.clear();
    const auto stream = RequireStream();
    m_counter.Start();
    if (m_readAhead.empty() && !WaitReady(*stream, TWaitFor::Readable))
    {
        m_counter.Stop();
        if (m_cancelled)
            CancelFailure();
        TimeOutFailure();
    }

    // The first bytes are here; the rest of the line gets a time-out of its own.
    m_counter.Start();
    std::size_t lineEnd = std::string::npos;
    for (;;)
    {
        lineEnd = m_readAhead.find('\n');
        if (lineEnd != std::string::npos || m_readAhead.size() > kMaxLineBytes)
            break;
        if (StopRequested())
            break;
        const std::size_t before = m_readAhead.size();
        if (!ReceiveMore(*stream))
            break;
        if (m_readAhead.size() == before)
            stream->Wait(TWaitFor::Readable, Step());
    }
    m_counter.Stop();
    if ((lineEnd == std::string::npos && m_readAhead.size() > kMaxLineBytes) ||
        (lineEnd != std::string::npos && lineEnd >= kMaxLineBytes))
        SocketError(kErrLineTooLong);

    int result = -1;
    m_lastLineEnd = m_readAhead.empty() ? TLineEnd::ClosedBetweenLines : TLineEnd::ClosedInsideLine;
    if (lineEnd != std::string::npos)
    {
        m_lastLineEnd = TLineEnd::Ended;
        line.assign(m_readAhead, 0, lineEnd + 1);
        m_readAhead.erase(0, lineEnd + 1);
        if (m_receiveTap != nullptr)
            m_receiveTap->Received(line, false);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        result = ReplyCode(line);
    }
    if (m_counter.TimedOut())
        TimeOutFailure();
    if (m_cancelled)
        CancelFailure();
    return result;
}

std::int64_t TagSocket::ReadData(TByteSink& target, std::int64_t count)
{
    struct TReceiving
    {
        std::atomic<bool>& flag;
        explicit TReceiving(std::atomic<bool>& f)
            : flag(f)
        {
            flag = true;
        }
        ~TReceiving() { flag = false; }
        TReceiving(const TReceiving&) = delete;
        TReceiving& operator=(const TReceiving&) = delete;
    } receiving(m_receivingData);
    if (OnProgress)
        OnProgress(*this, 0, 0);
    const auto stream = RequireStream();
    // Nothing to receive: no wait for bytes that are not coming.
    if (count == 0)
    {
        if (OnClosed)
            OnClosed(*this);
        return 0;
    }

    m_counter.Start();
    if (m_readAhead.empty() && !WaitReady(*stream, TWaitFor::Readable))
    {
        m_counter.Stop();
        if (m_cancelled)
            CancelFailure();
        TimeOutFailure();
    }

    // The time-out counts silence: restarted whenever bytes arrive, so a body that
    // keeps trickling in never times out.
    m_counter.Start();
    std::int64_t received = 0;
    std::vector<char> buffer(kBodyReceiveBlock);
    for (;;)
    {
        std::size_t wanted = m_rateLimit != nullptr ? m_rateLimit->ReceiveBlock(kBodyReceiveBlock) : kBodyReceiveBlock;
        if (count > 0)
            wanted =
                static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(wanted), count - received));
        std::size_t got = 0;
        bool closed = false;
        if (!m_readAhead.empty())
        {
            got = std::min(wanted, m_readAhead.size());
            target.Write(std::string_view(m_readAhead).substr(0, got));
            if (m_receiveTap != nullptr)
                m_receiveTap->Received(std::string_view(m_readAhead).substr(0, got), true);
            m_readAhead.erase(0, got);
        }
        else
        {
            const TIOResult result = stream->Read(buffer.data(), wanted);
            if (result.Status == TIOStatus::Done)
            {
                got = result.Bytes;
                m_receivedSinceOpen += static_cast<std::int64_t>(got);
                target.Write(std::string_view(buffer.data(), got));
                if (m_receiveTap != nullptr)
                    m_receiveTap->Received(std::string_view(buffer.data(), got), true);
                // Under a cap the slot waits here until the run may receive again;
                // the silence time-out starts after the wait.
                if (m_rateLimit != nullptr)
                    m_rateLimit->Take(static_cast<std::int64_t>(got), [this] { return m_cancelled.load(); });
            }
            else if (result.Status == TIOStatus::Closed)
            {
                closed = true;
            }
            else if (result.Status == TIOStatus::Failed)
            {
                if (!m_cancelled)
                    SocketError(result.Code, stream->FailureText());
                closed = true;
            }
        }
        if (got > 0)
        {
            received += static_cast<std::int64_t>(got);
            m_counter.Start();
            if (OnProgress)
                OnProgress(*this, count > 0 ? RoundedPercent(target.Position(), count) : -1, received);
        }
        if (closed || (count > 0 && received >= count) || StopRequested())
            break;
        // The pause between two receives ends early when the next bytes arrive.
        if (m_readAhead.empty())
            stream->Wait(TWaitFor::Readable, std::min<std::chrono::milliseconds>(pacing::kSocketReceivePause, Step()));
    }
    m_counter.Stop();
    if (m_cancelled)
        CancelFailure();
    if (m_counter.TimedOut())
        TimeOutFailure();
    if (OnClosed)
        OnClosed(*this);
    return received;
}

void TagSocket::Close()
{
    std::shared_ptr<TNetStream> stream;
    {
        const std::lock_guard lock(m_mutex);
        stream = std::move(m_stream);
    }
    if (!stream)
        return;
    if (OnClosing)
        OnClosing(*this);
    // Another thread may still be waiting on the stream: shutting it down wakes that
    // wait, and the descriptor is closed when the last user lets go.
    stream->Shutdown();
    stream.reset();
    if (OnClosed)
        OnClosed(*this);
}

bool TagSocket::StreamShared() const
{
    const auto stream = CurrentStream();
    return stream && stream->SharesConnection();
}

bool TagSocket::StreamIdle()
{
    const auto stream = CurrentStream();
    if (!stream)
        return false;
    bool idle = m_readAhead.empty();
    if (idle && stream->Wait(TWaitFor::Readable, std::chrono::milliseconds(0)))
    {
        // Readable while nothing was asked: the peer closed, failed or sent bytes of
        // its own. A secure stream may only have had records of the protocol to
        // take (no bytes for us): then it still waits, and the connection is fine.
        char probe[256];
        idle = stream->Read(probe, sizeof(probe)).Status == TIOStatus::WouldBlock;
    }
    if (!idle)
        Close();
    return idle;
}

void TagSocket::Cancel()
{
    m_cancelled = true;
    if (OnCancel)
        OnCancel(*this);
    AbandonLookup();
    Close();
}

void TagSocket::SocketError(int code)
{
    SocketError(code, std::string());
}

void TagSocket::SocketError(int code, const std::string& text)
{
    if (code == 0)
        return;
    m_counter.Stop();
    std::string message = text.empty() ? SocketErrorText(code) : text;
    if (OnError)
        OnError(*this, message);
    if (code == kSockConnectionReset)
        Close();
    throw ESocketError(code, message);
}

void TagSocket::TimeOutFailure()
{
    m_counter.Stop();
    std::string message = SocketErrorText(kErrTimedOut);
    if (OnError)
        OnError(*this, message);
    AbandonLookup();
    Close();
    throw ETimedOutError(SocketErrorText(kErrTimedOut));
}

void TagSocket::CancelFailure()
{
    m_counter.Stop();
    std::string message = SocketErrorText(kErrCanceled);
    if (OnError)
        OnError(*this, message);
    throw ECanceledError(SocketErrorText(kErrCanceled));
}

} // namespace hx
