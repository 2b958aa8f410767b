#pragma once

// TSha1 and Base32: the digests an archive record carries ("sha1:" and the SHA-1
// in Base32, RFC 4648's upper-case alphabet with "=" padding), computed as the
// bytes stream past so a body is never held whole for them.
//
// Threads: one object, one thread.

#include <memory>
#include <string>
#include <string_view>

namespace hx
{

// RFC 4648 Base32 of the bytes: "A".."Z", "2".."7", padded with "=" to a multiple of 8.
std::string EncodeBase32(std::string_view bytes);

class TSha1
{
public:
    TSha1();
    ~TSha1();
    TSha1(const TSha1&) = delete;
    TSha1& operator=(const TSha1&) = delete;
    TSha1(TSha1&&) noexcept;
    TSha1& operator=(TSha1&&) noexcept;

    void Update(std::string_view bytes);
    // The 20 bytes of the digest of everything given since the start (or the last
    // Reset); the object starts over afterwards.
    std::string Finish();
    void Reset();
    // "sha1:" and the Base32 of Finish().
    std::string FinishLabelled();

    // The labelled digest of one piece of bytes.
    static std::string Labelled(std::string_view bytes);

private:
    struct TContext;
    std::unique_ptr<TContext> m_context;
};

} // namespace hx
