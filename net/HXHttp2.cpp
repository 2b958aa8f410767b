#include "net/HXHttp2.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <utility>

#include <nghttp2/nghttp2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "core/HXStrings.h"
#include "net/agsocketcodes.h"
#include "net/agtlsstream.h"

namespace hx
{

namespace
{

// How long the session thread sleeps when nothing happens; a wake-up ends it early.
constexpr int kSessionPollMs = 1000;
constexpr std::size_t kSessionReadBlock = 64 * 1024;

// Request header fields that belong to an HTTP/1.1 connection, not to an HTTP/2
// stream (the protocol forbids them there), and Host, which becomes :authority.
bool ConnectionField(std::string_view name)
{
    for (const std::string_view field :
         {"connection", "keep-alive", "proxy-connection", "transfer-encoding", "upgrade", "host", "te"})
        if (name == field)
            return true;
    return false;
}

} // namespace

std::string_view ReasonPhrase(int status)
{
    switch (status)
    {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 202:
        return "Accepted";
    case 203:
        return "Non-Authoritative Information";
    case 204:
        return "No Content";
    case 205:
        return "Reset Content";
    case 206:
        return "Partial Content";
    case 300:
        return "Multiple Choices";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 406:
        return "Not Acceptable";
    case 407:
        return "Proxy Authentication Required";
    case 408:
        return "Request Timeout";
    case 410:
        return "Gone";
    case 412:
        return "Precondition Failed";
    case 413:
        return "Content Too Large";
    case 414:
        return "URI Too Long";
    case 415:
        return "Unsupported Media Type";
    case 416:
        return "Range Not Satisfiable";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "";
    }
}

// ---- One exchange's stream, as the session keeps it ----

struct THXHttp2StreamState
{
    std::int32_t Id = -1;
    // The answer in HTTP/1.1 form, not yet read from ReadAt on; body bytes begin at
    // BodyAt (0 once the header block has been read).
    std::string Answer;
    std::size_t ReadAt = 0;
    std::size_t BodyAt = 0;
    // Body bytes received that the flow-control window still counts as unread.
    std::size_t Unconsumed = 0;
    int Status = 0;
    std::string Fields;
    bool HeadersDone = false;
    bool RemoteEnded = false;
    bool Closed = false;
    bool Failed = false;
    std::string FailureText;
    // The exchange let go of the stream: later bytes are dropped.
    bool Released = false;
    std::string RequestBody;
    std::size_t BodySent = 0;
};

// ---- The session: one TLS connection speaking HTTP/2 ----

class THXHttp2Session : public std::enable_shared_from_this<THXHttp2Session>
{
public:
    explicit THXHttp2Session(std::shared_ptr<TTLSStream> connection);
    ~THXHttp2Session();
    THXHttp2Session(const THXHttp2Session&) = delete;
    THXHttp2Session& operator=(const THXHttp2Session&) = delete;

    // Whether new streams may start on it (no GOAWAY, no failure).
    bool Accepting() const
    {
        const std::lock_guard lock(m_mutex);
        return !m_goingAway && !m_dead;
    }
    std::shared_ptr<TNetStream> OpenStream();

    // The stream's side, from the exchange's thread.
    void Submit(const std::shared_ptr<THXHttp2StreamState>& state, const std::string& request);
    TIOResult Read(THXHttp2StreamState& state, char* buffer, std::size_t size);
    bool WaitReadable(THXHttp2StreamState& state, std::chrono::milliseconds limit);
    void Release(THXHttp2StreamState& state);
    std::string FailureText(const THXHttp2StreamState& state) const
    {
        const std::lock_guard lock(m_mutex);
        return state.FailureText;
    }

private:
    void Run();
    // Everything nghttp2 has to send, into m_outgoing; false when the session failed.
    bool CollectOutgoing();
    void Fail(const std::string& text);
    void Wake();

