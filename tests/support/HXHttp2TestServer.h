#pragma once

// A small HTTP/2 server for tests, on 127.0.0.1, with nghttp2's server side and
// OpenSSL: it serves a fixed set of pages over TLS (ALPN "h2" only; a POST is
// answered with the page of its path) and can
// misbehave on purpose the ways real servers do, which nginx cannot be told to
// do on one request: reset a request's stream (RST_STREAM) before answering it,
// or end a connection (GOAWAY) after answering a number of requests on it,
// leaving the requests sent after those unanswered.
//
//     THXHttp2TestServer server(certificates.Good(), {{"/index.html", "<html>..."}});
//     server.ResetOnce("/a.html");
//     ... server.URL("/index.html") ...
//     server.Connections(), server.Streams()

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/HXNginxFixture.h"

namespace hx::test
{

class THXHttp2TestServer
{
public:
    // Serves each path's page ("text/html"); anything else is 404.
    THXHttp2TestServer(const TCertificatePair& certificate, std::map<std::string, std::string> pages);
    ~THXHttp2TestServer();
    THXHttp2TestServer(const THXHttp2TestServer&) = delete;
    THXHttp2TestServer& operator=(const THXHttp2TestServer&) = delete;

    bool Started() const { return m_listener >= 0; }
    const std::string& Error() const { return m_error; }
    // https://127.0.0.1:port + path
    std::string URL(const std::string& path) const;

    // The first request for the path is answered with RST_STREAM (INTERNAL_ERROR)
    // instead of a response; later ones are served. Set before the requests come.
    void ResetOnce(const std::string& path);
    // Each connection sends GOAWAY once it has answered this many requests and
    // answers none after them (0: never). Set before the requests come.
    void GoAwayAfter(int requests) { m_goAwayAfter = requests; }

    // TLS connections accepted, requests received (reset or refused ones included),
    // requests answered, and the requests of each path answered.
    int Connections() const { return m_connections; }
    int Streams() const { return m_streams; }
    int Answered() const { return m_answered; }
    int ResetsSent() const { return m_resets; }

    struct TConnection;

private:
    void Accept();
    void Serve(int socket);

    std::string m_error;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::shared_ptr<void> m_context; // SSL_CTX
    std::map<std::string, std::string> m_pages;
    std::mutex m_mutex;
    std::set<std::string> m_resetPaths;
    std::vector<int> m_sockets;
    std::vector<std::thread> m_threads;
    std::thread m_acceptor;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_goAwayAfter{0};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_streams{0};
    std::atomic<int> m_answered{0};
    std::atomic<int> m_resets{0};
};

} // namespace hx::test
