#include "engine/HXThreadParseStyle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/HXStrings.h"
#include "engine/HXParser.h"
#include "engine/HXThreadParseRewrite.h"
#include "engine/HXThreadParseScan.h"

namespace hx
{
namespace
{

using TList = std::vector<std::string>;

TList Texts(std::string_view text, const std::vector<TInnerLink>& links)
{
    TList texts;
    for (const TInnerLink& link : links)
        texts.emplace_back(text.substr(link.Start, link.Length));
    return texts;
}

constexpr const char* kPageURL = "http://www.site.test/docs/guide/page.htm";
constexpr const char* kSheetURL = "http://www.site.test/docs/css/site.css";

TFileTypeGroups Groups()
{
    TFileTypeGroups groups;
    groups.names = {"HTML", "Images", "Audio", "Video", "Scripts and Style Sheets", "Fonts"};
    groups.texts = {".htm;.html;",      ".gif;.jpg;.png;.webp;", ".mp3;.ogg;",
                    ".mp4;.webm;.vtt;", ".js;.css;.swf;.svg;",   ".woff;.woff2;"};
    return groups;
}

THXProfile Profile(int aggressive = 0)
{
    THXProfile profile;
    profile.PageLocation = kLocationStartSite;
    profile.ResourceLocation = kLocationStartSite;
    profile.Depth = -1;
    profile.AggressiveParser = aggressive;
    profile.ConvertFollowedLinks = 1;
    profile.ConvertUnfollowedLinks = 1;
    return profile;
}

TPageFacts Facts(const std::string& url = kPageURL, bool styleSheet = false)
{
    TPageFacts facts;
    facts.URL = url;
    facts.Level = 1;
    facts.StartDirectory = "http://www.site.test/docs/";
    facts.StyleSheet = styleSheet;
    return facts;
}

struct TScanned
{
    std::string text;
    TList urls;
    std::vector<THXQItem> items;
};

TScanned Scan(const std::string& text, const TPageFacts& facts = Facts(), const THXProfile& profile = Profile())
{
    TPageScan scan(text, facts, profile, Groups());
    EXPECT_TRUE(scan.ScanLinks());
    TScanned result{scan.PageText, {}, scan.TakeNewItems()};
    for (const THXQItem& item : result.items)
        result.urls.push_back(item.URL);
    return result;
}

TEST(HXThreadParseStyle, StyleLinksAreFoundInEveryFormAndOnlyThere)
{
    const std::string css = "@import \"base.css\";\n"
                            "@import url(print.css) print;\n"
                            "@import 'theme.css';\n"
                            "/* url(commented.png) @import \"gone.css\"; */\n"
                            "body { background: url(  bg.png  ) no-repeat; }\n"
                            ".a { background-image: URL(\"../img/a b.png\"); }\n"
                            ".b { background: url('quoted\\'s.gif'); }\n"
                            ".c::before { content: \"url(text.png)\"; }\n"
                            ".d { background: url(data:image/png;base64,AAAA); }\n"
                            ".e { mask: url(); filter: url(#shadow); }\n"
                            "@font-face { src: url(fonts/x.woff2) format('woff2'), url(\"fonts/x.woff\"); }\n"
                            ".f { background: myurl(not.png); }\n";
    EXPECT_EQ(Texts(css, FindStyleLinks(css)), (TList{"base.css", "print.css", "theme.css", "bg.png", "../img/a b.png",
                                                      "quoted\\'s.gif", "#shadow", "fonts/x.woff2", "fonts/x.woff"}));
    // An unclosed comment or string hides the rest; an unclosed url( runs to the end.
    EXPECT_TRUE(FindStyleLinks("/* url(a.png)").empty());
    EXPECT_TRUE(FindStyleLinks("content: 'url(a.png)").empty());
    EXPECT_EQ(Texts("x{background:url(a.png", FindStyleLinks("x{background:url(a.png")), (TList{"a.png"}));

    const std::string page = "<style>a{}</style><p style=\"x\"><STYLE type=\"text/css\">b{}</Style><styles>"
                             "<style>unterminated";
    EXPECT_EQ(Texts(page, FindStyleBlocks(page)), (TList{"a{}", "b{}"}));

    EXPECT_TRUE(IsStyleSheetURL("http://h/css/a.CSS"));
    EXPECT_TRUE(IsStyleSheetURL("http://h/a.css?v=3#x"));
    EXPECT_FALSE(IsStyleSheetURL("http://h/a.css.html"));
    EXPECT_FALSE(IsStyleSheetURL("http://www.css"));
    EXPECT_EQ(StyleLinkText("a%20(1).png"), "a%20%281%29.png");
}

TEST(HXThreadParseStyle, SrcsetCandidatesFollowTheBrowserRule)
{
    const auto candidates = [](std::string_view value) { return Texts(value, FindSrcsetLinks(value)); };
    EXPECT_EQ(candidates("a.jpg 1x, b.jpg 2x"), (TList{"a.jpg", "b.jpg"}));
    EXPECT_EQ(candidates("  small.jpg 480w,\n large.jpg   800w  "), (TList{"small.jpg", "large.jpg"}));
    EXPECT_EQ(candidates("one.jpg"), (TList{"one.jpg"}));
    // A comma not followed by a blank belongs to the address; trailing commas end it.
    EXPECT_EQ(candidates("img?w=1,2.jpg 1x,b.jpg 2x"), (TList{"img?w=1,2.jpg", "b.jpg"}));
    EXPECT_EQ(candidates("a.jpg,, b.jpg"), (TList{"a.jpg", "b.jpg"}));
    EXPECT_EQ(candidates("a.jpg,b.jpg"), (TList{"a.jpg,b.jpg"}));
    // Commas inside parentheses of a descriptor do not end the candidate.
    EXPECT_EQ(candidates("a.jpg (x, y), b.jpg 2x"), (TList{"a.jpg", "b.jpg"}));
    EXPECT_EQ(candidates("data:image/gif;base64,R0lGOD 1x, c.gif 2x"), (TList{"c.gif"}));
    EXPECT_TRUE(candidates(" , ,").empty());
}

TEST(HXThreadParseStyle, ModernTagsQueueEveryLinkAndRewriteItInPlace)
{
    const std::string page =
        "<html><head><link rel=\"icon\" href=\"/docs/favicon.ico\">"
        "<link rel=\"preload\" as=\"font\" href=\"../fonts/f.woff2\" crossorigin>"
        "<link rel=\"stylesheet\" media=\"print\" href=\"../css/print.css\">"
        "<style>\r\nbody { background: url(\"../img/bg.png\") }\r\n@import url(../css/more.css);\r\n</style></head>"
        "<body><img src=\"a.jpg\" srcset=\"a.jpg 1x, ../img/b,2.jpg 2x,  c.webp 3x\" alt=\"A\">"
        "<picture><source srcset=\"d.webp 480w, e.webp 800w\" type=\"image/webp\"></picture>"
        "<video poster=\"poster.jpg\" src=\"clip.mp4\"><source src=\"clip.webm\"><track src=\"subs.vtt\"></video>"
        "<audio src=\"song.mp3\"></audio><embed src=\"anim.swf\"><object data=\"drawing.svg\"></object>"
        "<div style=\"background-image: url('tile.gif'); color: red\">x</div>"
        "<p style=\"background: url(data:image/png;base64,AA)\">y</p></body></html>";
    const TScanned scanned = Scan(page);
    const std::string dir = "http://www.site.test/docs/guide/";
    const std::set<std::string> queued(scanned.urls.begin(), scanned.urls.end());
    for (const std::string& url :
         TList{"http://www.site.test/docs/favicon.ico", "http://www.site.test/docs/fonts/f.woff2",
               "http://www.site.test/docs/css/print.css", "http://www.site.test/docs/img/bg.png",
               "http://www.site.test/docs/css/more.css", dir + "a.jpg", "http://www.site.test/docs/img/b,2.jpg",
               dir + "c.webp", dir + "d.webp", dir + "e.webp", dir + "poster.jpg", dir + "clip.mp4", dir + "clip.webm",
               dir + "subs.vtt", dir + "song.mp3", dir + "anim.swf", dir + "drawing.svg", dir + "tile.gif"})
        EXPECT_TRUE(queued.contains(url)) << url;
    EXPECT_EQ(scanned.items.size(), 18u);
    EXPECT_EQ(scanned.items.front().URL, dir + "a.jpg"); // the IMG SRC row comes first

    // Every candidate is rewritten, descriptors kept; style links stay in their quotes.
    const std::string& text = scanned.text;
    EXPECT_NE(text.find("srcset=\"a.jpg 1x, ../img/b,2.jpg 2x,  c.webp 3x\""), std::string::npos) << text;
    EXPECT_NE(text.find("url(\"../img/bg.png\")"), std::string::npos);
    EXPECT_NE(text.find("style=\"background-image: url('tile.gif'); color: red\""), std::string::npos);
    EXPECT_NE(text.find("url(data:image/png;base64,AA)"), std::string::npos);

    // A page one folder deeper whose BASE names the first folder: every link is written
    // relative to the page's own folder.
    std::string based = page;
    based.insert(based.find("<head>") + 6, "<base href=\"http://www.site.test/docs/guide/\">");
    const TScanned deeper = Scan(based, Facts("http://www.site.test/docs/guide/sub/page.htm"));
    EXPECT_EQ(deeper.urls, scanned.urls);
    EXPECT_NE(deeper.text.find("srcset=\"../a.jpg 1x, ../../img/b,2.jpg 2x,  ../c.webp 3x\""), std::string::npos)
        << deeper.text;
    EXPECT_NE(deeper.text.find("<source srcset=\"../d.webp 480w, ../e.webp 800w\""), std::string::npos);
    EXPECT_NE(deeper.text.find("poster=\"../poster.jpg\""), std::string::npos);
    EXPECT_NE(deeper.text.find("url('../tile.gif')"), std::string::npos);
    EXPECT_NE(deeper.text.find("url(\"../../img/bg.png\")"), std::string::npos);
    EXPECT_NE(deeper.text.find("@import url(../../css/more.css)"), std::string::npos);
}

TEST(HXThreadParseStyle, StyleSheetLinksResolveAgainstTheSheetAndAreRewritten)
{
    THXProfile profile = Profile();
    profile.ConvertUnfollowedLinks = 2;
    const std::string sheet = "@import \"theme.css\";\r\n@import url(http://www.site.test/docs/css/x.css?v=2);\n"
                              "/* url(old.png) */ .a { background: url(../img/a%20b.png) }\n"
                              ".b { background: url( 'http://other.test/c.gif' ) }\n"
                              ".c { background: url(data:image/gif;base64,R0l) }\n"
                              "@font-face { src: url(\"../fonts/f(1).woff2#iefix\") }\n"
                              "a[href^=\"x\"]::after { content: \"<img src='no.gif'>\" }\n";
    const TScanned scanned = Scan(sheet, Facts(kSheetURL, true), profile);
    EXPECT_EQ(scanned.urls,
              (TList{"http://www.site.test/docs/css/theme.css", "http://www.site.test/docs/css/x.css?v=2",
                     "http://www.site.test/docs/img/a%20b.png", "http://www.site.test/docs/fonts/f(1).woff2"}));
    for (const THXQItem& item : scanned.items)
    {
        EXPECT_EQ(item.Level, 2);
        EXPECT_EQ(item.Referrer, kSheetURL);
    }
    EXPECT_EQ(scanned.text, "@import \"theme.css\";\r\n@import url(x.css%C2%BFv=2.html);\n"
                            "/* url(old.png) */ .a { background: url(../img/a%20b.png) }\n"
                            ".b { background: url( '../../../other.test/c.gif' ) }\n"
                            ".c { background: url(data:image/gif;base64,R0l) }\n"
                            "@font-face { src: url(\"../fonts/f%281%29.woff2#iefix\") }\n"
                            "a[href^=\"x\"]::after { content: \"<img src='no.gif'>\" }\n");
}

TEST(HXThreadParseStyle, RelinkingChangesEachCandidateAndStyleLinkOnItsOwn)
{
    const std::string pageURL = "http://www.site.test/docs/page.htm";
    const std::string missing = "http://www.site.test/docs/img/b(2).png";
    const std::string saved = "<style>.x { background: url(img/b%282%29.png) } .y { background: url(img/a.png) }"
                              "</style><img srcset=\"img/a.png 1x, img/b(2).png 2x\">"
                              "<p style=\"background: url('img/b%282%29.png#f')\">p</p>";
    std::string text = saved;
    EXPECT_EQ(RelinkSavedPage(text, pageURL, {{missing, false}}), 3);
    EXPECT_EQ(text, "<style>.x { background: url(http://www.site.test/docs/img/b%282%29.png) } "
                    ".y { background: url(img/a.png) }</style>"
                    "<img srcset=\"img/a.png 1x, http://www.site.test/docs/img/b(2).png 2x\">"
                    "<p style=\"background: url('http://www.site.test/docs/img/b%282%29.png#f')\">p</p>");
    EXPECT_EQ(RelinkSavedPage(text, pageURL, {{missing, true}}), 3);
    EXPECT_EQ(text, saved);
}

// A small random page made of the tags of the table, with values that hold "<",
// fragments, script links, frames, applets and image maps, and stray "<" and ">".
std::string RandomPage(std::uint32_t seed)
{
    std::uint32_t state = seed * 2654435761u + 1;
    const auto next = [&state](std::uint32_t bound)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state % bound;
    };
    const char* const tags[] = {"a",    "area",   "img",   "frame", "frameset", "applet", "link",   "meta",
                                "body", "source", "video", "audio", "input",    "embed",  "object", "abbr"};
    const char* const attributes[] = {"href",  "src",    "srcset", "code",       "codebase", "url",
                                      "style", "poster", "data",   "background", "alt"};
    const char* const values[] = {"p.htm",
                                  "../up/q.htm#f",
                                  "x.gif 1x, y.gif 2x",
                                  "javascript:open('w.htm')",
                                  "a<img src=\"z.gif\">",
                                  "#top",
                                  "http://www.site.test/docs/r.htm",
                                  "http://other.test/o.gif",
                                  "background:url(t.png)",
                                  "0; URL=refresh.htm",
                                  "classes/",
                                  "m.htm#a<b",
                                  "<a href=",
                                  "style/x.htm?style=1",
                                  ""};
    std::string page = "<html><title>t</title>";
    const std::uint32_t count = 5 + next(30);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        switch (next(8))
        {
        case 0:
            page += " text < more ";
            break;
        case 1:
            page += "> ";
            break;
        default:
        {
            page += std::string("<") + tags[next(16)];
            const std::uint32_t pairs = next(4);
            for (std::uint32_t a = 0; a < pairs; ++a)
            {
                page += std::string(" ") + attributes[next(11)] + (next(5) == 0 ? " = " : "=");
                page += next(6) == 0 ? "'" + std::string(values[next(15)]) + "'"
                                     : "\"" + std::string(values[next(15)]) + "\"";
            }
            page += next(7) == 0 ? "" : ">";
            page += "link text";
        }
        }
    }
    return page + "</html>";
}