    static int OnBeginHeaders(nghttp2_session* session, const nghttp2_frame* frame, void* self);
    static int OnHeader(nghttp2_session* session, const nghttp2_frame* frame, const std::uint8_t* name,
                        std::size_t nameLength, const std::uint8_t* value, std::size_t valueLength, std::uint8_t flags,
                        void* self);
    static int OnFrame(nghttp2_session* session, const nghttp2_frame* frame, void* self);
    static int OnData(nghttp2_session* session, std::uint8_t flags, std::int32_t streamId, const std::uint8_t* data,
                      std::size_t length, void* self);
    static int OnStreamClose(nghttp2_session* session, std::int32_t streamId, std::uint32_t errorCode, void* self);
    static ssize_t ReadRequestBody(nghttp2_session* session, std::int32_t streamId, std::uint8_t* buffer,
                                   std::size_t length, std::uint32_t* flags, nghttp2_data_source* source, void* self);

    THXHttp2StreamState* StateOf(std::int32_t streamId) const;

    std::shared_ptr<TTLSStream> m_connection;
    int m_wake = -1;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    nghttp2_session* m_session = nullptr;
    std::map<std::int32_t, std::shared_ptr<THXHttp2StreamState>> m_streams;
    bool m_goingAway = false;
    bool m_dead = false;
    std::atomic<bool> m_stop{false};
    // Session thread only: bytes nghttp2 gave to send that the connection has not taken.
    std::string m_outgoing;
    std::thread m_thread;
};

namespace
{

// The exchange's view of its stream.
class THXHttp2Stream final : public TNetStream
{
public:
    explicit THXHttp2Stream(std::shared_ptr<THXHttp2Session> session)
        : m_session(std::move(session))
        , m_state(std::make_shared<THXHttp2StreamState>())
    {
    }
    ~THXHttp2Stream() override { m_session->Release(*m_state); }
    THXHttp2Stream(const THXHttp2Stream&) = delete;
    THXHttp2Stream& operator=(const THXHttp2Stream&) = delete;

    TIOResult StartConnect() override { return {}; }
    TIOResult ConnectResult() override { return {}; }
    TIOResult Read(char* buffer, std::size_t size) override { return m_session->Read(*m_state, buffer, size); }
    TIOResult Write(const char* data, std::size_t size) override
    {
        if (m_submitted)
            return {TIOStatus::Done, size, 0};
        m_request.append(data, size);
        // The request goes once its header block and the body its length announces are here.
        const std::size_t end = m_request.find("\r\n\r\n");
        if (end != std::string::npos)
        {
            std::size_t bodyLength = 0;
            const std::string block = LowerCase(std::string_view(m_request).substr(0, end + 2));
            const std::size_t at = block.find("\r\ncontent-length:");
            std::int64_t length = 0;
            if (at != std::string::npos &&
                TryStrToInt64(Trim(block.substr(at + 17, block.find("\r\n", at + 2) - at - 17)), length) && length > 0)
                bodyLength = static_cast<std::size_t>(length);
            if (m_request.size() >= end + 4 + bodyLength)
            {
                m_submitted = true;
                m_session->Submit(m_state, m_request.substr(0, end + 4 + bodyLength));
            }
        }
        return {TIOStatus::Done, size, 0};
    }
    bool Wait(TWaitFor what, std::chrono::milliseconds limit) override
    {
        return what == TWaitFor::Writable || m_session->WaitReadable(*m_state, limit);
    }
    void Shutdown() override { m_session->Release(*m_state); }
    bool SharesConnection() const override { return true; }
    std::string FailureText() const override { return m_session->FailureText(*m_state); }

private:
    std::shared_ptr<THXHttp2Session> m_session;
    std::shared_ptr<THXHttp2StreamState> m_state;
    std::string m_request;
    bool m_submitted = false;
};

} // namespace

THXHttp2Session::THXHttp2Session(std::shared_ptr<TTLSStream> connection)
    : m_connection(std::move(connection))
{
    nghttp2_session_callbacks* callbacks = nullptr;
    nghttp2_option* option = nullptr;
    if (nghttp2_session_callbacks_new(&callbacks) != 0 || nghttp2_option_new(&option) != 0)
        throw std::bad_alloc();
    nghttp2_session_callbacks_set_on_begin_headers_callback(callbacks, OnBeginHeaders);
    nghttp2_session_callbacks_set_on_header_callback(callbacks, OnHeader);
    nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, OnFrame);
    nghttp2_session_callbacks_set_on_data_chunk_recv_callback(callbacks, OnData);
    nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, OnStreamClose);
    // The window opens again as the slots take their bytes, not as they arrive.
    nghttp2_option_set_no_auto_window_update(option, 1);
    const int made = nghttp2_session_client_new2(&m_session, callbacks, this, option);
    nghttp2_session_callbacks_del(callbacks);
    nghttp2_option_del(option);
    if (made != 0)
        throw std::bad_alloc();
    const nghttp2_settings_entry settings[] = {
        {NGHTTP2_SETTINGS_ENABLE_PUSH, 0},
        {NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, static_cast<std::uint32_t>(kHttp2StreamWindow)},
    };
    nghttp2_submit_settings(m_session, NGHTTP2_FLAG_NONE, settings, std::size(settings));
    nghttp2_session_set_local_window_size(m_session, NGHTTP2_FLAG_NONE, 0, kHttp2ConnectionWindow);
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_thread = std::thread([this] { Run(); });
}

