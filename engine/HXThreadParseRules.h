#pragma once

// The following rules of the parse worker: whether a link found on a page is queued,
// by the task profile's file types, depth, URL filter groups and location scopes.
// TFollowRules takes a profile apart once (filter groups, file types, locations) so
// that the many links of one page are decided without reading the profile again.

#include <string>
#include <string_view>
#include <vector>

#include "core/HXProfile.h"

namespace hx
{

class TFollowRules
{
public:
    explicit TFollowRules(const THXProfile& profile);

    // Whether the URL is followed. The start directory is the directory URL of the
    // task's start item; level is the one the depth test uses; group is the URL's
    // file type group ("HTML" makes it a page).
    bool ShouldFollow(std::string_view url, std::string_view startDirectory, int level, std::string_view group) const;
    // Whether an include filter group covering the link names it (all its words
    // occur in the URL): the person asked for this very address.
    bool IncludeNames(std::string_view url, std::string_view group) const;

private:
    struct TGroup
    {
        TFilterScope scope = TFilterScope::AllLinks;
        std::vector<std::string> words; // empty words dropped
    };

    static bool AllOccur(const TGroup& group, std::string_view url);

    std::vector<std::string> m_fileTypes; // lower case
    int m_depth = 0;
    int m_pageLocation = 0;
    int m_resourceLocation = 0;
    std::vector<TGroup> m_exclude;
    std::vector<TGroup> m_include;
    bool m_hasInclude = false;
};

// The explore view's text for a link that would end the task's session.
inline constexpr std::string_view kSignOutLinkText = "Not followed: sign-out link";

// True when a path segment (with or without its extension), a query parameter's
// name or its value is a sign-out word: logout, log-out, signout, sign-out or
// logoff, in any letter case. Following such a link while signed in would end the
// session the rest of the copy needs.
bool IsSignOutURL(std::string_view url);

// One decision with the rules of the profile (reads the profile's filter groups each call).
bool ShouldFollow(const THXProfile& profile, std::string_view url, std::string_view startDirectory, int level,
                  std::string_view group);

} // namespace hx
