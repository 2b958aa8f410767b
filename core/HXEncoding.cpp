#include "core/HXEncoding.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace hx
{

namespace
{

// Code points of the bytes 0x80-0x9F. The five bytes the code page leaves undefined
// stand for the C1 control of the same number, so every byte has a character and
// every such character a byte.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The pilcrow is the queue's record separator: it is always written as an escape so
// that a raw 0xB6 in a file is only ever a separator the caller put there.
constexpr char32_t kPilcrow = 0xB6;

char32_t ByteToCodePoint(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControls[byte - 0x80];
    return byte;
}

// The Windows-1252 byte for a code point, when the code page holds it.
std::optional<unsigned char> CodePointToByte(char32_t codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<unsigned char>(codePoint);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
    {
        if (kHighControls[i] == codePoint)
            return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

struct TDecoded
{
    char32_t codePoint;
    std::size_t length;
};

// Decodes one well-formed UTF-8 sequence at the offset; nothing when the bytes there
// are not one (overlong forms, surrogates and values above U+10FFFF included).
std::optional<TDecoded> DecodeUtf8At(std::string_view bytes, std::size_t offset)
{
    const auto lead = static_cast<unsigned char>(bytes[offset]);
    if (lead < 0x80)
        return TDecoded{lead, 1};
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        length = 2;
        codePoint = lead & 0x1Fu;
        minimum = 0x80;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        codePoint = lead & 0x0Fu;
        minimum = 0x800;
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        codePoint = lead & 0x07u;
        minimum = 0x10000;
    }
    else
    {
        return std::nullopt;
    }
    if (bytes.size() - offset < length)
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i)
    {
        const auto next = static_cast<unsigned char>(bytes[offset + i]);
        if ((next & 0xC0u) != 0x80u)
            return std::nullopt;
        codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return std::nullopt;
    return TDecoded{codePoint, length};
}

bool IsValidCodePoint(char32_t codePoint)
{
    return codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
}

// Reads a "&#N;" escape at the offset: N is 1 to 7 decimal digits naming a valid code
// point other than 0. Anything else is not an escape and stays literal text.
std::optional<TDecoded> DecodeEscapeAt(std::string_view bytes, std::size_t offset)
{
    constexpr std::size_t kMaxDigits = 7;
    if (bytes.size() - offset < 4 || bytes[offset] != '&' || bytes[offset + 1] != '#')
        return std::nullopt;
    std::size_t i = offset + 2;
    char32_t codePoint = 0;
    std::size_t digits = 0;
    while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9')
    {
        if (++digits > kMaxDigits)
            return std::nullopt;
        codePoint = codePoint * 10 + static_cast<char32_t>(bytes[i] - '0');
        ++i;
    }
    if (digits == 0 || i >= bytes.size() || bytes[i] != ';')
        return std::nullopt;
    if (codePoint == 0 || !IsValidCodePoint(codePoint))
        return std::nullopt;
    return TDecoded{codePoint, i + 1 - offset};
}

void AppendEscape(std::string& out, char32_t codePoint)
{
    out += "&#";
    out += std::to_string(static_cast<std::uint32_t>(codePoint));
    out += ';';
}

enum class TSourceKind
{
    Cp1252,
    Utf8,
};

// File text → UTF-8: escapes are turned back; the other bytes are read as UTF-8
// (when the file says so and they form a sequence) or as Windows-1252.
std::string DecodeFileText(std::string_view bytes, TSourceKind kind, bool escapes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    std::size_t i = 0;
    while (i < bytes.size())
    {
        if (escapes && bytes[i] == '&')
        {
            if (const auto escape = DecodeEscapeAt(bytes, i))
            {
                AppendUtf8(out, escape->codePoint);
                i += escape->length;
                continue;
            }
        }
        if (kind == TSourceKind::Utf8)
        {
            if (const auto decoded = DecodeUtf8At(bytes, i))
            {
                out.append(bytes.substr(i, decoded->length));
                i += decoded->length;
                continue;
            }
        }
        AppendUtf8(out, ByteToCodePoint(static_cast<unsigned char>(bytes[i])));
        ++i;
    }
    return out;
}

} // namespace

bool IsValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size())
    {
        const auto decoded = DecodeUtf8At(bytes, i);
        if (!decoded)
            return false;
        i += decoded->length;
    }
    return true;
}

std::string Utf8ToCp1252(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size())
    {
        const auto decoded = DecodeUtf8At(utf8, i);
        if (!decoded)
        {
            // Not UTF-8: the byte is taken as the code page's own character.
            out.push_back(utf8[i]);
            ++i;
            continue;
        }
        i += decoded->length;
        const char32_t codePoint = decoded->codePoint;
        if (codePoint == '&' && i < utf8.size() && utf8[i] == '#')
        {
            // A literal "&#" would read back as the start of an escape.
            AppendEscape(out, codePoint);
            continue;
        }
        const auto byte = codePoint == kPilcrow ? std::nullopt : CodePointToByte(codePoint);
        if (byte)
            out.push_back(static_cast<char>(*byte));
        else
            AppendEscape(out, codePoint);
    }
    return out;
}

std::string Cp1252ToUtf8(std::string_view cp1252)
{
    return DecodeFileText(cp1252, TSourceKind::Cp1252, true);
}

std::string Utf8FileTextToUtf8(std::string_view bytes)
{
    return DecodeFileText(bytes, TSourceKind::Utf8, true);
}

std::string Cp1252ToUtf8Plain(std::string_view cp1252)
{
    return DecodeFileText(cp1252, TSourceKind::Cp1252, false);
}

std::string PageTextToUtf8(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return Cp1252ToUtf8Plain(bytes);
}

void AppendUtf8(std::string& out, char32_t codePoint)
{
    if (!IsValidCodePoint(codePoint))
        codePoint = 0xFFFD;
    if (codePoint < 0x80)
    {
        out.push_back(static_cast<char>(codePoint));
    }
    else if (codePoint < 0x800)
    {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
    else if (codePoint < 0x10000)
    {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
    else
    {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

} // namespace hx
