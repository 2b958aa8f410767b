#pragma once

// File type groups: named lists of extensions kept as text values under the
// settings key "\Software\Tavrolin\Harbex\File Types" (value name = group name,
// value text = ".gif;.jpg;"). The group "HTML" marks pages; every other URL is a
// resource. Groups are taken in the order the store lists them.

#include <string>
#include <string_view>
#include <vector>

namespace hx
{

class THXSettingsStore;

inline constexpr std::string_view kPageGroup = "HTML";
inline constexpr std::string_view kImageGroup = "Images";

struct TFileTypeGroups
{
    std::vector<std::string> names;
    std::vector<std::string> texts;
};

// The extension a URL is classified by: URLExtension, ".htm" when empty, and for a
// URL with a query ".gif" / ".jpg" when its text holds "=gif" / "=jpg", else ".htm".
std::string ClassificationExtension(std::string_view url);

// The first group (in store order) whose text lists the extension followed by ";".
std::string GroupOfExtension(const TFileTypeGroups& groups, std::string_view extension);

// Group name of a URL or of a file, or empty (a resource of no group).
std::string GroupOfURL(THXSettingsStore& store, std::string_view url);
std::string GroupOfFile(THXSettingsStore& store, std::string_view path);
std::string GroupOfURL(const TFileTypeGroups& groups, std::string_view url);
std::string GroupOfFile(const TFileTypeGroups& groups, std::string_view path);

TFileTypeGroups ReadGroups(THXSettingsStore& store);
// Stores the group's text (a new value when the name is new). A non-empty text
// that does not end with ";" gets one appended, as the group editor does.
void WriteGroup(THXSettingsStore& store, std::string_view name, std::string_view text);
void DeleteGroup(THXSettingsStore& store, std::string_view name);

} // namespace hx
