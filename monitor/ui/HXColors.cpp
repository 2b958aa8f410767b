#include "monitor/ui/HXColors.h"

#include <cstdint>

namespace hx
{

namespace
{

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<TRgb> ThemeColorRgb(std::string_view text)
{
    if (text.empty() || text.front() != '$')
        return std::nullopt;
    text.remove_prefix(1);
    if (text.size() != 6 && text.size() != 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text)
    {
        const int digit = HexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    TRgb rgb;
    rgb.Red = static_cast<int>(value & 0xFF);
    rgb.Green = static_cast<int>(value >> 8 & 0xFF);
    rgb.Blue = static_cast<int>(value >> 16 & 0xFF);
    return rgb;
}

} // namespace hx
