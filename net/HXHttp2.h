#pragma once

// HTTP/2 over TLS for the crawl's slots, with libnghttp2 doing the protocol.
//
// One connection per server carries the exchanges of every slot that fetches from
// it, each on a stream of its own. The HTTP client does not change its ways for
// it: the stream an exchange gets (THXHttp2Pool::Attach, or the secure connection
// that turned out to speak HTTP/2, THXHttp2Negotiation) is a TNetStream that takes
// the request the client writes in HTTP/1.1 form and gives back the answer in
// HTTP/1.1 form: a status line with the usual reason phrase, the header fields as
// the server sent them, the body bytes as they arrive. The body's end is the
// stream's end (the client reads it as the end of a connection). So redirects,
// cookies, sign-in, content decoding, the rate cap, time-outs, progress and the
// archive capture work as they do over HTTP/1.1.
//
// A session runs on a thread of its own, which alone reads and writes the TLS
// connection; the slots' threads hand it requests and take their streams' bytes
// under the session's lock. Flow control is nghttp2's: a wide window, and bytes
// count as consumed when the slot has taken them, so a slow slot (a rate cap)
// holds back its own stream only.
//
// A stream the server refused (RST_STREAM before its answer, or left out by a
// GOAWAY) or whose connection ended before its answer fails before a byte of
// answer came: the client then asks again over a fresh stream, as it does when a
// kept HTTP/1.1 connection turns out closed. A session that received GOAWAY takes
// no new streams; the next exchange opens a new connection.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/agsocketstream.h"

namespace hx
{

class THXHttp2Session;
class TTLSStream;

// The ALPN name of HTTP/2 over TLS, and of HTTP/1.1.
inline constexpr std::string_view kAlpnHttp2 = "h2";
inline constexpr std::string_view kAlpnHttp11 = "http/1.1";

// Flow-control windows the client opens: per stream and for the whole connection.
inline constexpr std::int32_t kHttp2StreamWindow = 8 * 1024 * 1024;
inline constexpr std::int32_t kHttp2ConnectionWindow = 64 * 1024 * 1024;

// The usual reason phrase of a status code ("OK", "Not Found"), "" when unknown.
std::string_view ReasonPhrase(int status);

// The HTTP/2 connections of a run, by the key the HTTP client gives a server
// (scheme, host, port, certificate checks). Any thread.
class THXHttp2Pool
{
public:
    THXHttp2Pool() = default;
    ~THXHttp2Pool();
    THXHttp2Pool(const THXHttp2Pool&) = delete;
    THXHttp2Pool& operator=(const THXHttp2Pool&) = delete;

    // What Attach found.
    struct TAttach
    {
        // A stream on the server's open session: the exchange goes over it.
        std::shared_ptr<TNetStream> Stream;
        // No session: the caller makes the connection and offers HTTP/2 with it. It
        // holds the claim until the handshake says which protocol the server speaks
        // (others asking meanwhile wait for it); null when HTTP/2 is not to be offered
        // (the server answered without it before).
        std::shared_ptr<class THXHttp2Claim> Claim;
    };
    // The stream of a new exchange with the server. While another slot is making the
    // server's connection, waits for it (up to `limit`, ended early by `stopped`).
    TAttach Attach(const std::string& key, std::chrono::milliseconds limit, const std::function<bool()>& stopped);

    // Wraps the secure connection the claim's holder makes: offers h2 and http/1.1
    // and, once the handshake is done, becomes a stream of a new session (h2) or the
    // connection itself (http/1.1).
    std::shared_ptr<TNetStream> Negotiate(std::shared_ptr<TTLSStream> connection, std::shared_ptr<THXHttp2Claim> claim);

    // Closes every session (the end of a run). Streams still in use fail.
    void Clear();

    // Connections made and streams opened since the pool was made (tests, benchmarks).
    int SessionsMade() const;

private:
    friend class THXHttp2Claim;
    friend class THXHttp2Negotiation;
    // The claim's handshake ended: with a session, or without HTTP/2 (`speaksHttp2`
    // false), or not at all (the connection failed: the next caller tries again).
    void Settle(const std::string& key, std::shared_ptr<THXHttp2Session> session, bool handshakeDone);

    struct TServer
    {
        std::shared_ptr<THXHttp2Session> Session;
        bool Connecting = false;
        bool NoHttp2 = false;
    };

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, TServer> m_servers;
    int m_sessionsMade = 0;
};

// The right to make a server's HTTP/2 connection; settles as failed when dropped
// unsettled.
class THXHttp2Claim
{
public:
    THXHttp2Claim(THXHttp2Pool& pool, std::string key)
        : m_pool(pool)
        , m_key(std::move(key))
    {
    }
    ~THXHttp2Claim();
    THXHttp2Claim(const THXHttp2Claim&) = delete;
    THXHttp2Claim& operator=(const THXHttp2Claim&) = delete;

    void Settle(std::shared_ptr<THXHttp2Session> session, bool handshakeDone);
    THXHttp2Pool& Pool() const { return m_pool; }

private:
    THXHttp2Pool& m_pool;
    std::string m_key;
    bool m_settled = false;
};

} // namespace hx
