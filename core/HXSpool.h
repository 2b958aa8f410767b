#pragma once

// THXSpool: bytes that arrive piece by piece and are read back once whole, such
// as an answer kept for the archive file. Up to a threshold they stay in memory;
// past it they go on into an unnamed temporary file (removed by the system when
// the spool closes), so a large download costs no more memory than a small one.
//
// Threads: one object, one thread.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/HXFiles.h"

namespace hx
{

// Bytes a spool keeps in memory before it moves them into its temporary file.
inline constexpr std::size_t kSpoolMemoryLimit = 4 * 1024 * 1024;

class THXSpool
{
public:
    explicit THXSpool(std::size_t memoryLimit = kSpoolMemoryLimit);

    // Throws EFileError when the temporary file cannot be made or written.
    void Write(std::string_view bytes);
    std::int64_t Size() const { return m_size; }
    // Forgets the bytes (and the temporary file).
    void Clear();
    // Hands the bytes over in order, in pieces. Throws EFileError when the
    // temporary file cannot be read back.
    void ForEachPiece(const std::function<void(std::string_view piece)>& piece) const;
    // The first bytes, at most `count` of them.
    std::string Head(std::size_t count) const;

private:
    void Spill();

    std::size_t m_memoryLimit;
    std::string m_memory;
    TFileHandle m_file;
    std::int64_t m_size = 0;
};

} // namespace hx
