#pragma once

// Real servers for tests: nginx and tinyproxy, each started in the foreground
// with a configuration of its own written into a temporary folder, listening on
// a free port of 127.0.0.1, and stopped (SIGTERM, then SIGKILL) when the object
// goes. When the program is not installed, Started() is false and Error() says
// so; tests then skip.
//
//     THXNginx nginx(siteFolder);
//     if (!nginx.Started())
//         GTEST_SKIP() << nginx.Error();
//     http.SetURL(nginx.URL("/page.html"));

#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

#include "support/HXSandbox.h"

namespace hx::test
{

// Full path of an installed program (PATH, then /usr/sbin and /sbin); empty when
// there is none.
std::string FindProgram(const std::string& name);

// A port of 127.0.0.1 that was free a moment ago.
std::uint16_t FreeLoopbackPort();

// A program running in the foreground, its output in a log file.
class THXServerProcess
{
public:
    THXServerProcess() = default;
    ~THXServerProcess() { Stop(); }
    THXServerProcess(const THXServerProcess&) = delete;
    THXServerProcess& operator=(const THXServerProcess&) = delete;

    // Starts the program and waits until it accepts connections on the port;
    // false (the program stopped again) when it exits or does not answer in time.
    bool Start(const std::vector<std::string>& arguments, const std::string& logFile, std::uint16_t port);
    // SIGTERM, a short wait, then SIGKILL; always reaps the process. Idempotent.
    void Stop();
    bool Running() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

// A certificate file and its key file (PEM).
struct TCertificatePair
{
    std::string Certificate;
    std::string Key;
};

// What a test nginx serves besides its folder over plain http.
struct TNginxSetup
{
    // Goes into every server block as it is (locations for redirects and the like).
    std::string Extra;
    // One https server per certificate, each on a port of its own, serving the same folder.
    std::vector<TCertificatePair> Certificates;
    // Every request written to the access log (see AccessLog()).
    bool LogRequests = false;
    // The https servers offer HTTP/2 (ALPN "h2") besides HTTP/1.1.
    bool Http2 = false;
    // Each logged line ends with the request's protocol ("HTTP/2.0", "HTTP/1.1").
    bool LogProtocol = false;
    // Goes into the http block as it is (keepalive_requests and the like).
    std::string HttpExtra;
    // The MIME types by file name ending, in nginx's "types" block syntax.
    std::string Types = "text/html html; text/plain txt; application/octet-stream bin;";
};

// nginx serving the files of `root`. `extra` goes into the server block as it is
// (locations for redirects and the like).
class THXNginx
{
public:
    explicit THXNginx(const std::string& root, const std::string& extra = {});
    THXNginx(const std::string& root, const TNginxSetup& setup);
    ~THXNginx() = default;

    bool Started() const { return m_process.Running(); }
    const std::string& Error() const { return m_error; }
    std::uint16_t Port() const { return m_port; }
    std::string HostPort() const;
    // http://127.0.0.1:port + path
    std::string URL(const std::string& path = "/") const;

    // The https server of the index-th certificate.
    std::uint16_t SecurePort(std::size_t index = 0) const { return m_securePorts.at(index); }
    // https://127.0.0.1:port + path of the index-th certificate's server.
    std::string SecureURL(std::size_t index = 0, const std::string& path = "/") const;

    // With LogRequests, the lines of the access log: "<connection> <request count on
    // it> <method> <target> <status> <resumed>", the last "r" for a TLS connection
    // that resumed a session, "." for a new one.
    std::vector<std::string> AccessLog() const;

private:
    std::string Configuration(const std::string& root, const TNginxSetup& setup);

    TTempFolder m_folder;
    THXServerProcess m_process;
    std::uint16_t m_port = 0;
    std::vector<std::uint16_t> m_securePorts;
    std::string m_error;
};

// tinyproxy; with a user name it asks for Basic proxy authorization.
class THXTinyproxy
{
public:
    explicit THXTinyproxy(const std::string& userName = {}, const std::string& password = {});
    ~THXTinyproxy() = default;

    bool Started() const { return m_process.Running(); }
    const std::string& Error() const { return m_error; }
    std::uint16_t Port() const { return m_port; }
    std::string HostPort() const;

private:
    TTempFolder m_folder;
    THXServerProcess m_process;
    std::uint16_t m_port = 0;
    std::string m_error;
};

} // namespace hx::test
