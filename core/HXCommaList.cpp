#include "core/HXCommaList.h"

namespace hx
{

namespace
{

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}

bool NeedsQuotes(std::string_view item)
{
    for (const char c : item)
    {
        if (IsBlankOrControl(c) || c == '"' || c == ',')
            return true;
    }
    return false;
}

void AppendQuoted(std::string& out, std::string_view item)
{
    out.push_back('"');
    for (const char c : item)
    {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

// Reads a quoted item starting at the opening quote; leaves `pos` after the closing
// quote (or at the end when the quote is never closed: the rest is the item).
std::string ReadQuoted(std::string_view text, std::size_t& pos)
{
    std::string item;
    ++pos;
    while (pos < text.size())
    {
        const char c = text[pos++];
        if (c != '"')
        {
            item.push_back(c);
            continue;
        }
        if (pos < text.size() && text[pos] == '"')
        {
            item.push_back('"');
            ++pos;
            continue;
        }
        break;
    }
    return item;
}

} // namespace

std::string CommaText(const TStringList& items)
{
    if (items.size() == 1 && items.front().empty())
        return "\"\"";
    std::string out;
    bool first = true;
    for (const std::string& item : items)
    {
        if (!first)
            out.push_back(',');
        first = false;
        if (NeedsQuotes(item))
            AppendQuoted(out, item);
        else
            out += item;
    }
    return out;
}

TStringList ParseCommaText(std::string_view text)
{
    TStringList items;
    std::size_t pos = 0;
    const auto skipBlanks = [&]()
    {
        while (pos < text.size() && IsBlankOrControl(text[pos]))
            ++pos;
    };
    skipBlanks();
    while (pos < text.size())
    {
        if (text[pos] == '"')
        {
            items.push_back(ReadQuoted(text, pos));
        }
        else
        {
            const std::size_t start = pos;
            while (pos < text.size() && !IsBlankOrControl(text[pos]) && text[pos] != ',')
                ++pos;
            items.emplace_back(text.substr(start, pos - start));
        }
        skipBlanks();
        if (pos < text.size() && text[pos] == ',')
        {
            ++pos;
            // A comma that ends the text still separates: an empty last item follows.
            if (pos == text.size())
                items.emplace_back();
            skipBlanks();
        }
    }
    return items;
}

} // namespace hx
