#pragma once

// THXExchangeRecorder: where a task's HTTP exchanges are kept as they went over
// the wire (the archive file of a task with a "WARC File"). The HTTP client hands
// it every exchange it completes; the task holds it for the run.
//
// Threads: Record is called on the transfer threads, several at once.

#include <cstdint>
#include <string>

#include "core/HXSpool.h"

namespace hx
{

// One request and its answer, byte for byte.
struct THXExchange
{
    // The address asked for, and the method ("GET", "HEAD", "POST").
    std::string URL;
    std::string Method;
    // The address of the server the connection went to (a proxy's when through one).
    std::string IPAddress;
    // When the request was sent: seconds since 1970-01-01 UTC.
    std::int64_t Time = 0;
    // As sent: request line, header lines, empty line and a POST's body.
    std::string Request;
    std::string RequestDigest; // "sha1:" + Base32
    // As received: status line, header lines with their line ends, the empty line,
    // the body with its transfer coding (chunk sizes and all) and content coding.
    const THXSpool* Response = nullptr;
    std::string ResponseDigest;
    // The body alone without its transfer coding (the entity as the server's
    // Content-Encoding left it).
    std::string PayloadDigest;
    // False when the body was left unread (an answer not wanted, not read past).
    bool BodyRead = true;
};

class THXExchangeRecorder
{
public:
    virtual ~THXExchangeRecorder() = default;
    // Keeps the exchange. Fails with the exception that stops a run when nothing
    // more can be written (a full disk).
    virtual void Record(const THXExchange& exchange) = 0;
    // Puts on disk what Record has gathered so far. Called before the task's queue
    // is saved, so every exchange of an item the saved queue counts as done is on
    // disk. Returns false when it could not be written (it is kept for a later try,
    // and the next Record fails with the run-stopping exception).
    virtual bool Flush() { return true; }
};

} // namespace hx