THXHttp2Session::~THXHttp2Session()
{
    m_stop = true;
    Wake();
    if (m_thread.joinable())
        m_thread.join();
    m_connection->Shutdown();
    nghttp2_session_del(m_session);
    if (m_wake >= 0)
        ::close(m_wake);
}

std::shared_ptr<TNetStream> THXHttp2Session::OpenStream()
{
    return std::make_shared<THXHttp2Stream>(shared_from_this());
}

void THXHttp2Session::Wake()
{
    if (m_wake >= 0)
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof(one));
    }
}

THXHttp2StreamState* THXHttp2Session::StateOf(std::int32_t streamId) const
{
    return static_cast<THXHttp2StreamState*>(nghttp2_session_get_stream_user_data(m_session, streamId));
}

void THXHttp2Session::Submit(const std::shared_ptr<THXHttp2StreamState>& state, const std::string& request)
{
    // "METHOD target HTTP/1.1", then "Name: value" lines, an empty line, the body.
    const std::size_t headEnd = request.find("\r\n\r\n");
    std::vector<std::pair<std::string, std::string>> fields;
    const std::size_t firstEnd = request.find("\r\n");
    const std::string requestLine = request.substr(0, firstEnd);
    const std::size_t space = requestLine.find(' ');
    const std::size_t lastSpace = requestLine.rfind(' ');
    fields.emplace_back(":method", requestLine.substr(0, space));
    fields.emplace_back(":scheme", "https");
    fields.emplace_back(":authority", std::string());
    fields.emplace_back(":path", lastSpace > space ? requestLine.substr(space + 1, lastSpace - space - 1) : "/");
    std::size_t at = firstEnd + 2;
    while (at < headEnd + 2)
    {
        const std::size_t end = request.find("\r\n", at);
        const std::string line = request.substr(at, end - at);
        at = end + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = LowerCase(Trim(line.substr(0, colon)));
        std::string value = Trim(line.substr(colon + 1));
        if (name == "host")
            fields[2].second = value;
        if (!ConnectionField(name))
            fields.emplace_back(name, std::move(value));
    }
    std::vector<nghttp2_nv> headers;
    headers.reserve(fields.size());
    for (auto& [name, value] : fields)
        headers.push_back({reinterpret_cast<std::uint8_t*>(name.data()), reinterpret_cast<std::uint8_t*>(value.data()),
                           name.size(), value.size(), NGHTTP2_NV_FLAG_NONE});

    const std::lock_guard lock(m_mutex);
    if (m_dead || m_goingAway)
    {
        state->Failed = true;
        state->FailureText = "The server closed the connection";
        return;
    }
    state->RequestBody = request.substr(headEnd + 4);
    nghttp2_data_provider body{};
    body.source.ptr = state.get();
    body.read_callback = ReadRequestBody;
    const std::int32_t id = nghttp2_submit_request(m_session, nullptr, headers.data(), headers.size(),
                                                   state->RequestBody.empty() ? nullptr : &body, state.get());
    if (id < 0)
    {
        state->Failed = true;
        state->FailureText = std::string("HTTP/2: ") + nghttp2_strerror(id);
        return;
    }
    state->Id = id;
    m_streams[id] = state;
    Wake();
}

