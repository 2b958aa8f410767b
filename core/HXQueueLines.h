#pragma once

// THXQueueLines: the lines of a task's queue (URL lines and item records) in one
// arena of large blocks instead of one heap string each: a line costs its bytes and
// an 8-byte handle. A rewritten record that fits stays where it was; one that grew
// goes to the end, and the arena is compacted once the space left behind passes an
// eighth of the text; compaction frees each old block as soon as its last line has
// moved, so it needs little more memory than the text itself.
//
// Not thread-safe: the queue's lock (THXQueue) guards it. A view returned by a read stays
// valid until the next change.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hx
{

class THXQueueLines
{
public:
    std::size_t size() const { return m_handles.size(); }
    bool empty() const { return m_handles.empty(); }
    std::string_view operator[](std::size_t line) const;
    void push_back(std::string_view text);
    void Replace(std::size_t line, std::string_view text);
    void clear();
    // Bytes of text held (without the space left behind by rewrites).
    std::size_t TextBytes() const { return m_liveBytes; }

private:
    // A handle: block number (24 bits), offset in the block (20 bits), length (20
    // bits). A line too long for a block gets a block of its own; its length field
    // then says kOwnBlock and the block's size is the length.
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
    static constexpr std::uint64_t kOwnBlock = (std::uint64_t{1} << 20) - 1;

    struct TBlock
    {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
        std::size_t used = 0;
        // Lines whose text stands in this block.
        std::size_t lines = 0;
    };

    std::uint64_t Store(std::string_view text);
    void CompactIfWasteful();

    std::vector<TBlock> m_blocks;
    std::deque<std::uint64_t> m_handles;
    std::size_t m_liveBytes = 0;
    std::size_t m_wastedBytes = 0;
};

} // namespace hx
