#include "net/agtunnelstream.h"

#include <algorithm>
#include <cstring>

#include "net/agsocketcodes.h"

namespace hx
{

TTunnelStream::TTunnelStream(std::shared_ptr<TNetStream> proxy, std::string target, std::string proxyAuthorization)
    : m_proxy(std::move(proxy))
{
    m_request = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
    if (!proxyAuthorization.empty())
        m_request += "Proxy-Authorization: " + proxyAuthorization + "\r\n";
    m_request += "\r\n";
}

TIOResult TTunnelStream::Fail(int code, std::string text)
{
    m_failureText = std::move(text);
    return {TIOStatus::Failed, 0, code};
}

TIOResult TTunnelStream::StartConnect()
{
    m_phase = TPhase::Connecting;
    const TIOResult result = m_proxy->StartConnect();
    if (result.Status != TIOStatus::Done)
        return result;
    m_phase = TPhase::Sending;
    return Advance();
}

TIOResult TTunnelStream::ConnectResult()
{
    if (m_phase == TPhase::Connecting)
    {
        const TIOResult result = m_proxy->ConnectResult();
        if (result.Status != TIOStatus::Done)
            return result;
        m_phase = TPhase::Sending;
    }
    return Advance();
}

TIOResult TTunnelStream::Advance()
{
    while (m_phase == TPhase::Sending)
    {
        const TIOResult result = m_proxy->Write(m_request.data() + m_sent, m_request.size() - m_sent);
        if (result.Status == TIOStatus::Failed)
            return result;
        if (result.Status != TIOStatus::Done || result.Bytes == 0)
            return {TIOStatus::WouldBlock, 0, 0};
        m_sent += result.Bytes;
        if (m_sent == m_request.size())
            m_phase = TPhase::Reading;
    }
    while (m_phase == TPhase::Reading)
    {
        char buffer[4096];
        const TIOResult result = m_proxy->Read(buffer, sizeof(buffer));
        if (result.Status == TIOStatus::Failed)
            return result;
        if (result.Status == TIOStatus::Closed)
            return Fail(kErrTunnel, "Proxy refused the tunnel: the proxy closed the connection");
        if (result.Status == TIOStatus::WouldBlock)
            return result;
        m_answer.append(buffer, result.Bytes);
        const std::size_t end = m_answer.find("\r\n\r\n");
        if (end == std::string::npos)
        {
            if (m_answer.size() > kMaxTunnelAnswerBytes)
                return Fail(kErrTunnel, "Proxy refused the tunnel: answer too long");
            continue;
        }
        m_early = m_answer.substr(end + 4);
        m_answer.resize(end);
        // "HTTP/1.1 200 Connection established": the code is the second field.
        const std::string statusLine = m_answer.substr(0, m_answer.find("\r\n"));
        const std::size_t space = statusLine.find(' ');
        const std::string code = space == std::string::npos ? std::string() : statusLine.substr(space + 1, 3);
        if (!statusLine.starts_with("HTTP/") || code.size() != 3 || code.front() != '2')
        {
            const std::string shown = space == std::string::npos ? statusLine : statusLine.substr(space + 1);
            return Fail(kErrTunnel, "Proxy refused the tunnel: " + shown);
        }
        m_phase = TPhase::Open;
    }
    return {};
}

TIOResult TTunnelStream::Read(char* buffer, std::size_t size)
{
    if (m_phase != TPhase::Open)
        return Fail(kErrNotConnected, std::string());
    if (!m_early.empty())
    {
        const std::size_t count = std::min(size, m_early.size());
        std::memcpy(buffer, m_early.data(), count);
        m_early.erase(0, count);
        return {TIOStatus::Done, count, 0};
    }
    return m_proxy->Read(buffer, size);
}

TIOResult TTunnelStream::Write(const char* data, std::size_t size)
{
    if (m_phase != TPhase::Open)
        return Fail(kErrNotConnected, std::string());
    return m_proxy->Write(data, size);
}

bool TTunnelStream::Wait(TWaitFor what, std::chrono::milliseconds limit)
{
    switch (m_phase)
    {
    case TPhase::Connecting:
    case TPhase::Sending:
        return m_proxy->Wait(TWaitFor::Writable, limit);
    case TPhase::Reading:
        // Connect waits "writable" for the whole set-up; the answer comes in.
        return m_proxy->Wait(TWaitFor::Readable, limit);
    case TPhase::Open:
        break;
    }
    if (what == TWaitFor::Readable && !m_early.empty())
        return true;
    return m_proxy->Wait(what, limit);
}

} // namespace hx
