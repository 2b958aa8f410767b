#pragma once

// The one conversion between the engine's text (UTF-8 in std::string) and the
// windows' QString. Every window uses these instead of its own copy.

#include <QString>

#include <string>
#include <string_view>

namespace hx
{

// Engine text (UTF-8) as a QString.
inline QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A QString as engine text (UTF-8).
inline std::string Std(const QString& text)
{
    return text.toStdString();
}

} // namespace hx
