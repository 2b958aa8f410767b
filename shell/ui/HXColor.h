#pragma once

// Colours as the settings write them: "$00BBGGRR" (blue, green, red, as hex pairs).

#include <QColor>

#include <string_view>

namespace hx
{

// The colour of a "$00BBGGRR" text; black for a text that is not one.
QColor ColorFromSetting(std::string_view text);

} // namespace hx
