#pragma once

// A scriptable HTTP server for tests. It listens on 127.0.0.1 on a free port,
// answers every connection on a thread of its own, records each request exactly
// as it arrived, and stops and joins all its threads when destroyed.
//
// For each request a handler returns a TReply: a script of steps (send bytes,
// trickle them out, pause, stay silent, reset the connection) after which the
// server closes the connection. Ready-made replies cover status lines with
// headers, chunked bodies, bodies without a length, redirects, ranges and 304.
//
//     THXTestServer server(Routes({{"/", TReply::Text(200, "<html></html>")}}));
//     http.SetURL(server.URL("/"));
//     ... http.Get() ...
//     EXPECT_EQ(server.Requests().at(0).Raw, "GET / HTTP/1.0\r\n...");

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace hx::test
{

using THeaderFields = std::vector<std::pair<std::string, std::string>>;

// One request as the server read it.
struct TRecordedRequest
{
    std::string Raw; // every byte up to and including the empty line
    std::string Method;
    std::string Target;
    std::string Version;
    THeaderFields Fields; // in arrival order, names and values trimmed
    std::string Body;     // the bytes its Content-Length announced (a POST's form fields)
    // When the server had read the request's head.
    std::chrono::steady_clock::time_point Arrived{};

    // Value of the first field with this name (any case); empty when there is none.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

// What the server does with a connection after reading its request. Steps run in
// order; unless the script ends with Stall or Reset, the connection is closed.
class TReply
{
public:
    TReply() = default;

    TReply& Send(std::string bytes);
    // Sends the bytes in pieces of `pieceSize`, waiting `interval` before each piece after the first.
    TReply& Trickle(std::string bytes, std::size_t pieceSize, std::chrono::milliseconds interval);
    TReply& Pause(std::chrono::milliseconds duration);
    // Sends the piece `count` times over: a large body without holding it whole.
    TReply& Repeat(std::string piece, std::int64_t count);
    // Sends nothing more and keeps the connection open until the client closes it
    // or the server stops.
    TReply& Stall();
    // Aborts the connection with a TCP reset.
    TReply& Reset();

    // A response with a status line ("HTTP/1.0 200 OK"), the given header fields,
    // a Content-Length field and the body.
    static TReply Text(int status, std::string body, const THeaderFields& fields = {});
    // The same without Content-Length: the body ends when the connection closes.
    static TReply UntilClose(int status, std::string body, const THeaderFields& fields = {});
    // A chunked body ("Transfer-Encoding: chunked"), one chunk per piece, then the last chunk.
    static TReply Chunked(int status, const std::vector<std::string>& pieces, const THeaderFields& fields = {});
    static TReply Redirect(int status, const std::string& location);
    static TReply NotModified();
    // Exactly these bytes, then close.
    static TReply Raw(std::string bytes);

    struct TStep
    {
        enum class TKind
        {
            Send,
            Trickle,
            Pause,
            Stall,
            Reset,
            Repeat
        };
        TKind Kind = TKind::Send;
        std::string Bytes;
        std::size_t PieceSize = 0;
        std::chrono::milliseconds Interval{0};
        std::int64_t Count = 0;
    };
    const std::vector<TStep>& Steps() const { return m_steps; }

private:
    std::vector<TStep> m_steps;
};

// "HTTP/1.0 <status> <reason>" (no line end).
std::string StatusLine(int status);
// Status line and fields, each with CR LF, and the closing empty line.
std::string ResponseHead(int status, const THeaderFields& fields);
// Chunked transfer coding of the pieces, with the last chunk and the empty trailer.
std::string ChunkedBody(const std::vector<std::string>& pieces);

// A stored resource as a plain server serves it: 304 when If-Modified-Since equals
// `lastModified`, 206 with Content-Range for "Range: bytes=N-" inside the body,
// 416 beyond it, else 200 with the whole body.
TReply ResourceReply(const TRecordedRequest& request, const std::string& body, const std::string& lastModified = {},
                     const std::string& contentType = "text/html");

using TRequestHandler = std::function<TReply(const TRecordedRequest& request)>;

// Serves fixed targets (path with query, as the request line carries it); any
// other target gets 404.
TRequestHandler Routes(std::map<std::string, TReply> routes);

class THXTestServer
{
public:
    explicit THXTestServer(TRequestHandler handler);
    // Answers the connections in turn with these replies; once they are used up, 404.
    explicit THXTestServer(std::vector<TReply> replies);
    ~THXTestServer();
    THXTestServer(const THXTestServer&) = delete;
    THXTestServer& operator=(const THXTestServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    // "127.0.0.1:port"
    std::string HostPort() const;
    // "http://127.0.0.1:port" followed by the path.
    std::string URL(std::string_view path = "/") const;

    void SetHandler(TRequestHandler handler);
    std::vector<TRecordedRequest> Requests() const;
    std::size_t RequestCount() const;
    // Waits until at least `count` requests have been read; false when the time ran out.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const;
    // Connections accepted so far (also those that sent no request).
    std::size_t ConnectionCount() const;
    // When the reply to each request had been played out (after a Stall: when the
    // client closed), in the order the replies ended.
    std::vector<std::chrono::steady_clock::time_point> ReplyEnds() const;

    // Stops listening, ends every connection and joins every thread. Idempotent.
    void Stop();

private:
    struct TConnection
    {
        std::thread Thread;
        std::shared_ptr<std::atomic<bool>> Done;
    };

    void AcceptLoop();
    void Serve(int handle);
    // Reads the request's head into `raw`; `rest` gets the bytes that came after it.
    bool ReadRequest(int handle, std::string& raw, std::string& rest);
    // Reads the body its Content-Length announces after the head; `body` starts
    // with the bytes that came with the head.
    bool ReadBody(int handle, std::size_t length, std::string& body);
    bool ReceiveSome(int handle, std::string& into, std::chrono::steady_clock::time_point until);
    void Play(int handle, const TReply& reply);
    bool SendAll(int handle, std::string_view bytes);
    // Waits for the wake-up of Stop; true when the server is stopping.
    bool Sleep(std::chrono::milliseconds duration);
    void ReapFinished();

    int m_listen = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::uint16_t m_port = 0;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_requestArrived;
    TRequestHandler m_handler;
    std::vector<TRecordedRequest> m_requests;
    std::vector<std::chrono::steady_clock::time_point> m_replyEnds;
    std::size_t m_connections = 0;
    std::list<TConnection> m_connectionThreads;
    bool m_stopping = false;

    std::thread m_acceptor;
};

} // namespace hx::test
