#include "engine/HXThreadParseRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/HXFileTypes.h"
#include "core/HXPaths.h"
#include "core/HXSettingsStore.h"
#include "core/HXStrings.h"

namespace hx
{
namespace
{

constexpr const char* kStart = "http://www.site.test/docs/";
constexpr const char* kPage = "HTML";
constexpr const char* kImage = "Images";
constexpr const char* kScript = "Scripts and Style Sheets";

// The profile every case starts from: the defaults a profile file without keys gives.
THXProfile BaseProfile()
{
    THXProfile profile;
    profile.PageLocation = kLocationStartSite;
    profile.ResourceLocation = kLocationAnywhere;
    profile.Depth = -1;
    return profile;
}

struct TCase
{
    const char* profile;
    const char* url;
    int level;
    const char* group;
    bool follow;
};

TEST(HXThreadParseRules, FollowDecisionsOverURLsAndProfiles)
{
    const std::map<std::string, std::function<void(THXProfile&)>> profiles = {
        {"default", [](THXProfile&) {}},
        {"directory", [](THXProfile& p) { p.PageLocation = p.ResourceLocation = kLocationStartDirectory; }},
        {"site", [](THXProfile& p) { p.PageLocation = p.ResourceLocation = kLocationStartSite; }},
        {"anywhere", [](THXProfile& p) { p.PageLocation = p.ResourceLocation = kLocationAnywhere; }},
        {"no location", [](THXProfile& p) { p.PageLocation = p.ResourceLocation = 3; }},
        {"depth 0", [](THXProfile& p) { p.Depth = 0; }},
        {"depth 2", [](THXProfile& p) { p.Depth = 2; }},
        {"depth -5", [](THXProfile& p) { p.Depth = -5; }},
        {"types",
         [](THXProfile& p) {
             p.FileTypes = {".htm", ".GIF"};
         }},
        {"exclude [PL]cgi", [](THXProfile& p) { p.URLFiltersExclude = {"[PL]cgi"}; }},
        {"exclude [RL]cgi", [](THXProfile& p) { p.URLFiltersExclude = {"[RL]cgi"}; }},
        {"exclude cgi,bin", [](THXProfile& p) { p.URLFiltersExclude = {"cgi,bin"}; }},
        {"exclude [AL]Private", [](THXProfile& p) { p.URLFiltersExclude = {"[AL]Private"}; }},
        {"exclude tag only", [](THXProfile& p) { p.URLFiltersExclude = {"[PL]"}; }},
        {"include [RL]images", [](THXProfile& p) { p.URLFiltersInclude = {"[RL]images"}; }},
        {"include [PL]docs", [](THXProfile& p) { p.URLFiltersInclude = {"[PL]docs"}; }},
        {"include two groups",
         [](THXProfile& p) {
             p.URLFiltersInclude = {"docs,manual", "[AL]faq"};
         }},
        {"include empty group", [](THXProfile& p) { p.URLFiltersInclude = {""}; }},
    };

    const std::vector<TCase> cases = {
        // Only web addresses (http and https), in any letter case of the scheme.
        {"anywhere", "https://www.site.test/docs/a.htm", 1, kPage, true},
        {"anywhere", "gopher://www.site.test/docs/a.htm", 1, kPage, false},
        {"anywhere", "ftp://www.site.test/docs/a.zip", 1, "Archives", false},
        {"anywhere", "file://c:/docs/a.htm", 1, kPage, false},
        {"anywhere", "", 1, kPage, false},
        {"anywhere", "HTTP://www.site.test/docs/a.htm", 1, kPage, true},

        // Locations: start directory, start site, anywhere, any other code never.
        {"directory", "http://www.site.test/docs/a.htm", 1, kPage, true},
        {"directory", "http://www.site.test/docs/sub/b.htm", 1, kPage, true},
        {"directory", "http://www.site.test/other/b.htm", 1, kPage, false},
        {"directory", "http://www.site.test/docs", 1, kPage, false},
        {"directory", "http://www.site.test/docs/img/x.gif", 1, kImage, true},
        {"directory", "http://cdn.test/x.gif", 1, kImage, false},
        {"site", "http://www.site.test/other/b.htm", 1, kPage, true},
        {"site", "http://www.elsewhere.test/c.htm", 1, kPage, false},
        {"site", "http://cdn.test/x.gif", 1, kImage, false},
        {"anywhere", "http://www.elsewhere.test/c.htm", 1, kPage, true},
        {"no location", "http://www.site.test/docs/a.htm", 0, kPage, false},
        {"no location", "http://www.site.test/docs/x.gif", 0, kImage, false},
        // The default profile: pages within the site, resources anywhere.
        {"default", "http://www.elsewhere.test/c.htm", 1, kPage, false},
        {"default", "http://cdn.test/x.gif", 1, kImage, true},

        // Scripts and style sheets are followed wherever they are, but not past the filters.
        {"directory", "http://cdn.test/app.js", 1, kScript, true},
        {"no location", "http://cdn.test/style.CSS", 1, kScript, true},
        {"exclude [RL]cgi", "http://cdn.test/cgi/app.js", 1, kScript, false},
        {"no location", "http://cdn.test/app.json", 1, kScript, false},

        // Depth limits pages only.
        {"depth 0", "http://www.site.test/docs/a.htm", 0, kPage, true},
        {"depth 0", "http://www.site.test/docs/a.htm", 1, kPage, false},
        {"depth 0", "http://www.site.test/docs/deep/x.gif", 7, kImage, true},
        {"depth 2", "http://www.site.test/docs/a.htm", 2, kPage, true},
        {"depth 2", "http://www.site.test/docs/a.htm", 3, kPage, false},
        {"depth -5", "http://www.site.test/docs/a.htm", 40, kPage, true},

        // File types, without letter case; no extension always passes; a query is ".html".
        {"types", "http://www.site.test/docs/a.HTM", 1, kPage, true},
        {"types", "http://www.site.test/docs/x.gif", 1, kImage, true},
        {"types", "http://www.site.test/docs/x.jpg", 1, kImage, false},
        {"types", "http://www.site.test/docs/sub/", 1, kPage, true},
        {"types", "http://www.site.test/docs/find.htm?q=1", 1, kPage, false},

        // Exclude groups, with their scopes.
        {"exclude [PL]cgi", "http://www.site.test/cgi/run.htm", 1, kPage, false},
        {"exclude [PL]cgi", "http://www.site.test/cgi/x.gif", 1, kImage, true},
        {"exclude [RL]cgi", "http://www.site.test/cgi/run.htm", 1, kPage, true},
        {"exclude [RL]cgi", "http://www.site.test/cgi/x.gif", 1, kImage, false},
        {"exclude cgi,bin", "http://www.site.test/cgi-bin/run.htm", 1, kPage, false},
        {"exclude cgi,bin", "http://www.site.test/cgi/run.htm", 1, kPage, true},
        {"exclude [AL]Private", "http://www.site.test/Private/x.gif", 1, kImage, false},
        {"exclude [AL]Private", "http://www.site.test/private/x.htm", 1, kPage, true}, // words keep their case
        {"exclude tag only", "http://www.site.test/docs/a.htm", 1, kPage, true},

        // Include groups: a scope that does not cover the link is always satisfied.
        {"include [RL]images", "http://www.site.test/other/page.htm", 1, kPage, true},
        {"include [RL]images", "http://www.site.test/images/x.gif", 1, kImage, true},
        {"include [RL]images", "http://www.site.test/pics/x.gif", 1, kImage, false},
        {"include [PL]docs", "http://www.site.test/pics/x.gif", 1, kImage, true},
        {"include [PL]docs", "http://www.site.test/news/a.htm", 1, kPage, false},
        {"include two groups", "http://www.site.test/docs/manual/a.htm", 1, kPage, true},
        {"include two groups", "http://www.site.test/docs/a.htm", 1, kPage, false},
        {"include two groups", "http://www.site.test/faq/x.gif", 1, kImage, true},
        {"include empty group", "http://www.site.test/news/a.htm", 1, kPage, true},
    };

    for (const TCase& c : cases)
    {
        THXProfile profile = BaseProfile();
        profiles.at(c.profile)(profile);
        EXPECT_EQ(ShouldFollow(profile, c.url, kStart, c.level, c.group), c.follow)
            << c.profile << " | " << c.url << " | level " << c.level;
        // The rules taken apart once decide the same.
        EXPECT_EQ(TFollowRules(profile).ShouldFollow(c.url, kStart, c.level, c.group), c.follow) << c.url;
    }
}

// The extensions of a group text such as ".gif;.jpg;".
std::vector<std::string> GroupExtensions(const std::string& text)
{
    std::vector<std::string> extensions;
    std::size_t begin = 0;
    for (std::size_t end = text.find(';'); end != std::string::npos; end = text.find(';', begin))
    {
        if (end > begin)
            extensions.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return extensions;
}

// The profiles installed with the program, read with the groups installed with it:
// every type a profile promises must get through its own file type list, or pages
// and images of that type are silently left out of every copy made with it.
TEST(HXThreadParseRules, SignOutWordsAsSegmentsOrParameters)
{
    EXPECT_TRUE(IsSignOutURL("http://h.test/logout"));
    EXPECT_TRUE(IsSignOutURL("http://h.test/account/Log-Out/"));
    EXPECT_TRUE(IsSignOutURL("http://h.test/signout.php"));
    EXPECT_TRUE(IsSignOutURL("https://h.test/wp-login.php?action=logout&_wpnonce=1"));
    EXPECT_TRUE(IsSignOutURL("http://h.test/x?SIGN-OUT"));
    EXPECT_TRUE(IsSignOutURL("http://h.test/x?a=1;logoff=yes"));
    // Words inside other words, the host and the fragment are not sign-out links.
    EXPECT_FALSE(IsSignOutURL("http://h.test/blog/logouts-explained.htm"));
    EXPECT_FALSE(IsSignOutURL("http://logout.h.test/"));
    EXPECT_FALSE(IsSignOutURL("http://h.test/page.htm#logout"));
    EXPECT_FALSE(IsSignOutURL("http://h.test/search?q=how+to+logout"));
    EXPECT_FALSE(IsSignOutURL("http://h.test/"));
}

TEST(HXThreadParseRules, ShippedProfilesFollowTheGroupsTheyPromise)
{
    const std::string data = std::string(HX_SOURCE_DATA_DIR) + "/";
    THXSettingsStore store;
    std::string error;
    ASSERT_TRUE(store.Import(data + "FTypes.reg", &error)) << error;
    const TFileTypeGroups groups = ReadGroups(store);
    ASSERT_FALSE(groups.names.empty());

    std::set<std::string> listed;
    for (const std::string& text : groups.texts)
    {
        for (const std::string& extension : GroupExtensions(text))
            listed.insert(extension);
    }

    // Every profile keeps pages and images; the ones with no type list keep every group.
    const std::vector<std::string> keptByAll = {std::string(kPageGroup), std::string(kImageGroup)};
    const std::map<std::string, std::vector<std::string>> alsoKept = {
        {"Single Page", {"Fonts"}},
        {"Whole Site", groups.names},
        {"Start Folder Only", groups.names},
        {"Two Levels", groups.names},
    };

    const std::vector<std::string> files = ListFiles(data + "Profiles/", "*.hxp");
    ASSERT_GE(files.size(), 5u);
    for (const std::string& file : files)
    {
        THXProfile profile;
        profile.FileName = data + "Profiles/" + file;
        profile.Load();
        SCOPED_TRACE(profile.Name);
        ASSERT_EQ(profile.Name + ".hxp", file);

        // A listed type that no group knows is a misspelling: it never matches a link.
        for (const std::string& type : profile.FileTypes)
            EXPECT_TRUE(listed.contains(LowerCase(type))) << type;

        std::vector<std::string> kept = keptByAll;
        if (const auto extra = alsoKept.find(profile.Name); extra != alsoKept.end())
            kept.insert(kept.end(), extra->second.begin(), extra->second.end());

        const TFollowRules rules(profile);
        for (const std::string& name : kept)
        {
            const auto group = std::find(groups.names.begin(), groups.names.end(), name);
            ASSERT_NE(group, groups.names.end()) << name;
            const std::string& text = groups.texts[static_cast<std::size_t>(group - groups.names.begin())];
            for (const std::string& extension : GroupExtensions(text))
            {
                // Level 0 is the start page's own: its frames and images, which even
                // a start-page-only copy keeps; the depth rule is not what is tested here.
                const std::string url = std::string(kStart) + "file" + extension;
                const std::string classified = GroupOfURL(groups, url);
                EXPECT_EQ(classified, name) << url;
                EXPECT_TRUE(rules.ShouldFollow(url, kStart, 0, classified)) << url;
            }
        }
    }
}

} // namespace
} // namespace hx
