#include "core/HXQueueLines.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace hx
{

namespace
{

constexpr int kOffsetBits = 20;
constexpr int kLengthBits = 20;
constexpr std::uint64_t kFieldMask = (std::uint64_t{1} << 20) - 1;

std::uint64_t Handle(std::size_t block, std::size_t offset, std::uint64_t length)
{
    return (static_cast<std::uint64_t>(block) << (kOffsetBits + kLengthBits)) |
           (static_cast<std::uint64_t>(offset) << kLengthBits) | length;
}

std::size_t BlockOf(std::uint64_t handle)
{
    return static_cast<std::size_t>(handle >> (kOffsetBits + kLengthBits));
}

std::size_t OffsetOf(std::uint64_t handle)
{
    return static_cast<std::size_t>((handle >> kLengthBits) & kFieldMask);
}

} // namespace

std::string_view THXQueueLines::operator[](std::size_t line) const
{
    const std::uint64_t handle = m_handles[line];
    const TBlock& block = m_blocks[BlockOf(handle)];
    const std::uint64_t length = handle & kFieldMask;
    if (length == kOwnBlock)
        return {block.bytes.get(), block.size};
    return {block.bytes.get() + OffsetOf(handle), static_cast<std::size_t>(length)};
}

std::uint64_t THXQueueLines::Store(std::string_view text)
{
    if (text.size() >= kOwnBlock)
    {
        TBlock own{std::make_unique_for_overwrite<char[]>(text.size()), text.size(), text.size(), 1};
        std::memcpy(own.bytes.get(), text.data(), text.size());
        m_blocks.push_back(std::move(own));
        return Handle(m_blocks.size() - 1, 0, kOwnBlock);
    }
    if (m_blocks.empty() || m_blocks.back().size - m_blocks.back().used < text.size())
        m_blocks.push_back({std::make_unique_for_overwrite<char[]>(kBlockBytes), kBlockBytes, 0});
    TBlock& block = m_blocks.back();
    const std::size_t offset = block.used;
    if (!text.empty())
        std::memcpy(block.bytes.get() + offset, text.data(), text.size());
    block.used += text.size();
    ++block.lines;
    return Handle(m_blocks.size() - 1, offset, text.size());
}

void THXQueueLines::push_back(std::string_view text)
{
    m_handles.push_back(Store(text));
    m_liveBytes += text.size();
}

void THXQueueLines::Replace(std::size_t line, std::string_view text)
{
    std::uint64_t& handle = m_handles[line];
    const std::uint64_t length = handle & kFieldMask;
    const std::size_t oldSize = (*this)[line].size();
    m_liveBytes = m_liveBytes - oldSize + text.size();
    if (length != kOwnBlock && text.size() <= oldSize)
    {
        // Fits where the old text stood: the rest of its place is left unused.
        TBlock& block = m_blocks[BlockOf(handle)];
        if (!text.empty())
            std::memmove(block.bytes.get() + OffsetOf(handle), text.data(), text.size());
        handle = Handle(BlockOf(handle), OffsetOf(handle), text.size());
        m_wastedBytes += oldSize - text.size();
    }
    else
    {
        --m_blocks[BlockOf(handle)].lines;
        handle = Store(text);
        m_wastedBytes += oldSize;
    }
    CompactIfWasteful();
}

void THXQueueLines::CompactIfWasteful()
{
    if (m_wastedBytes < kBlockBytes || m_wastedBytes < m_liveBytes / 8)
        return;
    // The bytes still in use in each block.
    std::vector<std::size_t> live(m_blocks.size(), 0);
    for (const std::uint64_t handle : m_handles)
    {
        const std::uint64_t length = handle & kFieldMask;
        live[BlockOf(handle)] += length == kOwnBlock ? m_blocks[BlockOf(handle)].size : length;
    }
    // Only blocks with space left behind are emptied, their live lines moved to the
    // end: a block of lines that no longer change (URLs, records of finished items)
    // is not copied again at every compaction. The block being filled stays.
    std::vector<bool> emptied(m_blocks.size(), false);
    std::size_t reclaimed = 0;
    for (std::size_t block = 0; block + 1 < m_blocks.size(); ++block)
    {
        TBlock& candidate = m_blocks[block];
        if (!candidate.bytes || live[block] == candidate.used)
            continue;
        emptied[block] = true;
        reclaimed += candidate.used - live[block];
        if (live[block] == 0)
        {
            candidate.bytes.reset();
            candidate.lines = 0;
        }
    }
    for (std::uint64_t& handle : m_handles)
    {
        const std::size_t block = BlockOf(handle);
        if (!emptied[block])
            continue;
        const std::uint64_t length = handle & kFieldMask;
        const char* bytes = m_blocks[block].bytes.get();
        const std::string_view text = length == kOwnBlock ? std::string_view(bytes, m_blocks[block].size)
                                                          : std::string_view(bytes + OffsetOf(handle), length);
        // Store may add a block (the text stays where it is): the old block is
        // looked up again afterwards, and freed once its last line has moved.
        handle = Store(text);
        if (--m_blocks[block].lines == 0)
            m_blocks[block].bytes.reset();
    }
    m_wastedBytes -= std::min(reclaimed, m_wastedBytes);
}

void THXQueueLines::clear()
{
    std::vector<TBlock>().swap(m_blocks);
    std::deque<std::uint64_t>().swap(m_handles);
    m_liveBytes = 0;
    m_wastedBytes = 0;
}

} // namespace hx
