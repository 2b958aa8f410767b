#pragma once

// A tunnel through an HTTP proxy: the proxy is asked with CONNECT to open a plain
// byte pipe to the web server, and once it answers 200 the stream carries the
// exchange's own bytes (an https exchange's TLS records) through it.
//
// TTunnelStream wraps the connection to the proxy and is itself a TNetStream:
// connecting it connects to the proxy, sends the CONNECT request (with the proxy's
// credentials when given) and reads the proxy's answer. Any answer but 2xx fails
// the connection with kErrTunnel and the proxy's status line in FailureText
// ("Proxy refused the tunnel: 407 Proxy Authentication Required").
//
// Threads: as every TNetStream.

#include <memory>
#include <string>

#include "net/agsocketstream.h"

namespace hx
{

// Most bytes of the proxy's answer to CONNECT; a longer one is refused.
inline constexpr std::size_t kMaxTunnelAnswerBytes = 16384;

class TTunnelStream final : public TNetStream
{
public:
    // `target` is "host:port" of the web server; `proxyAuthorization` the value of
    // a Proxy-Authorization line ("Basic ..."), empty for none.
    TTunnelStream(std::shared_ptr<TNetStream> proxy, std::string target, std::string proxyAuthorization);

    TIOResult StartConnect() override;
    TIOResult ConnectResult() override;
    TIOResult Read(char* buffer, std::size_t size) override;
    TIOResult Write(const char* data, std::size_t size) override;
    bool Wait(TWaitFor what, std::chrono::milliseconds limit) override;
    void Shutdown() override { m_proxy->Shutdown(); }
    int Handle() const override { return m_proxy->Handle(); }
    std::string FailureText() const override { return m_failureText; }

    // The request sent to the proxy.
    const std::string& Request() const { return m_request; }

private:
    enum class TPhase
    {
        Connecting, // to the proxy
        Sending,    // the CONNECT request
        Reading,    // the proxy's answer
        Open
    };

    TIOResult Advance();
    TIOResult Fail(int code, std::string text);

    std::shared_ptr<TNetStream> m_proxy;
    std::string m_request;
    std::size_t m_sent = 0;
    std::string m_answer;
    // Bytes that came after the proxy's answer: the server's first bytes.
    std::string m_early;
    TPhase m_phase = TPhase::Connecting;
    std::string m_failureText;
};

} // namespace hx
