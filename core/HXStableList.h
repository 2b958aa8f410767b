#pragma once

// THXStableList: a list that grows only at its end and never moves an element, so a
// pointer to an element stays valid until the list is cleared. The elements stand in
// chunks of a fixed count, each allocated once at its full size: an element costs its
// own size and a pointer per chunk. (A std::deque keeps elements in place too, but its
// blocks are 512 bytes, so an element of a hundred bytes or more pays for the block's
// unused tail and its allocation: a queue item of 112 bytes took 130.)
//
// Not thread-safe: its owner guards it.

#include <cstddef>
#include <utility>
#include <vector>

namespace hx
{

template <typename T, std::size_t ChunkElements = 1024>
class THXStableList
{
    static_assert((ChunkElements & (ChunkElements - 1)) == 0, "a chunk holds a power of two elements");

public:
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    T& operator[](std::size_t index) { return m_chunks[index / ChunkElements][index % ChunkElements]; }
    const T& operator[](std::size_t index) const { return m_chunks[index / ChunkElements][index % ChunkElements]; }
    T& back() { return (*this)[m_size - 1]; }

    template <typename... TArgs>
    T& emplace_back(TArgs&&... args)
    {
        if (m_size % ChunkElements == 0)
        {
            // A chunk's room is reserved whole, so adding to it never reallocates it.
            m_chunks.emplace_back();
            m_chunks.back().reserve(ChunkElements);
        }
        T& added = m_chunks.back().emplace_back(std::forward<TArgs>(args)...);
        ++m_size;
        return added;
    }

    // Destroys every element and gives the memory back.
    void clear()
    {
        std::vector<std::vector<T>>().swap(m_chunks);
        m_size = 0;
    }

private:
    std::vector<std::vector<T>> m_chunks;
    std::size_t m_size = 0;
};

} // namespace hx