TIOResult THXHttp2Session::Read(THXHttp2StreamState& state, char* buffer, std::size_t size)
{
    const std::lock_guard lock(m_mutex);
    const std::size_t waiting = state.Answer.size() - state.ReadAt;
    if (waiting > 0 && size > 0)
    {
        const std::size_t taken = std::min(size, waiting);
        std::memcpy(buffer, state.Answer.data() + state.ReadAt, taken);
        const std::size_t bodyFrom = std::max(state.ReadAt, state.BodyAt);
        const std::size_t bodyBytes = state.ReadAt + taken > bodyFrom ? state.ReadAt + taken - bodyFrom : 0;
        state.ReadAt += taken;
        if (state.ReadAt == state.Answer.size())
        {
            state.Answer.clear();
            state.ReadAt = 0;
            state.BodyAt = 0;
        }
        if (bodyBytes > 0 && state.Id > 0)
        {
            state.Unconsumed -= std::min(state.Unconsumed, bodyBytes);
            nghttp2_session_consume(m_session, state.Id, bodyBytes);
            if (nghttp2_session_want_write(m_session) != 0)
                Wake();
        }
        return {TIOStatus::Done, taken, 0};
    }
    if (state.Failed)
        return {TIOStatus::Failed, 0, kSockConnectionReset};
    if (state.Closed || state.Released)
        return {TIOStatus::Closed, 0, 0};
    return {TIOStatus::WouldBlock, 0, 0};
}

bool THXHttp2Session::WaitReadable(THXHttp2StreamState& state, std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(
        lock, limit,
        [&] { return state.ReadAt < state.Answer.size() || state.Closed || state.Failed || state.Released; });
}

void THXHttp2Session::Release(THXHttp2StreamState& state)
{
    {
        const std::lock_guard lock(m_mutex);
        if (state.Released)
            return;
        state.Released = true;
        if (state.Id > 0 && !m_dead)
        {
            // Bytes received and never read still count against the connection's window.
            if (state.Unconsumed > 0)
                nghttp2_session_consume_connection(m_session, state.Unconsumed);
            state.Unconsumed = 0;
            // The session keeps the state until nghttp2 closes the stream, which may
            // still read the request's body from it.
            if (!state.Closed && !state.Failed)
                nghttp2_submit_rst_stream(m_session, NGHTTP2_FLAG_NONE, state.Id, NGHTTP2_CANCEL);
        }
        state.Answer.clear();
        state.ReadAt = 0;
        Wake();
    }
    m_changed.notify_all();
}

void THXHttp2Session::Fail(const std::string& text)
{
    {
        const std::lock_guard lock(m_mutex);
        m_dead = true;
        for (auto& [id, state] : m_streams)
        {
            if (!state->Closed)
            {
                state->Failed = true;
                state->FailureText = text;
            }
        }
        m_streams.clear();
    }
    m_changed.notify_all();
}

bool THXHttp2Session::CollectOutgoing()
{
    for (;;)
    {
        const std::uint8_t* data = nullptr;
        const ssize_t length = nghttp2_session_mem_send(m_session, &data);
        if (length < 0)
            return false;
        if (length == 0)
            return true;
        m_outgoing.append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
    }
}

