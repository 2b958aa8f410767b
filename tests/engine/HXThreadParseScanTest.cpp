#include "engine/HXThreadParseScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "core/HXEncoding.h"
#include "core/HXStrings.h"
#include "engine/HXThreadParseRewrite.h"

namespace hx
{
namespace
{

using namespace std::string_literals;

constexpr const char* kPageURL = "http://www.site.test/docs/guide/page.htm";
constexpr const char* kStartDirectory = "http://www.site.test/docs/";

TFileTypeGroups Groups()
{
    TFileTypeGroups groups;
    groups.names = {"HTML", "Images", "Audio", "Scripts and Style Sheets", "Programs"};
    groups.texts = {".htm;.html;.asp;.php;.cgi;", ".gif;.jpg;.png;", ".mid;.wav;", ".js;.css;.class;", ".exe;"};
    return groups;
}

THXProfile Profile()
{
    THXProfile profile;
    profile.PageLocation = kLocationStartSite;
    profile.ResourceLocation = kLocationAnywhere;
    profile.Depth = -1;
    profile.AggressiveParser = 0;
    profile.ConvertFollowedLinks = 1;
    profile.ConvertUnfollowedLinks = 1;
    return profile;
}

TPageFacts Facts(int level = 1, int mode = kModeDownload, const std::string& url = kPageURL)
{
    TPageFacts facts;
    facts.URL = url;
    facts.Level = level;
    facts.Mode = mode;
    facts.StartDirectory = kStartDirectory;
    return facts;
}

struct TResult
{
    std::string text;
    std::vector<THXQItem> items;
    std::string base;
    std::string title;
    std::vector<std::string> urls() const
    {
        std::vector<std::string> list;
        for (const THXQItem& item : items)
            list.push_back(item.URL);
        return list;
    }
    const THXQItem& item(const std::string& url) const
    {
        for (const THXQItem& found : items)
        {
            if (found.URL == url)
                return found;
        }
        ADD_FAILURE() << "not queued: " << url;
        static const THXQItem none;
        return none;
    }
};

TResult ScanPage(const std::string& page, const THXProfile& profile = Profile(), const TPageFacts& facts = Facts(),
                 const std::set<std::string>& known = {})
{
    TPageScan scan(page, facts, profile, Groups());
    scan.IsKnown = [&known](std::string_view url) { return known.contains(LowerCase(url)); };
    EXPECT_TRUE(scan.ScanLinks());
    return {scan.PageText, scan.TakeNewItems(), scan.BaseHref, scan.Title};
}

using TList = std::vector<std::string>;

TEST(HXThreadParseScan, BaseTagResolvesLinksAndLeavesThePage)
{
    const std::string page = "<html><head><title>Guide</title>\r\n<base href=\"../v2/index.htm\" target=\"_top\">"
                             "</head>\r\n<body><a href=\"a.htm\">A</a><img src=\"/i/logo.gif\"></body></html>\r\n";
    const TResult result = ScanPage(page);
    // A BASE naming a file stands for its folder, as a browser reads it.
    EXPECT_EQ(result.base, "http://www.site.test/docs/v2/");
    EXPECT_EQ(result.urls(), (TList{"http://www.site.test/docs/v2/a.htm", "http://www.site.test/i/logo.gif"}));
    EXPECT_EQ(result.item("http://www.site.test/docs/v2/a.htm").BaseURL, "http://www.site.test/docs/v2/");
    // The saved page has no BASE, and its links are relative to its own folder.
    EXPECT_EQ(result.text, "<html><head><title>Guide</title>\r\n</head>\r\n<body><a href=\"../v2/a.htm\">A</a>"
                           "<img src=\"../../i/logo.gif\"></body></html>\r\n");

    // One find from the start: a BASEFONT before the BASE hides it.
    const TResult font = ScanPage("<basefont size=\"3\"><base href=\"http://other.test/\"><a href=\"x.htm\">x</a>");
    EXPECT_EQ(font.base, "");
    EXPECT_EQ(font.urls(), TList{"http://www.site.test/docs/guide/x.htm"});
    // A BASE without a double-quoted value is no BASE and stays.
    const TResult unquoted = ScanPage("<base href=http://other.test/><a href=\"x.htm\">x</a>");
    EXPECT_EQ(unquoted.base, "");
    EXPECT_EQ(unquoted.text.find("<base"), 0u);
}

TEST(HXThreadParseScan, OnlyLinksThisPageWroteAreReadBackAsTheirAddresses)
{
    // The A scan (which also meets AREA tags) rewrites two links to texts relative to
    // the page's folder. Later scans meet those same texts again, at the places the A
    // scan wrote them, and take them for the addresses they were made from; an equal
    // text the page itself holds elsewhere is resolved against the BASE like any link.
    const std::string page = "<base href=\"/other/\"><a href=\"/docs/guide/x.gif\">1</a><img src=\"x.gif\">"
                             "<area href=\"/docs/guide/y.htm\"><img src=\"y.htm\">";
    const TResult result = ScanPage(page);
    const std::string dir = "http://www.site.test/docs/guide/";
    const std::string other = "http://www.site.test/other/";
    EXPECT_EQ(result.urls(), (TList{dir + "x.gif", dir + "y.htm", other + "x.gif", other + "y.htm"}));
    EXPECT_EQ(result.text, "<a href=\"x.gif\">1</a><img src=\"../../other/x.gif\">"
                           "<area href=\"y.htm\"><img src=\"../../other/y.htm\">");

    // The quoted-text scans read the tag scans' texts back by place too, after the
    // replacements of every earlier scan have moved them: the link inside the script is
    // known, the quoted text equal to the A scan's first one is another file.
    THXProfile aggressive = Profile();
    aggressive.AggressiveParser = 1;
    const TResult quoted = ScanPage("<base href=\"/other/\"><a href=\"/docs/guide/a/b/c.htm\">c</a>"
                                    "<script>var u = 'a/b/c.htm'; var t = '<a href=\"/docs/guide/q.htm\">q</a>';"
                                    "</script>",
                                    aggressive);
    EXPECT_EQ(quoted.urls(), (TList{dir + "a/b/c.htm", dir + "q.htm", other + "a/b/c.htm"}));
    EXPECT_EQ(quoted.text, "<a href=\"a/b/c.htm\">c</a><script>var u = '../../other/a/b/c.htm'; "
                           "var t = '<a href=\"q.htm\">q</a>';</script>");
}

TEST(HXThreadParseScan, SignOutLinksAreListedNotFollowedWhileSignedIn)
{
    const std::string page = "<a href=\"/docs/logout\">out</a><a href=\"a.htm?do=Sign-Out\">out</a>"
                             "<a href=\"/docs/LogOff.php\">out</a><a href=\"/docs/blog/logouts.htm\">ok</a>";
    const std::string dir = "http://www.site.test/docs/";
    // Without cookies there is no session to lose: every link is followed.
    const TResult anonymous = ScanPage(page);
    EXPECT_EQ(anonymous.urls(),
              (TList{dir + "logout/", dir + "guide/a.htm?do=Sign-Out", dir + "LogOff.php", dir + "blog/logouts.htm"}));
    for (const THXQItem& item : anonymous.items)
        EXPECT_EQ(item.Mode, kModeDownload);

    // Signed in: the sign-out links are listed, never fetched, and say why.
    TPageFacts signedIn = Facts();
    signedIn.SignedIn = true;
    const TResult result = ScanPage(page, Profile(), signedIn);
    ASSERT_EQ(result.items.size(), 4u);
    for (const std::string& url : {dir + "logout/", dir + "guide/a.htm?do=Sign-Out", dir + "LogOff.php"})
    {
        EXPECT_EQ(result.item(url).Mode, kModeSkip) << url;
        EXPECT_EQ(result.item(url).StatusText, "Not followed: sign-out link") << url;
    }
    EXPECT_EQ(result.item(dir + "blog/logouts.htm").Mode, kModeDownload);

    // An include filter that names the address lets it through.
    THXProfile include = Profile();
    include.URLFiltersInclude = {"LogOff"};
    const TResult named = ScanPage(page, include, signedIn);
    ASSERT_EQ(named.items.size(), 1u);
    EXPECT_EQ(named.items[0].URL, dir + "LogOff.php");
    EXPECT_EQ(named.items[0].Mode, kModeDownload);
}

TEST(HXThreadParseScan, RedirectedPagesResolveLinksWhereTheirContentCameFrom)
{
    // The page was asked for at docs/guide/page.htm and came from docs/moved/ after a
    // redirect: its relative links name files of docs/moved/, while the rewritten
    // links stay relative to the folder the page is saved in.
    TPageFacts facts = Facts();
    facts.ContentDirectory = "http://www.site.test/docs/moved/";
    const TResult based = ScanPage("<base href=\"sub/\"><a href=\"b.htm\">B</a>", Profile(), facts);
    EXPECT_EQ(based.urls(), TList{"http://www.site.test/docs/moved/sub/b.htm"});
    const TResult plain = ScanPage("<a href=\"a.htm\">A</a><img src=\"img/p.gif\">", Profile(), facts);
    EXPECT_EQ(plain.urls(),
              (TList{"http://www.site.test/docs/moved/a.htm", "http://www.site.test/docs/moved/img/p.gif"}));
    EXPECT_EQ(plain.text, "<a href=\"../moved/a.htm\">A</a><img src=\"../moved/img/p.gif\">");
    // Without a content folder the page's own folder is the base.
    EXPECT_EQ(ScanPage("<a href=\"a.htm\">A</a>").urls(), TList{"http://www.site.test/docs/guide/a.htm"});
}

TEST(HXThreadParseScan, TitlesAreSanitizedAndDecoded)
{
    EXPECT_EQ(ScanPage("<TITLE>\r\n  Caf\xC3\xA9 Notes\r\n</title>").title, "Caf\xC3\xA9 Notes");
    // "ö" ends in the byte 0xB6 of the queue's record separator: it stays a character.
    EXPECT_EQ(ScanPage("<title>Sch\xC3\xB6n Gr\xC3\xB6\xC3\x9F"
                       "e</title>")
                  .title,
              "Schön Größe");
    EXPECT_EQ(ScanPage("<title>Absatz \xB6 2</title>").title, "Absatz ¶ 2");
    // Not UTF-8: Windows-1252, also for link texts.
    const TResult latin = ScanPage("<title>\xE9t\xE9 \x80</title><a href=\"b.htm\">Caf\xE9</a>");
    EXPECT_EQ(latin.title, "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(latin.item("http://www.site.test/docs/guide/b.htm").Title, "Caf\xC3\xA9");
    // Character references are decoded once, here; the reports escape the text again.
    EXPECT_EQ(
        ScanPage("<title>A &lt;b&gt; &amp;amp; &quot;C&quot; &#233;&#xE9; &copy;&nbsp;x &bogus; &#10;y</title>").title,
        "A <b> &amp; \"C\" \xC3\xA9\xC3\xA9 \xC2\xA9\xC2\xA0x &bogus;  y");
    EXPECT_EQ(ScanPage("<a href=\"b.htm\">Tom &amp; Jerry</a>").item("http://www.site.test/docs/guide/b.htm").Title,
              "Tom & Jerry");
    // A reference to the record separator or a control character cannot get into a field.
    EXPECT_EQ(ScanPage("<title>a&#182;b&#0;c&#x1F;d</title>").title.find_first_of(std::string("\xB6\x00\x1F", 3)),
              std::string::npos);
    EXPECT_EQ(ScanPage("<title>x").title, "");
    EXPECT_EQ(ScanPage("</title><title>x</title>").title, "");
    // A huge title is cut, never inside a character.
    std::string huge = "<title>";
    for (int i = 0; i < 5000; ++i)
        huge += "\xC3\xA9";
    const std::string title = ScanPage(huge + "</title>").title;
    EXPECT_LE(title.size(), kMaxTitleBytes);
    EXPECT_GT(title.size(), kMaxTitleBytes - 4);
    EXPECT_TRUE(IsValidUtf8(title));
}

TEST(HXThreadParseScan, TagTableBuildsItemsInScanOrder)
{
    const std::string page =
        "<html><head><meta http-equiv=\"refresh\" content=\"5; URL=next.htm\">"
        "<link rel=\"stylesheet\" href=\"http://cdn.test/s.css\"></head>"
        "<body background=\"bg.jpg\"><bgsound src=\"tune.mid\">\r\n"
        "<frameset><frame src=\"menu.htm\" name=\"m\"></frameset>\r\n"
        "<a href=\"one.htm\">First link</a> <img src=\"pic.gif\"> <input type=\"image\" src=\"go.gif\">\r\n"
        "<map><area shape=\"rect\" href=\"room.htm\"></map>\r\n"
        "<applet code=\"Viewer.class\" codebase=\"applets\" width=\"9\"></applet>\r\n"
        "<abbr title=\"x\">y</abbr></body></html>\r\n";
    const TResult result = ScanPage(page, Profile(), Facts(2, kModeDownload));
    const std::string dir = "http://www.site.test/docs/guide/";
    // FRAME, A (with AREA and APPLET, which have no HREF), IMG, INPUT, META, BODY,
    // BGSOUND, AREA (already known), APPLET, LINK.
    EXPECT_EQ(result.urls(), (TList{dir + "menu.htm", dir + "one.htm", dir + "room.htm", dir + "pic.gif",
                                    dir + "go.gif", dir + "next.htm", dir + "bg.jpg", dir + "tune.mid",
                                    dir + "applets/Viewer.class", "http://cdn.test/s.css"}));
    for (const THXQItem& item : result.items)
    {
        EXPECT_EQ(item.Level, 3) << item.URL;
        EXPECT_EQ(item.Mode, kModeDownload) << item.URL;
        EXPECT_EQ(item.State, kStateNone) << item.URL;
        EXPECT_EQ(item.Referrer, kPageURL) << item.URL;
        EXPECT_EQ(item.FrameFlag, item.URL == dir + "menu.htm" ? "Y" : "") << item.URL;
        EXPECT_EQ(item.Task, nullptr);
    }
    EXPECT_EQ(result.item(dir + "one.htm").Title, "First link");
    EXPECT_EQ(result.item(dir + "one.htm").Group, "HTML");
    EXPECT_EQ(result.item(dir + "pic.gif").Group, "Images");
    EXPECT_EQ(result.item(dir + "one.htm").BaseURL, dir);
    EXPECT_EQ(result.item(dir + "applets/Viewer.class").BaseURL, dir + "applets/");
    // Every link of the page was rewritten, the refresh target inside its CONTENT value.
    EXPECT_NE(result.text.find("content=\"5; URL=next.htm\""), std::string::npos);
    EXPECT_NE(result.text.find("href=\"../../../cdn.test/s.css\""), std::string::npos);
    EXPECT_NE(result.text.find("code=\"Viewer.class\" codebase=\"applets\""), std::string::npos);
}

TEST(HXThreadParseScan, LevelModeAndDepthRules)
{
    const std::string page = "<frame src=\"f.htm\"><meta content=\"0; URL=r.htm\"><a href=\"a.htm\">a</a>"
                             "<img src=\"i.gif\"><a href=\"big.gif\">pic</a>";
    THXProfile depth0 = Profile();
    depth0.Depth = 0;
    // The start page at depth 0: frames and refresh targets stay on its level, images
    // have no depth limit, linked pages are too deep.
    const TResult start = ScanPage(page, depth0, Facts(0));
    const std::string dir = "http://www.site.test/docs/guide/";
    EXPECT_EQ(start.urls(), (TList{dir + "f.htm", dir + "big.gif", dir + "i.gif", dir + "r.htm"}));
    // Not followed, but within the site: rewritten all the same (to where it would be).
    EXPECT_NE(start.text.find("href=\"a.htm\""), std::string::npos);

    // A page in map mode: pages found on it map too, resources are skipped.
    const TResult mapped = ScanPage(page, Profile(), Facts(1, kModeMap));
    EXPECT_EQ(mapped.item(dir + "a.htm").Mode, kModeMap);
    EXPECT_EQ(mapped.item(dir + "i.gif").Mode, kModeSkip);
    // Update mode is inherited by everything.
    const TResult update = ScanPage(page, Profile(), Facts(1, kModeUpdate));
    EXPECT_EQ(update.item(dir + "a.htm").Mode, kModeUpdate);
    EXPECT_EQ(update.item(dir + "i.gif").Mode, kModeUpdate);
}

TEST(HXThreadParseScan, QuotedRefreshTargetIsFetchedAndRewrittenWithoutItsQuotes)
{
    const TResult result = ScanPage("<meta http-equiv=\"refresh\" content=\"0; url='/docs/target.html'\"><p>moved</p>");
    EXPECT_EQ(result.urls(), TList{"http://www.site.test/docs/target.html"});
    EXPECT_EQ(result.text, "<meta http-equiv=\"refresh\" content=\"0; url='../target.html'\"><p>moved</p>");
}

TEST(HXThreadParseScan, SkippedLinksFragmentsAndDuplicates)
{
    const std::string page = "<a href=\"#top\">t</a><a href=\"MailTo:me@site.test\">m</a><a href=\"x.htm#part\">x</a>"
                             "<a href=\"X.HTM\">again</a><a href=\"x.htm\">same</a><a href=\"known.htm\">k</a>"
                             "<a href=\"\">empty</a><a href=\"http://www.site.test/docs/guide/x.htm#b\">abs</a>";
    const TResult result = ScanPage(page, Profile(), Facts(), {"http://www.site.test/docs/guide/known.htm"});
    // The fragment is not queued; a URL differing only in letter case is the same item.
    EXPECT_EQ(result.urls(), TList{"http://www.site.test/docs/guide/x.htm"});
    // Followed links keep their fragments after rewriting; skipped links stay as they were.
    EXPECT_EQ(result.text, "<a href=\"#top\">t</a><a href=\"MailTo:me@site.test\">m</a><a href=\"x.htm#part\">x</a>"
                           "<a href=\"X.HTM\">again</a><a href=\"x.htm\">same</a><a href=\"known.htm\">k</a>"
                           "<a href=\"\">empty</a><a href=\"x.htm#b\">abs</a>");
}

TEST(HXThreadParseScan, WhichLinksAreRewritten)
{
    const std::string page =
        "<a href=\"in.htm\">1</a><a href=\"http://www.site.test/other/o.htm\">2</a>"
        "<a href=\"http://elsewhere.test/e.htm\">3</a><a href=\"https://www.site.test/s.htm\">4</a>"
        "<a href=\"ftp://www.site.test/f.zip\">5</a><a href=\"page.asp?id=3\">6</a>";
    THXProfile directory = Profile();
    directory.PageLocation = kLocationStartDirectory;
    const auto text = [&](int followed, int unfollowed)
    {
        THXProfile profile = directory;
        profile.ConvertFollowedLinks = followed;
        profile.ConvertUnfollowedLinks = unfollowed;
        return ScanPage(page, profile).text;
    };
    const auto link = [](const std::string& in, int n)
    {
        std::size_t at = 0;
        for (int i = 0; i <= n; ++i)
            at = in.find("href=\"", at) + 6;
        return in.substr(at, in.find('"', at) - at);
    };
    // Followed: in.htm and page.asp?id=3 (in the start directory).
    for (int unfollowed : {0, 1, 2})
    {
        EXPECT_EQ(link(text(0, unfollowed), 0), "in.htm");
        EXPECT_EQ(link(text(0, unfollowed), 5), "page.asp?id=3");
        // Both server-page rules: ".asp" becomes ".html", the query a name ending in ".html".
        EXPECT_EQ(link(text(1, unfollowed), 5), "page.html%C2%BFid=3.html");
    }
    // Not followed: within the start site with 1 and 2, elsewhere only with 2.
    EXPECT_EQ(link(text(1, 0), 1), "http://www.site.test/other/o.htm");
    EXPECT_EQ(link(text(1, 1), 1), "../../other/o.htm");
    EXPECT_EQ(link(text(1, 1), 2), "http://elsewhere.test/e.htm");
    EXPECT_EQ(link(text(1, 2), 2), "../../../elsewhere.test/e.htm");
    // An https link to the page's own host is the same site's page: made local.
    EXPECT_EQ(link(text(1, 2), 3), "../../s.htm");
    // Refused URLs are never rewritten.
    EXPECT_EQ(link(text(1, 2), 4), "ftp://www.site.test/f.zip");

    // Only the quoted part of a script link is replaced.
    EXPECT_EQ(ScanPage("<a href=\"javascript:open('sub/w.htm','w')\">w</a>").text,
              "<a href=\"javascript:open('sub/w.htm','w')\">w</a>");
    EXPECT_EQ(ScanPage("<a href=\"javascript:open('/docs/w.htm')\">w</a>").text,
              "<a href=\"javascript:open('../w.htm')\">w</a>");
}

TEST(HXThreadParseScan, LinksToItemsGivenUpOnAreSavedWithTheAddressTheEndOfRunWouldGive)
{
    const std::string page = "<img src=\"http://gone.test/a b.gif#part\"><a href=\"in.htm\">in</a>"
                             "<img srcset=\"http://gone.test/x.gif 1x, in.gif 2x\">"
                             "<div style=\"background:url(http://gone.test/b.gif)\">d</div>"
                             "<style>p { background: url(http://gone.test/s.gif#f) }</style>"
                             "<img src=\"http://gone.test/a b.gif\">";
    const auto scan = [&](bool givenUp, std::vector<std::string>* asked)
    {
        TPageScan pageScan(page, Facts(), Profile(), Groups());
        pageScan.IsKnown = [](std::string_view) { return false; };
        if (givenUp)
            pageScan.IsGivenUp = [asked](const std::string& url)
            {
                asked->push_back(url);
                return url.starts_with("http://gone.test/");
            };
        EXPECT_TRUE(pageScan.ScanLinks());
        EXPECT_EQ(pageScan.Addressed("http://gone.test/a b.gif"), givenUp);
        EXPECT_FALSE(pageScan.Addressed("http://www.site.test/docs/guide/in.htm"));
        return pageScan.PageText;
    };
    std::vector<std::string> asked;
    const std::string addressed = scan(true, &asked);
    EXPECT_EQ(addressed, "<img src=\"http://gone.test/a%20b.gif#part\"><a href=\"in.htm\">in</a>"
                         "<img srcset=\"http://gone.test/x.gif 1x, in.gif 2x\">"
                         "<div style=\"background:url(http://gone.test/b.gif)\">d</div>"
                         "<style>p { background: url(http://gone.test/s.gif#f) }</style>"
                         "<img src=\"http://gone.test/a%20b.gif\">");
    // Each item is asked about once per page.
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked.size(), 6u);
    EXPECT_EQ(std::adjacent_find(asked.begin(), asked.end()), asked.end());

    // The same text as a page saved with local names whose links the end of the run
    // gives back their addresses.
    std::string relinked = scan(false, nullptr);
    EXPECT_NE(relinked, addressed);
    const std::vector<TRelink> failed = {{"http://gone.test/a b.gif", false},
                                         {"http://gone.test/x.gif", false},
                                         {"http://gone.test/b.gif", false},
                                         {"http://gone.test/s.gif", false}};
    EXPECT_EQ(RelinkSavedPage(relinked, kPageURL, failed), 5);
    EXPECT_EQ(relinked, addressed);
}

TEST(HXThreadParseScan, QuotedTextScansFollowTheAggressiveSetting)
{
    const std::string page = "<frame src=\"f.htm\"><script src='/js/s.js'>var p = 'img/a.gif';</script>\r\n"
                             "<p onclick=\"go('img/b.gif');\">'c.htm'</p>";
    THXProfile profile = Profile();
    profile.Depth = 0;
    const std::string dir = "http://www.site.test/docs/guide/";
    profile.AggressiveParser = 0;
    EXPECT_EQ(ScanPage(page, profile, Facts(0)).urls(), TList{dir + "f.htm"});
    // 1: the tag table, then quoted texts inside SCRIPT blocks, single quotes first.
    profile.AggressiveParser = 1;
    const TResult inScripts = ScanPage(page, profile, Facts(0));
    EXPECT_EQ(inScripts.urls(), (TList{dir + "f.htm", "http://www.site.test/js/s.js", dir + "img/a.gif"}));
    EXPECT_NE(inScripts.text.find("<script src='../../js/s.js'>var p = 'img/a.gif';"), std::string::npos);
    // 2: no tag table at all; a frame found as quoted text is no frame and is a level
    // deeper, so depth 0 refuses it.
    profile.AggressiveParser = 2;
    const TResult everywhere = ScanPage(page, profile, Facts(0));
    EXPECT_EQ(everywhere.urls(), (TList{"http://www.site.test/js/s.js", dir + "img/a.gif", dir + "img/b.gif"}));
    for (const THXQItem& item : everywhere.items)
        EXPECT_EQ(item.FrameFlag, "");
    // The link text of a quoted text is the page's text before its first "<".
    const TResult titled = ScanPage("Intro <script>x='a.gif'</script>", profile, Facts(0));
    EXPECT_EQ(titled.item(dir + "a.gif").Title, "Intro");
}

TEST(HXThreadParseScan, PageCharsetDoesNotChangeLocalNames)
{
    // The same link in a Windows-1252 and in a UTF-8 page: one URL, one local name.
    const TResult latin = ScanPage("<a href=\"caf\xE9/men\xFC.htm\">m</a>");
    const TResult utf8 = ScanPage("<a href=\"caf\xC3\xA9/men\xC3\xBC.htm\">m</a>");
    EXPECT_EQ(latin.urls(), TList{"http://www.site.test/docs/guide/caf\xC3\xA9/men\xC3\xBC.htm"});
    EXPECT_EQ(utf8.urls(), latin.urls());
    EXPECT_EQ(latin.text, "<a href=\"caf%C3%A9/men%C3%BC.htm\">m</a>");
    EXPECT_EQ(utf8.text, latin.text);
    // A blank and a "%" in a name.
    EXPECT_EQ(ScanPage("<a href=\"my%20file%21.htm\">m</a>").text, "<a href=\"my%20file%2521.htm\">m</a>");
}

// Whatever a page holds, the scans end, in time linear in its size.
TEST(HXThreadParseScan, HostilePagesFinishInBoundedTime)
{
    const auto repeat = [](const std::string& unit, std::size_t size)
    {
        std::string page;
        page.reserve(size + unit.size());
        while (page.size() < size)
            page += unit;
        return page;
    };
    THXProfile profile = Profile();
    profile.AggressiveParser = 1;
    THXProfile everywhere = Profile();
    everywhere.AggressiveParser = 2;
    struct TPage
    {
        const char* what;
        std::string text;
        const THXProfile& profile;
        std::size_t minimumItems;
    };
    std::string binary(4 * 1024 * 1024, '\0');
    std::uint32_t state = 7;
    for (char& c : binary)
    {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    const std::vector<TPage> pages = {
        {"links", repeat("<p><a href=\"p1.htm\">x</a><img src=\"../i/a.gif\"> 'q.gif'>\r\n", 20 << 20), profile, 2},
        {"distinct links",
         [&]
         {
             std::string page;
             for (int i = 0; page.size() < (4 << 20); ++i)
                 page += "<a href=\"d" + std::to_string(i) + ".htm\">" + std::to_string(i) + "</a>\r\n";
             return page;
         }(),
         profile, 100000},
        {"a million quotes", "<script>" + repeat("'", 1000000) + "</script>>", profile, 0},
        {"quoted paths in a script", "<script>" + repeat("'a/b' ", 2 << 20) + "</script>", everywhere, 1},
        {"unterminated tags", repeat("<a href=\"x", 8 << 20), profile, 0},
        {"unterminated quotes", "<script>" + repeat("\"a/b.gif ", 8 << 20), everywhere, 0},
        {"binary", binary, everywhere, 0},
        {"NUL bytes", repeat("<a href=\"a\0b.htm\">\0</a>\0'\0.gif'>"s, 2 << 20), everywhere, 1},
    };
    for (const TPage& page : pages)
    {
        const auto start = std::chrono::steady_clock::now();
        // Generous for sanitizer builds: what is caught is a scan that never ends or grows
        // with the square of the page, which on these sizes takes hours.
        const auto deadline = start + std::chrono::seconds(300);
        TPageScan scan(page.text, Facts(), page.profile, Groups());
        std::set<std::string> known;
        scan.IsKnown = [&known](std::string_view url) { return known.contains(std::string(url)); };
        bool late = false;
        std::size_t items = 0;
        scan.AfterFind = [&](TPageScan& current)
        {
            for (const THXQItem& item : current.TakeNewItems())
            {
                known.insert(LowerCase(item.URL));
                ++items;
            }
            late = std::chrono::steady_clock::now() > deadline;
            return !late;
        };
        EXPECT_TRUE(scan.ScanLinks()) << page.what;
        EXPECT_FALSE(late) << page.what;
        EXPECT_GE(items + scan.TakeNewItems().size(), page.minimumItems) << page.what;
        std::printf("%-28s %6.1f MB %7.2f s\n", page.what, static_cast<double>(page.text.size()) / (1 << 20),
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

} // namespace
} // namespace hx
