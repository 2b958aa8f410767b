#pragma once

// TExchangeCapture: what the HTTP client keeps of one exchange for a recorder
// (THXExchangeRecorder): the request as sent, the answer as received (through the
// socket's receive tap: header lines with their line ends, chunk size lines, body
// bytes before any decoding) and the digests the archive records carry, computed
// as the bytes arrive.
//
// Threads: one, the exchange's.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/HXExchangeRecorder.h"
#include "core/HXSpool.h"
#include "net/HXDigest.h"
#include "net/agsocket.h"

namespace hx
{

class TExchangeCapture final : public TReceiveTap
{
public:
    // A new exchange: the request as it is about to be sent; the answer so far is forgotten.
    void Begin(std::string request, std::int64_t time);
    // The request goes again over a fresh connection: what came on the old one is dropped.
    void Restart();
    void Received(std::string_view bytes, bool data) override;
    // The whole exchange, for the recorder. Valid while the capture is unchanged.
    THXExchange Exchange(std::string url, std::string method, std::string ipAddress, bool bodyRead);

private:
    std::string m_request;
    std::int64_t m_time = 0;
    THXSpool m_response;
    TSha1 m_block;
    TSha1 m_payload;
};

} // namespace hx