void THXHttp2Session::Run()
{
    std::vector<char> buffer(kSessionReadBlock);
    std::string failure;
    while (failure.empty())
    {
        bool stopping = m_stop;
        {
            const std::lock_guard lock(m_mutex);
            // Ending: tell the server, then stop.
            if (stopping)
                nghttp2_session_terminate_session(m_session, NGHTTP2_NO_ERROR);
            if (!CollectOutgoing())
                failure = "HTTP/2: the session failed";
        }
        // Write what waits, as far as the connection takes it.
        while (!m_outgoing.empty() && failure.empty())
        {
            const TIOResult sent = m_connection->Write(m_outgoing.data(), m_outgoing.size());
            if (sent.Status == TIOStatus::Done)
                m_outgoing.erase(0, sent.Bytes);
            else if (sent.Status == TIOStatus::WouldBlock)
                break;
            else
                failure = "The server closed the connection";
        }
        if (stopping || !failure.empty())
            break;
        // Read what has come.
        bool received = false;
        for (;;)
        {
            const TIOResult got = m_connection->Read(buffer.data(), buffer.size());
            if (got.Status == TIOStatus::WouldBlock)
                break;
            if (got.Status != TIOStatus::Done)
            {
                failure =
                    got.Status == TIOStatus::Closed ? "The server closed the connection" : "Connection reset by peer";
                break;
            }
            {
                const std::lock_guard lock(m_mutex);
                const ssize_t taken = nghttp2_session_mem_recv(
                    m_session, reinterpret_cast<const std::uint8_t*>(buffer.data()), got.Bytes);
                if (taken < 0)
                    failure = std::string("HTTP/2: ") + nghttp2_strerror(static_cast<int>(taken));
            }
            received = true;
            if (!failure.empty())
                break;
        }
        if (received)
            m_changed.notify_all();
        bool moreToSend = false;
        {
            const std::lock_guard lock(m_mutex);
            moreToSend = nghttp2_session_want_write(m_session) != 0;
            // A session the server ended (GOAWAY) is over once its last stream is.
            if (failure.empty() && nghttp2_session_want_read(m_session) == 0 && !moreToSend && m_outgoing.empty())
                failure = "The server closed the connection";
        }
        // nghttp2 has frames to give (an answer to what came): at once, unless the
        // connection has not taken the last ones yet.
        if (!failure.empty() || (moreToSend && m_outgoing.empty()))
            continue;
        const bool blocked = !m_outgoing.empty();
        pollfd waits[2] = {{m_connection->Handle(), static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                           {m_wake, POLLIN, 0}};
        if (::poll(waits, 2, kSessionPollMs) > 0 && (waits[1].revents & POLLIN) != 0)
        {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(m_wake, &count, sizeof(count));
        }
    }
    Fail(failure.empty() ? std::string("The connection was closed") : failure);
}

int THXHttp2Session::OnBeginHeaders(nghttp2_session*, const nghttp2_frame*, void*)
{
    return 0;
}

int THXHttp2Session::OnHeader(nghttp2_session*, const nghttp2_frame* frame, const std::uint8_t* name,
                              std::size_t nameLength, const std::uint8_t* value, std::size_t valueLength, std::uint8_t,
                              void* self)
{
    auto& session = *static_cast<THXHttp2Session*>(self);
    if (frame->hd.type != NGHTTP2_HEADERS)
        return 0;
    THXHttp2StreamState* state = session.StateOf(frame->hd.stream_id);
    if (state == nullptr || state->Released || state->HeadersDone)
        return 0; // a stream let go, or trailer fields
    const std::string_view fieldName(reinterpret_cast<const char*>(name), nameLength);
    const std::string_view fieldValue(reinterpret_cast<const char*>(value), valueLength);
    if (fieldName == ":status")
    {
        std::int64_t status = 0;
        state->Status = TryStrToInt64(fieldValue, status) ? static_cast<int>(status) : 0;
        return 0;
    }
    if (!fieldName.empty() && fieldName.front() == ':')
        return 0;
    state->Fields.append(fieldName).append(": ").append(fieldValue).append("\r\n");
    return 0;
}

int THXHttp2Session::OnFrame(nghttp2_session*, const nghttp2_frame* frame, void* self)
{
    auto& session = *static_cast<THXHttp2Session*>(self);
    if (frame->hd.type == NGHTTP2_GOAWAY)
    {
        session.m_goingAway = true;
        return 0;
    }
    if (frame->hd.type != NGHTTP2_HEADERS && frame->hd.type != NGHTTP2_DATA)
        return 0;
    THXHttp2StreamState* state = session.StateOf(frame->hd.stream_id);
    if (state == nullptr || state->Released)
        return 0;
    if (frame->hd.type == NGHTTP2_HEADERS && !state->HeadersDone)
    {
        if (state->Status >= 100 && state->Status < 200)
        {
            // An interim answer: the final one follows.
            state->Fields.clear();
            state->Status = 0;
        }
        else
        {
            std::string status = std::to_string(state->Status);
            status.insert(0, 3 - std::min<std::size_t>(3, status.size()), '0');
            const std::string_view reason = ReasonPhrase(state->Status);
            state->Answer += "HTTP/1.1 " + status + (reason.empty() ? std::string() : " " + std::string(reason)) +
                             "\r\n" + state->Fields + "\r\n";
            state->BodyAt = state->Answer.size();
            state->Fields.clear();
            state->HeadersDone = true;
        }
    }
    if ((frame->hd.flags & NGHTTP2_FLAG_END_STREAM) != 0 && state->HeadersDone)
        state->RemoteEnded = true;
    return 0;
}

int THXHttp2Session::OnData(nghttp2_session* nghttp2, std::uint8_t, std::int32_t streamId, const std::uint8_t* data,
                            std::size_t length, void* self)
{
    auto& session = *static_cast<THXHttp2Session*>(self);
    THXHttp2StreamState* state = session.StateOf(streamId);
    if (state == nullptr || state->Released || !state->HeadersDone)
    {
        // Nobody reads these: they leave the window at once.
        nghttp2_session_consume(nghttp2, streamId, length);
        return 0;
    }
    state->Answer.append(reinterpret_cast<const char*>(data), length);
    state->Unconsumed += length;
    return 0;
}

int THXHttp2Session::OnStreamClose(nghttp2_session*, std::int32_t streamId, std::uint32_t errorCode, void* self)
{
    auto& session = *static_cast<THXHttp2Session*>(self);
    THXHttp2StreamState* state = session.StateOf(streamId);
    if (state != nullptr)
    {
        if (state->RemoteEnded && (errorCode == NGHTTP2_NO_ERROR || state->Status != 0))
        {
            state->Closed = true;
        }
        else
        {
            state->Failed = true;
            state->FailureText = errorCode == NGHTTP2_REFUSED_STREAM
                                     ? std::string("The server refused the request")
                                     : "The server reset the request (HTTP/2 error " + std::to_string(errorCode) + ")";
        }
    }
    session.m_streams.erase(streamId);
    return 0;
}

ssize_t THXHttp2Session::ReadRequestBody(nghttp2_session*, std::int32_t, std::uint8_t* buffer, std::size_t length,
                                         std::uint32_t* flags, nghttp2_data_source* source, void*)
{
    auto& state = *static_cast<THXHttp2StreamState*>(source->ptr);
    const std::size_t taken = std::min(length, state.RequestBody.size() - state.BodySent);
    std::memcpy(buffer, state.RequestBody.data() + state.BodySent, taken);
    state.BodySent += taken;
    if (state.BodySent == state.RequestBody.size())
        *flags |= NGHTTP2_DATA_FLAG_EOF;
    return static_cast<ssize_t>(taken);
}

// ---- The connection being made: h2 or http/1.1, as the handshake says ----

class THXHttp2Negotiation final : public TNetStream
{
public:
    THXHttp2Negotiation(std::shared_ptr<TTLSStream> connection, std::shared_ptr<THXHttp2Claim> claim)
        : m_connection(std::move(connection))
        , m_claim(std::move(claim))
    {
        m_connection->OfferProtocols({std::string(kAlpnHttp2), std::string(kAlpnHttp11)});
    }

    TIOResult StartConnect() override { return Decide(m_connection->StartConnect()); }
    TIOResult ConnectResult() override { return Decide(m_connection->ConnectResult()); }
    TIOResult Read(char* buffer, std::size_t size) override { return Current()->Read(buffer, size); }
    TIOResult Write(const char* data, std::size_t size) override { return Current()->Write(data, size); }
    bool Wait(TWaitFor what, std::chrono::milliseconds limit) override { return Current()->Wait(what, limit); }
    void Shutdown() override { Current()->Shutdown(); }
    int Handle() const override { return m_connection->Handle(); }
    std::string FailureText() const override { return m_connection->FailureText(); }
    bool SharesConnection() const override
    {
        const std::lock_guard lock(m_mutex);
        return m_shared;
    }

private:
    std::shared_ptr<TNetStream> Current() const
    {
        const std::lock_guard lock(m_mutex);
        return m_inner ? m_inner : m_connection;
    }

    TIOResult Decide(TIOResult result)
    {
        if (result.Status == TIOStatus::Failed || result.Status == TIOStatus::Closed)
        {
            if (m_claim)
                std::exchange(m_claim, nullptr)->Settle(nullptr, false);
            return result;
        }
        if (result.Status != TIOStatus::Done || !m_claim)
            return result;
        std::shared_ptr<THXHttp2Claim> claim = std::exchange(m_claim, nullptr);
        if (m_connection->AgreedApplicationProtocol() != kAlpnHttp2)
        {
            claim->Settle(nullptr, true);
            return result;
        }
        auto session = std::make_shared<THXHttp2Session>(m_connection);
        auto stream = session->OpenStream();
        {
            const std::lock_guard lock(m_mutex);
            m_inner = std::move(stream);
            m_shared = true;
        }
        claim->Settle(std::move(session), true);
        return result;
    }

    std::shared_ptr<TTLSStream> m_connection;
    std::shared_ptr<THXHttp2Claim> m_claim;
    mutable std::mutex m_mutex;
    std::shared_ptr<TNetStream> m_inner;
    bool m_shared = false;
};

// ---- The pool ----

THXHttp2Claim::~THXHttp2Claim()
{
    if (!m_settled)
        m_pool.Settle(m_key, nullptr, false);
}

void THXHttp2Claim::Settle(std::shared_ptr<THXHttp2Session> session, bool handshakeDone)
{
    if (m_settled)
        return;
    m_settled = true;
    m_pool.Settle(m_key, std::move(session), handshakeDone);
}

THXHttp2Pool::~THXHttp2Pool()
{
    Clear();
}

THXHttp2Pool::TAttach THXHttp2Pool::Attach(const std::string& key, std::chrono::milliseconds limit,
                                           const std::function<bool()>& stopped)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(m_mutex);
    for (;;)
    {
        TServer& server = m_servers[key];
        if (server.Session && !server.Session->Accepting())
            server.Session.reset();
        if (server.Session)
            return {server.Session->OpenStream(), nullptr};
        if (server.NoHttp2)
            return {};
        if (!server.Connecting)
        {
            server.Connecting = true;
            return {nullptr, std::make_shared<THXHttp2Claim>(*this, key)};
        }
        // Another slot is making the connection: its streams are for everyone.
        if ((stopped && stopped()) || std::chrono::steady_clock::now() >= deadline)
            return {};
        m_changed.wait_for(lock, std::chrono::milliseconds(5));
    }
}

std::shared_ptr<TNetStream> THXHttp2Pool::Negotiate(std::shared_ptr<TTLSStream> connection,
                                                    std::shared_ptr<THXHttp2Claim> claim)
{
    return std::make_shared<THXHttp2Negotiation>(std::move(connection), std::move(claim));
}

void THXHttp2Pool::Settle(const std::string& key, std::shared_ptr<THXHttp2Session> session, bool handshakeDone)
{
    std::shared_ptr<THXHttp2Session> replaced;
    {
        const std::lock_guard lock(m_mutex);
        TServer& server = m_servers[key];
        server.Connecting = false;
        if (session)
        {
            replaced = std::exchange(server.Session, std::move(session));
            ++m_sessionsMade;
        }
        else if (handshakeDone)
        {
            server.NoHttp2 = true;
        }
    }
    m_changed.notify_all();
}

void THXHttp2Pool::Clear()
{
    std::map<std::string, TServer> servers;
    {
        const std::lock_guard lock(m_mutex);
        servers.swap(m_servers);
    }
    m_changed.notify_all();
}

int THXHttp2Pool::SessionsMade() const
{
    const std::lock_guard lock(m_mutex);
    return m_sessionsMade;
}

} // namespace hx
