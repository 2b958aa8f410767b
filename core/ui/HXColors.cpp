#include "core/ui/HXColors.h"

#include <charconv>
#include <cstdint>

namespace hx
{

std::optional<TRgb> ThemeColorRgb(std::string_view text)
{
    if (text.empty() || text.front() != '$')
        return std::nullopt;
    text.remove_prefix(1);
    if (text.size() != 6 && text.size() != 8)
        return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    TRgb rgb;
    rgb.Red = static_cast<int>(value & 0xFF);
    rgb.Green = static_cast<int>(value >> 8 & 0xFF);
    rgb.Blue = static_cast<int>(value >> 16 & 0xFF);
    return rgb;
}

} // namespace hx
