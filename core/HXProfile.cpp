#include "core/HXProfile.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "core/HXFiles.h"
#include "core/HXIniFile.h"
#include "core/HXStrings.h"

namespace hx
{

namespace
{

void ReadList(const TIniFile& file, std::string_view key, TStringList& list)
{
    const std::string text = file.ReadString(kProfileSection, key, "");
    if (!text.empty())
        list = ParseCommaText(text);
}

} // namespace

TFilterGroup ParseFilterGroup(std::string_view groupText)
{
    TFilterGroup group;
    group.words = ParseCommaText(groupText);
    if (group.words.empty())
        return group;
    std::string& first = group.words.front();
    static const std::array<std::pair<std::string_view, TFilterScope>, 3> tags = {{
        {"[AL]", TFilterScope::AllLinks},
        {"[PL]", TFilterScope::PageLinks},
        {"[RL]", TFilterScope::ResourceLinks},
    }};
    for (const auto& [tag, scope] : tags)
    {
        if (first.find(tag) != std::string::npos)
        {
            group.scope = scope;
            first.erase(0, 4);
            break;
        }
    }
    return group;
}

void THXProfile::ReadFrom(const TIniFile& file)
{
    Name = file.ReadString(kProfileSection, "Profile Name", "");
    ReadList(file, "File Types", FileTypes);
    PageLocation = file.ReadInteger(kProfileSection, "Page Location", 1);
    ResourceLocation = file.ReadInteger(kProfileSection, "Resource Location", 2);
    Depth = file.ReadInteger(kProfileSection, "Depth", -1);
    AggressiveParser = file.ReadInteger(kProfileSection, "Aggressive Parser", 1);
    ConvertFollowedLinks = file.ReadInteger(kProfileSection, "Convert Followed Links", 1);
    ConvertUnfollowedLinks = file.ReadInteger(kProfileSection, "Convert Unfollowed Links", 1);
    UseStartPageTitle = file.ReadBool(kProfileSection, "Use Start Page Title", true);
    ReadList(file, "URL Filters Exclude", URLFiltersExclude);
    ReadList(file, "URL Filters Include", URLFiltersInclude);
    PageFileSizeMin = file.ReadInteger(kProfileSection, "Page File Size Min", 0);
    PageFileSizeMax = file.ReadInteger(kProfileSection, "Page File Size Max", 0);
    ResourceFileSizeMin = file.ReadInteger(kProfileSection, "Resource File Size Min", 0);
    ResourceFileSizeMax = file.ReadInteger(kProfileSection, "Resource File Size Max", 0);
    UseSitemaps = file.ReadBool(kProfileSection, "Use Sitemaps", false);
    RenderPages = file.ReadBool(kProfileSection, "Render Pages", false);
    RenderTimeOut = std::clamp(file.ReadInteger(kProfileSection, "Render Time Out", kDefaultRenderTimeOut),
                               kMinRenderTimeOut, kMaxRenderTimeOut);
    KeepScripts = file.ReadBool(kProfileSection, "Keep Scripts", false);
}

void THXProfile::WriteTo(TIniFile& file) const
{
    file.RewriteSection(kProfileSection, Entries());
}

THXProfile::TEntries THXProfile::Entries() const
{
    auto number = [](std::int32_t value) { return std::to_string(value); };
    return TEntries{
        {"Profile Name", Name},
        {"File Types", CommaText(FileTypes)},
        {"Page Location", number(PageLocation)},
        {"Resource Location", number(ResourceLocation)},
        {"Depth", number(Depth)},
        {"Aggressive Parser", number(AggressiveParser)},
        {"Convert Followed Links", number(ConvertFollowedLinks)},
        {"Convert Unfollowed Links", number(ConvertUnfollowedLinks)},
        {"Use Start Page Title", UseStartPageTitle ? "1" : "0"},
        {"URL Filters Exclude", CommaText(URLFiltersExclude)},
        {"URL Filters Include", CommaText(URLFiltersInclude)},
        {"Page File Size Min", number(PageFileSizeMin)},
        {"Page File Size Max", number(PageFileSizeMax)},
        {"Resource File Size Min", number(ResourceFileSizeMin)},
        {"Resource File Size Max", number(ResourceFileSizeMax)},
        {"Use Sitemaps", UseSitemaps ? "1" : "0"},
        {"Render Pages", RenderPages ? "1" : "0"},
        {"Render Time Out", number(RenderTimeOut)},
        {"Keep Scripts", KeepScripts ? "1" : "0"},
    };
}

void THXProfile::Load()
{
    const TIniFile file(FileName);
    ReadFrom(file);
    m_saved.Entries = Entries();
}

void THXProfile::Save() const
{
    const std::string folder = ExtractFilePath(FileName);
    if (!folder.empty())
        ForceDirectories(folder);
    // The other program may have saved the profile meanwhile: its changes stay
    // unless this object changed the same key.
    const TExclusiveFileLock lock(FileName + ".lock");
    TIniFile file(FileName);
    TEntries entries = Entries();
    for (auto& entry : entries)
    {
        const std::string& key = entry.first;
        std::string& value = entry.second;
        const auto saved = std::find_if(m_saved.Entries.begin(), m_saved.Entries.end(),
                                        [&key](const auto& known) { return known.first == key; });
        const bool changedHere = saved == m_saved.Entries.end() || saved->second != value;
        if (!changedHere && file.ValueExists(kProfileSection, key))
            value = file.ReadString(kProfileSection, key, value);
    }
    file.RewriteSection(kProfileSection, entries);
    file.UpdateFile();
    m_saved.Entries = Entries();
}

} // namespace hx
