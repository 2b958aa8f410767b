#include "core/HXProfile.h"

#include <gtest/gtest.h>

#include "core/HXIniFile.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

TEST(HXProfileTest, NewProfileIsEmptyAndMissingKeysTakeTheFileDefaults)
{
    const THXProfile fresh;
    EXPECT_TRUE(fresh.FileTypes.empty());
    EXPECT_EQ(fresh.PageLocation, 0);
    EXPECT_EQ(fresh.Depth, 0);
    EXPECT_FALSE(fresh.UseStartPageTitle);

    test::TTempFolder folder;
    THXProfile profile;
    profile.FileName = folder.WriteFile("other.hxp", "[Task]\r\nURL=http://x/\r\n");
    profile.Load();
    EXPECT_EQ(profile.Name, "");
    EXPECT_EQ(profile.PageLocation, 1);
    EXPECT_EQ(profile.ResourceLocation, 2);
    EXPECT_EQ(profile.Depth, -1);
    EXPECT_EQ(profile.AggressiveParser, 1);
    EXPECT_EQ(profile.ConvertFollowedLinks, 1);
    EXPECT_EQ(profile.ConvertUnfollowedLinks, 1);
    EXPECT_TRUE(profile.UseStartPageTitle);
    EXPECT_TRUE(profile.URLFiltersExclude.empty());
    EXPECT_FALSE(profile.UseSitemaps);
    EXPECT_FALSE(profile.RenderPages);
    EXPECT_EQ(profile.RenderTimeOut, 10);
    EXPECT_FALSE(profile.KeepScripts);

    // A missing file reads the same defaults.
    THXProfile missing;
    missing.FileName = folder.Folder() + "none.hxp";
    missing.Load();
    EXPECT_EQ(missing.Depth, -1);
    EXPECT_TRUE(missing.UseStartPageTitle);

    // A render time out beyond its bounds is read as the nearest bound.
    THXProfile bounded;
    bounded.FileName = folder.WriteFile("bounded.hxp", "[Profile]\r\nRender Time Out=0\r\n");
    bounded.Load();
    EXPECT_EQ(bounded.RenderTimeOut, kMinRenderTimeOut);
    bounded.FileName = folder.WriteFile("long.hxp", "[Profile]\r\nRender Time Out=100000\r\n");
    bounded.Load();
    EXPECT_EQ(bounded.RenderTimeOut, kMaxRenderTimeOut);
}

TEST(HXProfileTest, EveryFieldRoundTripsAndOtherSectionsSurvive)
{
    test::TTempFolder folder;
    THXProfile profile;
    profile.FileName = folder.WriteFile("Tasks/General/Site.hxt", "[Task]\r\nURL=http://keep.me/\r\n");
    profile.Name = "Ärger, \"quoted\" & more";
    profile.FileTypes = {".htm", ".html", ".gif"};
    profile.PageLocation = 0;
    profile.ResourceLocation = 3;
    profile.Depth = -5;
    profile.AggressiveParser = 2;
    profile.ConvertFollowedLinks = 0;
    profile.ConvertUnfollowedLinks = 2;
    profile.UseStartPageTitle = false;
    profile.URLFiltersExclude = {"[PL]cgi,bin", "[RL]a \"b\"", "plain"};
    profile.URLFiltersInclude = {"[AL]docs"};
    profile.PageFileSizeMin = 1;
    profile.PageFileSizeMax = 2000000;
    profile.ResourceFileSizeMin = -3;
    profile.ResourceFileSizeMax = 2147483647;
    profile.UseSitemaps = true;
    profile.RenderPages = true;
    profile.RenderTimeOut = 25;
    profile.KeepScripts = true;
    profile.Save();

    THXProfile read;
    read.FileName = profile.FileName;
    read.Load();
    EXPECT_EQ(read, profile);

    const TIniFile file(profile.FileName);
    EXPECT_EQ(file.ReadString("Task", "URL", ""), "http://keep.me/");
    const std::vector<std::string> expectedKeys = {"Profile Name",
                                                   "File Types",
                                                   "Page Location",
                                                   "Resource Location",
                                                   "Depth",
                                                   "Aggressive Parser",
                                                   "Convert Followed Links",
                                                   "Convert Unfollowed Links",
                                                   "Use Start Page Title",
                                                   "URL Filters Exclude",
                                                   "URL Filters Include",
                                                   "Page File Size Min",
                                                   "Page File Size Max",
                                                   "Resource File Size Min",
                                                   "Resource File Size Max",
                                                   "Use Sitemaps",
                                                   "Render Pages",
                                                   "Render Time Out",
                                                   "Keep Scripts"};
    EXPECT_EQ(file.Keys("Profile"), expectedKeys);
    EXPECT_EQ(file.ReadString("Profile", "Use Start Page Title", ""), "0");
    EXPECT_EQ(file.ReadString("Profile", "Use Sitemaps", ""), "1");
    EXPECT_EQ(file.ReadString("Profile", "Render Time Out", ""), "25");
    EXPECT_EQ(file.ReadString("Profile", "File Types", ""), ".htm,.html,.gif");
    // A group of two words is one quoted item of its list.
    EXPECT_EQ(file.ReadString("Profile", "URL Filters Include", ""), "[AL]docs");
    EXPECT_EQ(file.ReadString("Profile", "URL Filters Exclude", "").substr(0, 14), "\"[PL]cgi,bin\",");
}

