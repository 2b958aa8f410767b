#include "core/HXItemText.h"

#include <memory>
#include <ostream>

namespace hx
{

namespace
{

const std::string& EmptyText()
{
    static const std::string empty;
    return empty;
}

} // namespace

THXItemText::THXItemText(THXItemText&& other) noexcept
{
    *this = std::move(other);
}

THXItemText& THXItemText::operator=(const THXItemText& other)
{
    if (this != &other)
        Assign(other.View());
    return *this;
}

THXItemText& THXItemText::operator=(THXItemText&& other) noexcept
{
    if (this == &other)
        return *this;
    if (other.IsBorrowed())
    {
        // A borrowed text stays with the queue that lends it: the new owner borrows
        // too only while it is the same queue's item, which a move cannot tell.
        std::string copy;
        try
        {
            copy = other.str();
        }
        catch (...)
        {
            return *this;
        }
        Release();
        if (!copy.empty())
            m_bits = reinterpret_cast<std::uintptr_t>(std::make_unique<std::string>(std::move(copy)).release());
        return *this;
    }
    Release();
    m_bits = other.m_bits;
    other.m_bits = 0;
    return *this;
}

THXItemText& THXItemText::operator=(std::string text)
{
    if (text.empty())
    {
        if (!IsCleared())
            Release();
        return *this;
    }
    if (std::string* owned = Owned())
    {
        *owned = std::move(text);
        return *this;
    }
    Release();
    m_bits = reinterpret_cast<std::uintptr_t>(std::make_unique<std::string>(std::move(text)).release());
    return *this;
}

const std::string& THXItemText::str() const
{
    if (m_bits == 0 || m_bits == kClearedMark)
        return EmptyText();
    return *reinterpret_cast<const std::string*>(m_bits & ~kBorrowedBit);
}

THXItemText& THXItemText::operator+=(std::string_view text)
{
    return *this = str() + std::string(text);
}

THXItemText& THXItemText::operator+=(char c)
{
    std::string longer = str();
    longer.push_back(c);
    return *this = std::move(longer);
}

void THXItemText::MarkCleared()
{
    Release();
    m_bits = kClearedMark;
}

void THXItemText::Borrow(const std::string* shared)
{
    Release();
    if (shared != nullptr && !shared->empty())
        m_bits = reinterpret_cast<std::uintptr_t>(shared) | kBorrowedBit;
}

void THXItemText::Assign(std::string_view text)
{
    *this = std::string(text);
}

std::string* THXItemText::Owned() const
{
    if (m_bits == 0 || m_bits == kClearedMark || (m_bits & kBorrowedBit) != 0)
        return nullptr;
    return reinterpret_cast<std::string*>(m_bits);
}

void THXItemText::Release()
{
    // The owned copy was made by make_unique and released into m_bits.
    std::unique_ptr<std::string> owned(Owned());
    m_bits = 0;
}

std::string operator+(const THXItemText& a, std::string_view b)
{
    std::string joined = a.str();
    joined += b;
    return joined;
}

std::string operator+(std::string_view a, const THXItemText& b)
{
    std::string joined(a);
    joined += b.str();
    return joined;
}

std::ostream& operator<<(std::ostream& out, const THXItemText& text)
{
    return out << text.str();
}

} // namespace hx
