#pragma once

// THXProfile: what a task fetches and how it treats links. Named profiles are
// profile files ("<name>.hxp" in the Profiles folder); every task carries its own
// copy in the "Profile" section of its task file.

#include "core/HXCommaList.h"

#include <cstdint>
#include <string>
#include <vector>
#include <utility>
#include <string_view>

namespace hx
{

class TIniFile;

inline constexpr std::string_view kProfileSection = "Profile";

// "Render Time Out" in seconds: the default and its bounds.
inline constexpr int kDefaultRenderTimeOut = 10;
inline constexpr int kMinRenderTimeOut = 1;
inline constexpr int kMaxRenderTimeOut = 300;

// Where followed pages or resources may be.
inline constexpr int kLocationStartDirectory = 0;
inline constexpr int kLocationStartSite = 1;
inline constexpr int kLocationAnywhere = 2;

// Which links a URL filter group applies to.
enum class TFilterScope
{
    AllLinks,
    PageLinks,
    ResourceLinks
};

// Whether a filter group of this scope applies to a link to a page (or, when `page`
// is false, to a resource).
constexpr bool ScopeCovers(TFilterScope scope, bool page)
{
    switch (scope)
    {
    case TFilterScope::AllLinks:
        return true;
    case TFilterScope::PageLinks:
        return page;
    case TFilterScope::ResourceLinks:
        return !page;
    }
    return true;
}

// One filter group taken apart: its scope and the words a URL is tested against.
struct TFilterGroup
{
    TFilterScope scope = TFilterScope::AllLinks;
    TStringList words;
};

// Reads a group ("[PL]cgi,bin"): the first word is searched for "[AL]", then
// "[PL]", then "[RL]"; the first tag found is the scope and the first four
// characters of the first word are removed. A group without a tag applies to all links.
TFilterGroup ParseFilterGroup(std::string_view groupText);

class THXProfile
{
public:
    // A new profile before anything is read: empty lists, numbers 0 and
    // UseStartPageTitle false. The defaults apply only to keys missing from a file.
    THXProfile() = default;

    std::string FileName;
    std::string Name;
    TStringList FileTypes;
    int PageLocation = 0;
    int ResourceLocation = 0;
    int Depth = 0;
    int AggressiveParser = 0;
    int ConvertFollowedLinks = 0;
    int ConvertUnfollowedLinks = 0;
    bool UseStartPageTitle = false;
    TStringList URLFiltersExclude;
    TStringList URLFiltersInclude;
    std::int32_t PageFileSizeMin = 0;
    std::int32_t PageFileSizeMax = 0;
    std::int32_t ResourceFileSizeMin = 0;
    std::int32_t ResourceFileSizeMax = 0;
    // Read the start site's sitemaps (the robots.txt "Sitemap:" lines and
    // "/sitemap.xml") and queue the pages they list, so pages no link leads to are
    // copied too. Off unless a file says otherwise.
    bool UseSitemaps = false;
    // Load every page again from the live site in an offscreen browser (the helper
    // program harbex-render) and keep what its scripts built: the rendered document
    // is scanned and saved instead of the fetched text, and what the page requested
    // while rendering is copied too. Off unless a file says otherwise.
    bool RenderPages = false;
    // Seconds a page may take to render before what it shows by then is kept.
    int RenderTimeOut = kDefaultRenderTimeOut;
    // Keep the page's own <script> elements in the rendered document (off: removed,
    // so the copy shows the content instead of running the application again).
    bool KeepScripts = false;

    // Reads every key of FileName with its default. A list key that is missing or
    // empty leaves that list unchanged; a non-empty one replaces it.
    void Load();
    // Creates the folder of FileName when missing, then writes every key; other
    // sections of the file (a task file's "Task" section) are kept. Another program
    // may have saved the file since this object read it: under the file's lock it is
    // read anew, and of a profile that was loaded only the keys this object changed
    // since its Load (or last Save) replace what the file holds.
    void Save() const;

    // The same on an open file, for the task file that holds both sections.
    void ReadFrom(const TIniFile& file);
    void WriteTo(TIniFile& file) const;

    bool operator==(const THXProfile&) const = default;

private:
    using TEntries = std::vector<std::pair<std::string, std::string>>;
    // The keys as WriteTo writes them.
    TEntries Entries() const;
    // The keys as last read from or written to FileName: what tells this object's
    // changes from another program's. Not part of the profile's value.
    struct TSavedEntries
    {
        TEntries Entries;
        bool operator==(const TSavedEntries&) const { return true; }
    };
    mutable TSavedEntries m_saved;
};

} // namespace hx
