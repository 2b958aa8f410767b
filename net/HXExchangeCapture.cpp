#include "net/HXExchangeCapture.h"

#include <utility>

namespace hx
{

void TExchangeCapture::Begin(std::string request, std::int64_t time)
{
    m_request = std::move(request);
    m_time = time;
    Restart();
}

void TExchangeCapture::Restart()
{
    m_response.Clear();
    m_block.Reset();
    m_payload.Reset();
}

void TExchangeCapture::Received(std::string_view bytes, bool data)
{
    m_response.Write(bytes);
    m_block.Update(bytes);
    // The payload is the body without its transfer coding: the socket hands the
    // body's bytes out as data, the header, chunk size and trailer lines as lines.
    if (data)
        m_payload.Update(bytes);
}

THXExchange TExchangeCapture::Exchange(std::string url, std::string method, std::string ipAddress, bool bodyRead)
{
    THXExchange exchange;
    exchange.URL = std::move(url);
    exchange.Method = std::move(method);
    exchange.IPAddress = std::move(ipAddress);
    exchange.Time = m_time;
    exchange.Request = m_request;
    exchange.RequestDigest = TSha1::Labelled(m_request);
    exchange.Response = &m_response;
    exchange.ResponseDigest = m_block.FinishLabelled();
    exchange.PayloadDigest = m_payload.FinishLabelled();
    exchange.BodyRead = bodyRead;
    return exchange;
}

} // namespace hx
