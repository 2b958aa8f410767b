#include "shell/ui/HXColor.h"

#include <charconv>

namespace hx
{

QColor ColorFromSetting(std::string_view text)
{
    if (!text.empty() && text.front() == '$')
        text.remove_prefix(1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return QColor(Qt::black);
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

} // namespace hx
