#include "reports/HXHtml.h"

#include "core/HXStrings.h"

namespace hx
{

namespace
{

bool IsPlainPathByte(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    switch (c)
    {
    case '-':
    case '.':
    case '_':
    case '~':
    case '/':
    case '!':
    case '$':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
    case ':':
    case '@':
        return true;
    default:
        return false;
    }
}

} // namespace

std::string EscapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
    {
        switch (c)
        {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string EscapeAttribute(std::string_view text)
{
    return EscapeHtml(text);
}

std::string LocalHref(std::string_view path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char c : path)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (IsPlainPathByte(byte))
        {
            out.push_back(c);
            continue;
        }
        out.push_back('%');
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 0x0F]);
    }
    return out;
}

std::string URLHref(std::string_view url)
{
    const std::size_t colon = url.find(':');
    const std::size_t slash = url.find_first_of("/?#");
    const bool hasScheme = colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash);
    if (hasScheme)
    {
        const std::string scheme = LowerCase(Trim(url.substr(0, colon)));
        if (scheme != "http" && scheme != "https" && scheme != "ftp")
            return "#";
    }
    return EscapeAttribute(url);
}

} // namespace hx