// The tag table scanned as one ScanTagPair per row, the way the rows were scanned
// before the one-pass scan.
TScanned ScanRowByRow(const std::string& text, const THXProfile& profile)
{
    TPageScan scan(text, Facts(), profile, Groups());
    scan.ReadBase();
    scan.ReadTitle();
    for (const TTagTableRow& row : kTagTable)
        EXPECT_TRUE(scan.ScanTagPair(row.tag, ">", THXParser::kTagMode, row.attribute, row.kind));
    EXPECT_TRUE(scan.ScanStyleBlocks());
    TScanned result{scan.PageText, {}, scan.TakeNewItems()};
    for (const THXQItem& item : result.items)
        result.urls.push_back(item.URL);
    return result;
}

TEST(HXThreadParseStyle, OnePassGivesTheSameQueueAndPageAsOneScanPerRow)
{
    THXProfile unfollowed = Profile();
    unfollowed.ConvertUnfollowedLinks = 2;
    for (std::uint32_t seed = 1; seed <= 3000; ++seed)
    {
        const std::string page = RandomPage(seed);
        for (const THXProfile& profile : {Profile(), unfollowed})
        {
            const TScanned onePass = Scan(page, Facts(), profile);
            const TScanned rowByRow = ScanRowByRow(page, profile);
            ASSERT_EQ(onePass.text, rowByRow.text) << "seed " << seed << "\n" << page;
            ASSERT_EQ(onePass.urls, rowByRow.urls) << "seed " << seed << "\n" << page;
            for (std::size_t i = 0; i < onePass.items.size(); ++i)
            {
                ASSERT_EQ(onePass.items[i].Title, rowByRow.items[i].Title) << "seed " << seed;
                ASSERT_EQ(onePass.items[i].Level, rowByRow.items[i].Level) << "seed " << seed;
                ASSERT_EQ(onePass.items[i].FrameFlag, rowByRow.items[i].FrameFlag) << "seed " << seed;
            }
        }
    }
}

