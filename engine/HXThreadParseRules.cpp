#include "engine/HXThreadParseRules.h"

#include <algorithm>
#include <iterator>

#include "core/HXFileTypes.h"
#include "core/HXStrings.h"
#include "core/HXURL.h"

namespace hx
{

TFollowRules::TFollowRules(const THXProfile& profile)
    : m_depth(profile.Depth)
    , m_pageLocation(profile.PageLocation)
    , m_resourceLocation(profile.ResourceLocation)
    , m_hasInclude(!profile.URLFiltersInclude.empty())
{
    m_fileTypes.reserve(profile.FileTypes.size());
    for (const std::string& type : profile.FileTypes)
        m_fileTypes.push_back(LowerCase(type));
    const auto read = [](const TStringList& list, std::vector<TGroup>& groups)
    {
        for (const std::string& text : list)
        {
            TFilterGroup parsed = ParseFilterGroup(text);
            TGroup group;
            group.scope = parsed.scope;
            // An empty word (a group that is only a scope tag) would occur in every URL;
            // it is no word at all.
            for (std::string& word : parsed.words)
            {
                if (!word.empty())
                    group.words.push_back(std::move(word));
            }
            groups.push_back(std::move(group));
        }
    };
    read(profile.URLFiltersExclude, m_exclude);
    read(profile.URLFiltersInclude, m_include);
}

bool TFollowRules::AllOccur(const TGroup& group, std::string_view url)
{
    return std::all_of(group.words.begin(), group.words.end(),
                       [url](const std::string& word) { return url.find(word) != std::string_view::npos; });
}

bool TFollowRules::ShouldFollow(std::string_view url, std::string_view startDirectory, int level,
                                std::string_view group) const
{
    const bool page = group == kPageGroup;

    // Only web addresses (http and https) are fetched.
    if (!IsWebURL(url))
        return false;

    // File types: a URL without an extension (a directory) always passes.
    const std::string extension = URLExtension(url);
    if (!m_fileTypes.empty() && !extension.empty() &&
        std::find(m_fileTypes.begin(), m_fileTypes.end(), extension) == m_fileTypes.end())
        return false;

    // Depth limits pages only; a negative depth is no limit.
    if (page && m_depth >= 0 && m_depth < level)
        return false;

    // Exclude: a group whose words all occur refuses the link when its scope covers it.
    for (const TGroup& exclude : m_exclude)
    {
        if (!exclude.words.empty() && ScopeCovers(exclude.scope, page) && AllOccur(exclude, url))
            return false;
    }

    // Include: the first satisfied group lets the link through. A missing word only
    // spoils a group whose scope covers the link.
    if (m_hasInclude)
    {
        const bool satisfied = std::any_of(m_include.begin(), m_include.end(),
                                           [&](const TGroup& include)
                                           { return !ScopeCovers(include.scope, page) || AllOccur(include, url); });
        if (!satisfied)
            return false;
    }

    // Scripts and style sheets are needed wherever they are.
    if (extension == ".js" || extension == ".css")
        return true;

    switch (page ? m_pageLocation : m_resourceLocation)
    {
    case kLocationStartDirectory:
        return url.starts_with(startDirectory);
    case kLocationStartSite:
        return url.find(AncestorURL(startDirectory, 0)) != std::string_view::npos;
    case kLocationAnywhere:
        return true;
    default:
        return false;
    }
}

bool TFollowRules::IncludeNames(std::string_view url, std::string_view group) const
{
    const bool page = group == kPageGroup;
    return std::any_of(m_include.begin(), m_include.end(),
                       [&](const TGroup& include) {
                           return !include.words.empty() && ScopeCovers(include.scope, page) && AllOccur(include, url);
                       });
}

namespace
{

bool IsSignOutWord(std::string_view word)
{
    static constexpr std::string_view kWords[] = {"logout", "log-out", "signout", "sign-out", "logoff"};
    return std::any_of(std::begin(kWords), std::end(kWords),
                       [word](std::string_view signOut) { return SameTextNoCase(word, signOut); });
}

} // namespace

bool IsSignOutURL(std::string_view url)
{
    url = url.substr(0, url.find('#'));
    const auto scheme = url.find("://");
    std::string_view rest = scheme == std::string_view::npos ? url : url.substr(scheme + 3);
    const auto queryStart = std::min(rest.find('?'), rest.size());
    std::string_view path = rest.substr(0, queryStart);
    std::string_view query = rest.substr(std::min(queryStart + 1, rest.size()));
    // The host is no path segment.
    path.remove_prefix(std::min(path.find('/'), path.size()));
    while (!path.empty())
    {
        const auto end = std::min(path.find('/', 1), path.size());
        std::string_view segment = path.substr(path.front() == '/' ? 1 : 0, end - (path.front() == '/' ? 1 : 0));
        path.remove_prefix(end);
        if (IsSignOutWord(segment) || IsSignOutWord(segment.substr(0, segment.find('.'))))
            return true;
    }
    while (!query.empty())
    {
        const auto end = std::min(query.find_first_of("&;"), query.size());
        const std::string_view parameter = query.substr(0, end);
        query.remove_prefix(std::min(end + 1, query.size()));
        const auto equals = parameter.find('=');
        if (IsSignOutWord(parameter.substr(0, equals)) ||
            (equals != std::string_view::npos && IsSignOutWord(parameter.substr(equals + 1))))
            return true;
    }
    return false;
}

bool ShouldFollow(const THXProfile& profile, std::string_view url, std::string_view startDirectory, int level,
                  std::string_view group)
{
    return TFollowRules(profile).ShouldFollow(url, startDirectory, level, group);
}

} // namespace hx
