#pragma once

// The skin's colours are stored as "$00BBGGRR" texts (blue, green, red in hex, the
// first byte unused). ThemeColorRgb reads one; the windows turn it into their colour.

#include <optional>
#include <string_view>

namespace hx
{

struct TRgb
{
    int Red = 0;
    int Green = 0;
    int Blue = 0;
    bool operator==(const TRgb&) const = default;
};

// The colour of a "$00BBGGRR" text (six or eight hex digits after "$"); none when
// the text is not of that form.
std::optional<TRgb> ThemeColorRgb(std::string_view text);

} // namespace hx
