#pragma once

// The comma list: the text form of every list in task and profile files and of
// one URL filter group. Items are separated by ","; an item holding a byte up to
// 0x20, a double quote or a comma is written between double quotes with inner
// quotes doubled; a list of exactly one empty item is written as "".

#include <string>
#include <string_view>
#include <vector>

namespace hx
{

using TStringList = std::vector<std::string>;

std::string CommaText(const TStringList& items);

// Blanks and control bytes before an item and around a separating comma are
// skipped; a quoted item runs to its closing quote ("" stands for one quote); any
// other item ends at the first comma or the first byte up to 0x20.
TStringList ParseCommaText(std::string_view text);

} // namespace hx
