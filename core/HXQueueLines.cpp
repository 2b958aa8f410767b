#include "core/HXQueueLines.h"

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
    // Copies every line, in order, into fresh blocks; an old block is freed once
    // the last of its lines has moved.
    THXQueueLines compact;
    for (std::size_t line = 0; line < m_handles.size(); ++line)
    {
        compact.push_back((*this)[line]);
        TBlock& old = m_blocks[BlockOf(m_handles[line])];
        if (--old.lines == 0)
            old.bytes.reset();
    }
    *this = std::move(compact);
}

void THXQueueLines::clear()
{
    std::vector<TBlock>().swap(m_blocks);
    std::deque<std::uint64_t>().swap(m_handles);
    m_liveBytes = 0;
    m_wastedBytes = 0;
}

} // namespace hx