TEST(HXProfileTest, SavingKeepsKeysOfANewerVersionAndTheDocumentedOrder)
{
    test::TTempFolder folder;
    THXProfile profile;
    profile.FileName = folder.WriteFile(
        "p.hxp", "[Profile]\r\nDepth=3\r\nFuture Key=kept\r\nProfile Name=Old\r\nResource File Size Max=77\r\n");
    profile.Load();
    EXPECT_EQ(profile.Depth, 3);
    EXPECT_EQ(profile.ResourceFileSizeMax, 77);
    profile.Name = "New";
    profile.Save();
    const TIniFile file(profile.FileName);
    const auto keys = file.Keys("Profile");
    // The profile's 19 keys, then the one it does not know.
    ASSERT_EQ(keys.size(), 20u);
    EXPECT_EQ(keys.front(), "Profile Name");
    EXPECT_EQ(keys.back(), "Future Key");
    EXPECT_EQ(file.ReadString("Profile", "Future Key", ""), "kept");
    EXPECT_EQ(file.ReadInteger("Profile", "Resource File Size Max", 0), 77);
}

TEST(HXProfileTest, EmptyListKeysLeaveTheListUnchanged)
{
    test::TTempFolder folder;
    THXProfile profile;
    profile.FileTypes = {".gif"};
    profile.URLFiltersInclude = {"keep"};
    profile.FileName = folder.WriteFile("p.hxp", "[Profile]\r\nFile Types=\r\nURL Filters Exclude=\"\"\r\n");
    profile.Load();
    EXPECT_EQ(profile.FileTypes, TStringList{".gif"});
    EXPECT_EQ(profile.URLFiltersInclude, TStringList{"keep"});
    // Two double quotes are a list of one empty item, which does replace the list.
    EXPECT_EQ(profile.URLFiltersExclude, TStringList{""});
}

TEST(HXProfileTest, FilterGroupScopes)
{
    TFilterGroup pages = ParseFilterGroup("[PL]cgi,bin");
    EXPECT_EQ(pages.scope, TFilterScope::PageLinks);
    EXPECT_EQ(pages.words, (TStringList{"cgi", "bin"}));

    EXPECT_EQ(ParseFilterGroup("[RL]zip").scope, TFilterScope::ResourceLinks);
    EXPECT_EQ(ParseFilterGroup("[RL]zip").words, TStringList{"zip"});
    TFilterGroup all = ParseFilterGroup("[AL]x");
    EXPECT_EQ(all.scope, TFilterScope::AllLinks);
    EXPECT_EQ(all.words, TStringList{"x"});
    TFilterGroup untagged = ParseFilterGroup("ads,banner");
    EXPECT_EQ(untagged.scope, TFilterScope::AllLinks);
    EXPECT_EQ(untagged.words, (TStringList{"ads", "banner"}));
    // "[AL]" is looked for first, wherever it stands in the first word.
    EXPECT_EQ(ParseFilterGroup("[PL][AL]y").scope, TFilterScope::AllLinks);
    // Only the first word is searched for a tag.
    EXPECT_EQ(ParseFilterGroup("a,[PL]b").scope, TFilterScope::AllLinks);
    EXPECT_TRUE(ParseFilterGroup("").words.empty());
}

TEST(HXProfileTest, DamagedFilesNeverCrashAndGiveDefaults)
{
    test::TTempFolder folder;
    std::string garbage(4096, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 131) % 256);
    THXProfile profile;
    profile.FileName = folder.WriteFile("bad.hxp", "[Profile\r\nDepth=abc\r\nPage Location=\r\n" + garbage);
    profile.Load();
    EXPECT_EQ(profile.Depth, -1);
    EXPECT_EQ(profile.PageLocation, 1);
    profile.FileName =
        folder.WriteFile("bad2.hxp", "[Profile]\r\nFile Types=\"unterminated,.gif\r\nDepth=99999999999\r\n");
    profile.Load();
    EXPECT_EQ(profile.Depth, -1);
    EXPECT_EQ(profile.FileTypes.size(), 1u);
}

} // namespace
} // namespace hx
