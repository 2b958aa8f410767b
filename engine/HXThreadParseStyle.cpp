#include "engine/HXThreadParseStyle.h"

#include "core/HXStrings.h"

namespace hx
{

namespace
{

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool AtNoCase(std::string_view text, std::size_t at, std::string_view word)
{
    return at <= text.size() && StartsWithNoCase(text.substr(at), word);
}

// Where the string opened by the quote at `open` ends: the position of its closing
// quote, or the end of the text. Backslashes escape the next byte.
std::size_t StringEnd(std::string_view css, std::size_t open)
{
    const char quote = css[open];
    std::size_t at = open + 1;
    while (at < css.size() && css[at] != quote)
        at += css[at] == '\\' ? 2 : 1;
    return std::min(at, css.size());
}

// A link worth handing on: not empty after trimming, not an inline data: address.
void AddLink(std::vector<TInnerLink>& links, std::string_view text, std::size_t start, std::size_t end)
{
    while (start < end && IsBlank(text[start]))
        ++start;
    while (end > start && IsBlank(text[end - 1]))
        --end;
    if (end <= start || StartsWithNoCase(text.substr(start, end - start), "data:"))
        return;
    links.push_back({start, end - start});
}

} // namespace

std::vector<TInnerLink> FindStyleLinks(std::string_view css)
{
    std::vector<TInnerLink> links;
    std::size_t at = 0;
    while (at < css.size())
    {
        const char c = css[at];
        if (c == '/' && at + 1 < css.size() && css[at + 1] == '*')
        {
            const std::size_t close = css.find("*/", at + 2);
            at = close == std::string_view::npos ? css.size() : close + 2;
            continue;
        }
        if (c == '"' || c == '\'')
        {
            at = StringEnd(css, at) + 1; // a string that is not a link
            continue;
        }
        if ((c == 'u' || c == 'U') && AtNoCase(css, at, "url(") && (at == 0 || !IsNameChar(css[at - 1])))
        {
            std::size_t inner = at + 4;
            while (inner < css.size() && IsBlank(css[inner]))
                ++inner;
            if (inner < css.size() && (css[inner] == '"' || css[inner] == '\''))
            {
                const std::size_t close = StringEnd(css, inner);
                AddLink(links, css, inner + 1, close);
                const std::size_t paren = css.find(')', close);
                at = paren == std::string_view::npos ? css.size() : paren + 1;
            }
            else
            {
                const std::size_t paren = css.find(')', inner);
                const std::size_t end = paren == std::string_view::npos ? css.size() : paren;
                AddLink(links, css, inner, end);
                at = end + 1;
            }
            continue;
        }
        if (c == '@' && AtNoCase(css, at, "@import"))
        {
            std::size_t inner = at + 7;
            while (inner < css.size() && IsBlank(css[inner]))
                ++inner;
            if (inner < css.size() && (css[inner] == '"' || css[inner] == '\''))
            {
                const std::size_t close = StringEnd(css, inner);
                AddLink(links, css, inner + 1, close);
                at = close + 1;
                continue;
            }
            at = inner; // @import url(...): the url( is read next
            continue;
        }
        ++at;
    }
    return links;
}

std::vector<TInnerLink> FindSrcsetLinks(std::string_view value)
{
    std::vector<TInnerLink> links;
    std::size_t at = 0;
    for (;;)
    {
        while (at < value.size() && (IsBlank(value[at]) || value[at] == ','))
            ++at;
        if (at >= value.size())
            break;
        const std::size_t start = at;
        while (at < value.size() && !IsBlank(value[at]))
            ++at;
        std::size_t end = at;
        if (value[end - 1] == ',')
        {
            // Commas that end the address separate it from the next candidate.
            while (end > start && value[end - 1] == ',')
                --end;
        }
        else
        {
            // The descriptors run to the next comma outside parentheses.
            bool inParens = false;
            while (at < value.size())
            {
                const char c = value[at++];
                if (c == ',' && !inParens)
                    break;
                if (c == '(')
                    inParens = true;
                else if (c == ')')
                    inParens = false;
            }
        }
        AddLink(links, value, start, end);
    }
    return links;
}

bool IsStyleSheetURL(std::string_view url)
{
    const std::size_t cut = url.find_first_of("?#");
    std::string_view path = url.substr(0, cut);
    const std::size_t scheme = path.find("://");
    if (scheme != std::string_view::npos && path.find('/', scheme + 3) == std::string_view::npos)
        return false; // a host name alone
    return EndsWithNoCase(path, ".css");
}

std::string StyleLinkText(std::string_view pageLink)
{
    std::string text;
    text.reserve(pageLink.size());
    for (const char c : pageLink)
    {
        if (c == '(')
            text += "%28";
        else if (c == ')')
            text += "%29";
        else
            text += c;
    }
    return text;
}

std::vector<TInnerLink> FindStyleBlocks(std::string_view page)
{
    std::vector<TInnerLink> blocks;
    std::size_t at = 0;
    while (at < page.size())
    {
        const std::size_t open = page.find('<', at);
        if (open == std::string_view::npos)
            break;
        at = open + 1;
        if (!AtNoCase(page, at, "style") || at + 5 >= page.size() || IsNameChar(page[at + 5]))
            continue;
        const std::size_t tagEnd = page.find('>', at);
        if (tagEnd == std::string_view::npos)
            break;
        std::size_t close = tagEnd + 1;
        for (;;)
        {
            close = page.find('<', close);
            if (close == std::string_view::npos || AtNoCase(page, close, "</style"))
                break;
            ++close;
        }
        if (close == std::string_view::npos)
            break;
        blocks.push_back({tagEnd + 1, close - tagEnd - 1});
        at = close + 7;
    }
    return blocks;
}

} // namespace hx
