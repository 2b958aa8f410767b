#include "support/HXTestServer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hx::test
{

namespace
{

// A request head larger than this is not a request this server wants to read.
constexpr std::size_t kMaxRequestBytes = 4 << 20;
// How long a connection may take to send its request.
constexpr auto kRequestTimeLimit = std::chrono::seconds(30);

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return lower;
}

std::string TrimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

const char* Reason(int status)
{
    switch (status)
    {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
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
    case 407:
        return "Proxy Authentication Required";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

TRecordedRequest ParseRequest(std::string raw)
{
    TRecordedRequest request;
    std::size_t lineStart = 0;
    bool first = true;
    while (lineStart < raw.size())
    {
        std::size_t lineEnd = raw.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = raw.size();
        std::string line = raw.substr(lineStart, lineEnd - lineStart);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lineStart = lineEnd + 1;
        if (first)
        {
            first = false;
            const std::size_t space1 = line.find(' ');
            const std::size_t space2 = space1 == std::string::npos ? std::string::npos : line.find(' ', space1 + 1);
            request.Method = line.substr(0, space1);
            if (space1 != std::string::npos)
                request.Target =
                    line.substr(space1 + 1, space2 == std::string::npos ? std::string::npos : space2 - space1 - 1);
            if (space2 != std::string::npos)
                request.Version = line.substr(space2 + 1);
            continue;
        }
        if (line.empty())
            break;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            request.Fields.emplace_back(TrimBlanks(line), std::string());
        else
            request.Fields.emplace_back(TrimBlanks(line.substr(0, colon)), TrimBlanks(line.substr(colon + 1)));
    }
    request.Raw = std::move(raw);
    return request;
}

void CloseHandle(int& handle)
{
    if (handle >= 0)
        ::close(handle);
    handle = -1;
}

} // namespace

// ---- TRecordedRequest ----

std::string TRecordedRequest::Header(std::string_view name) const
{
    const std::string wanted = Lower(name);
    for (const auto& [fieldName, value] : Fields)
    {
        if (Lower(fieldName) == wanted)
            return value;
    }
    return {};
}

bool TRecordedRequest::HasHeader(std::string_view name) const
{
    const std::string wanted = Lower(name);
    return std::any_of(Fields.begin(), Fields.end(), [&](const auto& field) { return Lower(field.first) == wanted; });
}

// ---- TReply ----

TReply& TReply::Send(std::string bytes)
{
    m_steps.push_back({TStep::TKind::Send, std::move(bytes), 0, {}});
    return *this;
}

TReply& TReply::Trickle(std::string bytes, std::size_t pieceSize, std::chrono::milliseconds interval)
{
    m_steps.push_back({TStep::TKind::Trickle, std::move(bytes), std::max<std::size_t>(pieceSize, 1), interval});
    return *this;
}

TReply& TReply::Repeat(std::string piece, std::int64_t count)
{
    m_steps.push_back({TStep::TKind::Repeat, std::move(piece), 0, {}, count});
    return *this;
}

TReply& TReply::Pause(std::chrono::milliseconds duration)
{
    m_steps.push_back({TStep::TKind::Pause, {}, 0, duration});
    return *this;
}

TReply& TReply::Stall()
{
    m_steps.push_back({TStep::TKind::Stall, {}, 0, {}});
    return *this;
}

TReply& TReply::Reset()
{
    m_steps.push_back({TStep::TKind::Reset, {}, 0, {}});
    return *this;
}

TReply TReply::Text(int status, std::string body, const THeaderFields& fields)
{
    THeaderFields all = fields;
    all.emplace_back("Content-Length", std::to_string(body.size()));
    return Raw(ResponseHead(status, all) + body);
}

TReply TReply::UntilClose(int status, std::string body, const THeaderFields& fields)
{
    return Raw(ResponseHead(status, fields) + body);
}

TReply TReply::Chunked(int status, const std::vector<std::string>& pieces, const THeaderFields& fields)
{
    THeaderFields all = fields;
    all.emplace_back("Transfer-Encoding", "chunked");
    return Raw(ResponseHead(status, all) + ChunkedBody(pieces));
}

TReply TReply::Redirect(int status, const std::string& location)
{
    return Text(status, {}, {{"Location", location}});
}

TReply TReply::NotModified()
{
    return Raw(ResponseHead(304, {}));
}

TReply TReply::Raw(std::string bytes)
{
    TReply reply;
    reply.Send(std::move(bytes));
    return reply;
}

std::string StatusLine(int status)
{
    return "HTTP/1.0 " + std::to_string(status) + " " + Reason(status);
}

std::string ResponseHead(int status, const THeaderFields& fields)
{
    std::string head = StatusLine(status) + "\r\n";
    for (const auto& [name, value] : fields)
        head += name + ": " + value + "\r\n";
    return head + "\r\n";
}

std::string ChunkedBody(const std::vector<std::string>& pieces)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string body;
    for (const std::string& piece : pieces)
    {
        if (piece.empty())
            continue;
        std::string size;
        for (std::size_t value = piece.size(); value > 0; value /= 16)
            size.insert(size.begin(), kHex[value % 16]);
        body += size + "\r\n" + piece + "\r\n";
    }
    return body + "0\r\n\r\n";
}

TReply ResourceReply(const TRecordedRequest& request, const std::string& body, const std::string& lastModified,
                     const std::string& contentType)
{
    THeaderFields fields{{"Content-Type", contentType}};
    if (!lastModified.empty())
    {
        fields.emplace_back("Last-Modified", lastModified);
        if (request.Header("If-Modified-Since") == lastModified)
            return TReply::NotModified();
    }
    const std::string range = Lower(request.Header("Range"));
    if (range.rfind("bytes=", 0) == 0 && !range.empty() && range.back() == '-')
    {
        const std::string digits = range.substr(6, range.size() - 7);
        if (!digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        {
            const std::size_t from = std::stoull(digits);
            if (from >= body.size())
                return TReply::Text(416, {}, {{"Content-Range", "bytes */" + std::to_string(body.size())}});
            fields.emplace_back("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                     std::to_string(body.size() - 1) + "/" +
                                                     std::to_string(body.size()));
            return TReply::Text(206, body.substr(from), fields);
        }
    }
    return TReply::Text(200, body, fields);
}

TRequestHandler Routes(std::map<std::string, TReply> routes)
{
    return [routes = std::move(routes)](const TRecordedRequest& request)
    {
        const auto found = routes.find(request.Target);
        return found == routes.end() ? TReply::Text(404, "not found") : found->second;
    };
}

// ---- THXTestServer ----

THXTestServer::THXTestServer(TRequestHandler handler)
    : m_handler(std::move(handler))
{
    int pipeEnds[2] = {-1, -1};
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("test server: no pipe");
    m_wakeRead = pipeEnds[0];
    m_wakeWrite = pipeEnds[1];

    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        throw std::runtime_error("test server: no socket");
    const int on = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(m_listen, 64) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    {
        CloseHandle(m_listen);
        CloseHandle(m_wakeRead);
        CloseHandle(m_wakeWrite);
        throw std::runtime_error("test server: cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

THXTestServer::THXTestServer(std::vector<TReply> replies)
    : THXTestServer(TRequestHandler{})
{
    auto queue = std::make_shared<std::pair<std::mutex, std::vector<TReply>>>();
    queue->second = std::move(replies);
    std::reverse(queue->second.begin(), queue->second.end());
    SetHandler(
        [queue](const TRecordedRequest&)
        {
            const std::lock_guard lock(queue->first);
            if (queue->second.empty())
                return TReply::Text(404, "not found");
            TReply next = std::move(queue->second.back());
            queue->second.pop_back();
            return next;
        });
}

THXTestServer::~THXTestServer()
{
    Stop();
}

std::string THXTestServer::HostPort() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string THXTestServer::URL(std::string_view path) const
{
    return "http://" + HostPort() + std::string(path);
}

void THXTestServer::SetHandler(TRequestHandler handler)
{
    const std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

std::vector<TRecordedRequest> THXTestServer::Requests() const
{
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

std::size_t THXTestServer::RequestCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_requests.size();
}

bool THXTestServer::WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(m_mutex);
    return m_requestArrived.wait_for(lock, limit, [&] { return m_requests.size() >= count; });
}

std::size_t THXTestServer::ConnectionCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_connections;
}

void THXTestServer::Stop()
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
    }
    // One byte in the pipe wakes every poll of every thread (nobody reads it).
    const char wake = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeWrite, &wake, 1);
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::list<TConnection> connections;
    {
        const std::lock_guard lock(m_mutex);
        connections.swap(m_connectionThreads);
    }
    for (TConnection& connection : connections)
    {
        if (connection.Thread.joinable())
            connection.Thread.join();
    }
    CloseHandle(m_listen);
    CloseHandle(m_wakeRead);
    CloseHandle(m_wakeWrite);
}

void THXTestServer::AcceptLoop()
{
    for (;;)
    {
        pollfd entries[2] = {{m_listen, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;
            return;
        }
        if (entries[1].revents != 0)
            return;
        if ((entries[0].revents & POLLIN) == 0)
            continue;
        const int handle = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (handle < 0)
            continue;
        ReapFinished();
        auto done = std::make_shared<std::atomic<bool>>(false);
        const std::lock_guard lock(m_mutex);
        ++m_connections;
        m_connectionThreads.push_back({std::thread(
                                           [this, handle, done]
                                           {
                                               Serve(handle);
                                               *done = true;
                                           }),
                                       done});
    }
}

void THXTestServer::ReapFinished()
{
    std::list<TConnection> finished;
    {
        const std::lock_guard lock(m_mutex);
        for (auto it = m_connectionThreads.begin(); it != m_connectionThreads.end();)
        {
            if (*it->Done)
                finished.splice(finished.end(), m_connectionThreads, it++);
            else
                ++it;
        }
    }
    for (TConnection& connection : finished)
        connection.Thread.join();
}

bool THXTestServer::Sleep(std::chrono::milliseconds duration)
{
    const auto until = std::chrono::steady_clock::now() + duration;
    for (;;)
    {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd entry{m_wakeRead, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready > 0)
            return true;
        if (ready == 0)
            return false;
        if (errno != EINTR)
            return true;
    }
}

// Waits a little for the client's bytes and appends what came; false when the
// connection ended, failed, the time ran out or the server is stopping.
bool THXTestServer::ReceiveSome(int handle, std::string& into, std::chrono::steady_clock::time_point until)
{
    if (std::chrono::steady_clock::now() >= until)
        return false;
    pollfd entries[2] = {{handle, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
    if (::poll(entries, 2, 100) < 0 && errno != EINTR)
        return false;
    if (entries[1].revents != 0)
        return false;
    if (entries[0].revents == 0)
        return true;
    char buffer[4096];
    const ssize_t received = ::recv(handle, buffer, sizeof(buffer), 0);
    if (received == 0)
        return false;
    if (received < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    into.append(buffer, static_cast<std::size_t>(received));
    return true;
}

bool THXTestServer::ReadBody(int handle, std::size_t length, std::string& body)
{
    const auto until = std::chrono::steady_clock::now() + kRequestTimeLimit;
    while (body.size() < length)
    {
        if (!ReceiveSome(handle, body, until))
            return false;
    }
    body.resize(length);
    return true;
}

bool THXTestServer::ReadRequest(int handle, std::string& raw, std::string& rest)
{
    const auto until = std::chrono::steady_clock::now() + kRequestTimeLimit;
    for (;;)
    {
        const std::size_t end = raw.find("\r\n\r\n");
        const std::size_t bareEnd = raw.find("\n\n");
        if (end != std::string::npos || bareEnd != std::string::npos)
        {
            const std::size_t cut = std::min(end == std::string::npos ? raw.size() : end + 4,
                                             bareEnd == std::string::npos ? raw.size() : bareEnd + 2);
            rest = raw.substr(cut);
            raw.resize(cut);
            return true;
        }
        if (raw.size() > kMaxRequestBytes || !ReceiveSome(handle, raw, until))
            return false;
    }
}

bool THXTestServer::SendAll(int handle, std::string_view bytes)
{
    while (!bytes.empty())
    {
        const ssize_t sent = ::send(handle, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0)
        {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        pollfd entries[2] = {{handle, POLLOUT, 0}, {m_wakeRead, POLLIN, 0}};
        if (::poll(entries, 2, 100) < 0 && errno != EINTR)
            return false;
        if (entries[1].revents != 0)
            return false;
    }
    return true;
}

void THXTestServer::Play(int handle, const TReply& reply)
{
    using TKind = TReply::TStep::TKind;
    for (const TReply::TStep& step : reply.Steps())
    {
        switch (step.Kind)
        {
        case TKind::Send:
            if (!SendAll(handle, step.Bytes))
                return;
            break;
        case TKind::Trickle:
            for (std::size_t at = 0; at < step.Bytes.size(); at += step.PieceSize)
            {
                if (at > 0 && Sleep(step.Interval))
                    return;
                if (!SendAll(handle, std::string_view(step.Bytes).substr(at, step.PieceSize)))
                    return;
            }
            break;
        case TKind::Repeat:
            for (std::int64_t i = 0; i < step.Count; ++i)
            {
                if (!SendAll(handle, step.Bytes))
                    return;
            }
            break;
        case TKind::Pause:
            if (Sleep(step.Interval))
                return;
            break;
        case TKind::Stall:
            for (;;)
            {
                // Silent until the client goes away (whatever it still sends is dropped) or the server stops.
                pollfd entries[2] = {{handle, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
                if (::poll(entries, 2, 100) < 0 && errno != EINTR)
                    return;
                if (entries[1].revents != 0)
                    return;
                if (entries[0].revents == 0)
                    continue;
                char buffer[512];
                const ssize_t received = ::recv(handle, buffer, sizeof(buffer), 0);
                if (received == 0 || (received < 0 && errno != EAGAIN && errno != EINTR))
                    return;
            }
        case TKind::Reset:
        {
            const linger abort{1, 0};
            ::setsockopt(handle, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
            return;
        }
        }
    }
    ::shutdown(handle, SHUT_WR);
}

std::vector<std::chrono::steady_clock::time_point> THXTestServer::ReplyEnds() const
{
    const std::lock_guard lock(m_mutex);
    return m_replyEnds;
}

void THXTestServer::Serve(int handle)
{
    std::string raw;
    std::string rest;
    if (ReadRequest(handle, raw, rest))
    {
        TRequestHandler handler;
        TRecordedRequest request = ParseRequest(std::move(raw));
        request.Arrived = std::chrono::steady_clock::now();
        // A POST's fields follow the head; what a request announces is read in full.
        std::size_t length = 0;
        const std::string announced = request.Header("Content-Length");
        if (!announced.empty())
            length = std::min<std::size_t>(std::strtoull(announced.c_str(), nullptr, 10), kMaxRequestBytes);
        if (length > 0)
        {
            if (!ReadBody(handle, length, rest))
                rest.clear();
            request.Body = std::move(rest);
        }
        {
            const std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
            handler = m_handler;
        }
        m_requestArrived.notify_all();
        TReply reply;
        try
        {
            reply = handler ? handler(request) : TReply::Text(404, "not found");
        }
        catch (const std::exception& error)
        {
            reply = TReply::Text(500, error.what());
        }
        Play(handle, reply);
        const std::lock_guard lock(m_mutex);
        m_replyEnds.push_back(std::chrono::steady_clock::now());
    }
    ::close(handle);
}

} // namespace hx::test
