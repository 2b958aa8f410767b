#pragma once

// TContentDecoder: undoes a body's content coding (gzip or deflate) while the
// body streams in, writing the decoded bytes on into the body's real sink (the
// part file, or the client's in-memory body). So the file on disk is the decoded
// resource and no compressed copy is ever held whole.
//
// The decoder is itself a byte sink: the socket writes the received bytes into it
// and reads back Position() for its percent, which therefore counts received
// (compressed) bytes against the answer's Content-Length.
//
// Threads: one, the transfer's.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/agsocketstream.h"

namespace hx
{

enum class TContentCoding
{
    Identity, // nothing to undo (or a coding this client did not ask for)
    Gzip,
    Deflate
};

// The coding a Content-Encoding value names: "gzip" and "x-gzip" are gzip,
// "deflate" is deflate; anything else (several codings, unknown ones) is Identity,
// so the body is kept as the server sent it.
TContentCoding ContentCodingOf(std::string_view contentEncoding);

// Whether a body the server compressed is the download itself: a gzip archive
// (".gz", ".tgz", ".tar.gz", ".svgz" by its path, or an archive content type)
// that the server labelled with Content-Encoding as many do. Such a body is
// saved as served; decoding it would store the bare tar or a file that no
// longer matches its name.
bool KeepsContentCoding(std::string_view path, std::string_view contentType);

class TContentDecoder final : public TByteSink
{
public:
    // Decoded bytes go into `target` from its current position.
    TContentDecoder(TContentCoding coding, TByteSink& target);
    ~TContentDecoder() override;
    TContentDecoder(const TContentDecoder&) = delete;
    TContentDecoder& operator=(const TContentDecoder&) = delete;

    // Takes received bytes and writes what they decode to. Once the bytes turn out
    // not to be of the coding, Failed is set and nothing more is decoded.
    void Write(std::string_view data) override;
    // Received bytes taken so far.
    std::int64_t Position() const override { return m_received; }
    std::int64_t Size() const override { return m_received; }
    // Received bytes cannot be gone back over.
    void Seek(std::int64_t position) override { (void)position; }

    // Whether every byte so far decoded cleanly.
    bool Failed() const { return m_failed; }
    // After the last byte: true when the compressed stream ended properly (its
    // end mark and, for gzip, its check sum were there), or when no byte came.
    bool Complete() const { return !m_failed && (m_ended || m_received == 0 || m_coding == TContentCoding::Identity); }

private:
    struct TState;

    void Start(bool rawDeflate);
    void Inflate(std::string_view data);

    TContentCoding m_coding;
    TByteSink& m_target;
    std::unique_ptr<TState> m_state;
    // A deflate body's first two bytes tell a zlib wrapper from bare deflate data.
    std::string m_head;
    std::int64_t m_received = 0;
    bool m_failed = false;
    bool m_ended = false;
};

} // namespace hx
