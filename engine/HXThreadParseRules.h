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

// One decision with the rules of the profile (reads the profile's filter groups each call).
bool ShouldFollow(const THXProfile& profile, std::string_view url, std::string_view startDirectory, int level,
                  std::string_view group);

} // namespace hx