TEST(HXThreadParseStyle, OnePassFindsTheTagsEachRowsScanStopsAt)
{
    const std::string page = "<a href=\"<img src=1>\"><IMG src=2><\n frame src=3><frameset><img src=4";
    const auto found = THXParser::FindTagsOfNames(page, {"A", "IMG", "FRAME", "", "X"});
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(found[0], (std::vector<int>{1}));                 // the A tag ends at the first ">"
    EXPECT_EQ(found[1], (std::vector<int>{10, 23, 59}));        // an IMG inside A's value counts for IMG
    EXPECT_EQ(found[2], (std::vector<int>{34, 49}));            // FRAME also stops at FRAMESET
    EXPECT_EQ(found[3], (std::vector<int>{1, 23, 34, 49, 59})); // but not for every tag
    EXPECT_TRUE(found[4].empty());
    // The row of every tag leaves out the tags without its attribute, but not the last
    // tag, which has no end.
    EXPECT_EQ(THXParser::FindTagsOfNames(page, {""}, {"SRC"}), (std::vector<std::vector<int>>{{1, 23, 34, 59}}));
    // The same tags as the row's own scan finds.
    for (const char* name : {"A", "IMG", "FRAME", ""})
    {
        THXParser scanner(page, name, ">", "SRC", THXParser::kTagMode);
        std::vector<int> starts;
        do
        {
            scanner.FindNext();
            if (scanner.TagStart != 0)
                starts.push_back(scanner.TagStart);
        } while (scanner.NextFrom != 0 && scanner.Cursor != 0);
        const std::size_t row = std::string_view(name) == "A"       ? 0
                                : std::string_view(name) == "IMG"   ? 1
                                : std::string_view(name) == "FRAME" ? 2
                                                                    : 3;
        EXPECT_EQ(starts, found[row]) << name;
    }
}

} // namespace
} // namespace hx
