#pragma once

// THXItemText: a text field of a queue item that costs one pointer while it is
// empty. An item keeps most of its texts only while its record is loaded, and the
// rest (its group, the folder its links are resolved against, its frame flag)
// repeat across thousands of items: so a text is either absent, its own heap copy,
// or a borrowed copy that the task's queue keeps once for all items sharing it.
//
// It reads like a std::string (it converts to one, to std::string_view and to a
// path, and compares, prints and concatenates like one); writing to it always makes
// an own copy. Copying an item's text copies the characters, so a copy never borrows.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>

namespace hx
{

class THXItemText
{
public:
    THXItemText() = default;
    explicit THXItemText(std::string_view text) { Assign(text); }
    THXItemText(const THXItemText& other) { Assign(other.View()); }
    THXItemText(THXItemText&& other) noexcept;
    ~THXItemText() { Release(); }

    THXItemText& operator=(const THXItemText& other);
    THXItemText& operator=(THXItemText&& other) noexcept;
    THXItemText& operator=(std::string text);
    THXItemText& operator=(const char* text) { return *this = std::string(text); }
    THXItemText& operator=(std::string_view text) { return *this = std::string(text); }

    const std::string& str() const;
    operator const std::string&() const { return str(); }
    // A local file's name also makes a path (std::filesystem takes paths).
    operator std::filesystem::path() const { return str(); }
    operator std::string_view() const { return str(); }

    bool empty() const { return str().empty(); }
    std::size_t size() const { return str().size(); }
    const char* c_str() const { return str().c_str(); }
    const char* data() const { return str().data(); }
    char front() const { return str().front(); }
    char back() const { return str().back(); }
    bool starts_with(std::string_view prefix) const { return str().starts_with(prefix); }
    bool ends_with(std::string_view suffix) const { return str().ends_with(suffix); }
    std::size_t find(std::string_view text, std::size_t from = 0) const { return str().find(text, from); }
    std::size_t rfind(std::string_view text, std::size_t from = std::string::npos) const
    {
        return str().rfind(text, from);
    }
    std::string substr(std::size_t from, std::size_t count = std::string::npos) const
    {
        return str().substr(from, count);
    }
    void clear() { Release(); }
    void assign(std::size_t count, char c) { *this = std::string(count, c); }
    THXItemText& operator+=(std::string_view text);
    THXItemText& operator+=(char c);

    // An empty text that was emptied on purpose, so the record's stored text goes
    // too (an empty text otherwise stands for "not loaded"). Writing a text ends it.
    void MarkCleared();
    bool IsCleared() const { return m_bits == kClearedMark; }

    // Borrows the queue's shared copy of an equal text (owner of `shared`: the queue,
    // which outlives its items' borrowed texts).
    void Borrow(const std::string* shared);
    bool IsBorrowed() const { return (m_bits & kBorrowedBit) != 0 && m_bits != kClearedMark; }

    friend bool operator==(const THXItemText& a, const THXItemText& b) { return a.str() == b.str(); }
    friend bool operator==(const THXItemText& a, std::string_view b) { return a.str() == b; }
    friend std::string operator+(const THXItemText& a, std::string_view b);
    friend std::string operator+(std::string_view a, const THXItemText& b);
    friend std::ostream& operator<<(std::ostream& out, const THXItemText& text);

private:
    // m_bits: 0 (absent), kClearedMark, an owned std::string* or a borrowed one with
    // kBorrowedBit set (std::string is aligned to at least 4 bytes).
    static constexpr std::uintptr_t kBorrowedBit = 1;
    static constexpr std::uintptr_t kClearedMark = 2;

    std::string_view View() const { return str(); }
    void Assign(std::string_view text);
    void Release();
    std::string* Owned() const;

    std::uintptr_t m_bits = 0;
};

} // namespace hx
