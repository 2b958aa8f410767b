#include "engine/HXThreadParseRewrite.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/HXStrings.h"

namespace hx
{
namespace
{

using namespace std::string_literals;

TEST(HXThreadParseRewrite, ConvertedLinksAreRelativeToTheFolderTheyAreReadFrom)
{
    const std::string folder = "http://www.site.test/a/b/";
    // Sub-directory, the host's root from two levels down, another host.
    EXPECT_EQ(ConvertedLink("http://www.site.test/a/b/sub/x.htm", folder, ""), "sub/x.htm");
    EXPECT_EQ(ConvertedLink("http://www.site.test/top.htm", folder, ""), "../../top.htm");
    EXPECT_EQ(ConvertedLink("http://other.test/d/y.htm", folder, ""), "../../../other.test/d/y.htm");
    // A directory URL becomes its index file; server pages become ".html".
    EXPECT_EQ(ConvertedLink("http://www.site.test/a/c/", folder, ""), "../c/index.htm");
    EXPECT_EQ(ConvertedLink("http://www.site.test/a/b/list.asp", folder, ""), "list.html");
    // A query: "?" becomes the inverted question mark, written as its UTF-8 bytes.
    EXPECT_EQ(ConvertedLink("http://www.site.test/a/b/find.php?q=1", folder, ""), "find.php%C2%BFq=1.html");
    EXPECT_EQ(ConvertedLink("http://www.site.test/a/b/pic.cgi?f=gif", folder, ""), "pic.cgi%C2%BFf=gif.gif");
    // The fragment comes from the link as it was, after the local name.
    EXPECT_EQ(ConvertedLink("http://www.site.test/a/b/x.htm#part", folder, "#part"), "x.htm#part");
    EXPECT_EQ(ConvertedLink("http://www.site.test/a/b/f.php?x=1#top", folder, "#top"), "f.php%C2%BFx=1.html#top");
}

TEST(HXThreadParseRewrite, LinksAreWrittenSoThatABrowserFindsTheNameOnDisk)
{
    // Non-ASCII bytes, blanks, "%" and "#" in names, quotes and markup characters.
    EXPECT_EQ(PageLinkText("caf\xC3\xA9/a b.htm"), "caf%C3%A9/a%20b.htm");
    EXPECT_EQ(PageLinkText("100%.htm"), "100%25.htm");
    EXPECT_EQ(PageLinkText("a#b.htm"), "a%23b.htm");
    EXPECT_EQ(PageLinkText("it's \"x\"<y>&z?.htm"), "it%27s%20%22x%22%3Cy%3E%26z%3F.htm");
    EXPECT_EQ(PageLinkText("a\\b`\x7F\x01"), "a%5Cb%60%7F%01");
    EXPECT_EQ(PageLinkText("../x-y_z.~(1)+=;,!$*@[].htm"), "../x-y_z.~(1)+=;,!$*@[].htm");
    // A link from a Windows-1252 page is queued in UTF-8, so its name is UTF-8 too.
    EXPECT_EQ(ConvertedLink("http://h.test/caf\xC3\xA9.htm", "http://h.test/", ""), "caf%C3%A9.htm");
    EXPECT_EQ(ConvertedLink("http://h.test/a%20b/c%7E.htm", "http://h.test/", ""), "a%20b/c%257E.htm");
}

// The block test must answer exactly as the definition does, read from scratch.
// The links of a saved page to an item whose fetch failed get its address, fragments
// kept, wherever the page scans found them (tags, an AREA met by two scans, scripts);
// other links stay. Once fetched, the same links become local again.
TEST(HXThreadParseRewrite, RelinkedPagesSwitchBetweenLocalLinksAndAddresses)
{
    const std::string pageURL = "http://www.site.test/docs/guide/page.htm";
    const std::string missing = "http://www.site.test/docs/gone.htm";
    const std::string local = ConvertedLink(missing, "http://www.site.test/docs/guide/", "");
    ASSERT_EQ(local, "../gone.htm");
    const std::string saved = "<a href=\"../gone.htm#part\">g</a><area href=\"../gone.htm\">"
                              "<img src=\"../img/x.gif\"><a href=\"gone.htm\">other</a>"
                              "<script>var u = '../gone.htm';</script>";
    std::string text = saved;
    EXPECT_EQ(RelinkSavedPage(text, pageURL, {{missing, false}}), 3);
    EXPECT_EQ(text, "<a href=\"" + missing + "#part\">g</a><area href=\"" + missing +
                        "\"><img src=\"../img/x.gif\"><a href=\"gone.htm\">other</a>"
                        "<script>var u = '" +
                        missing + "';</script>");
    // Again: nothing left to change.
    const std::string restored = text;
    EXPECT_EQ(RelinkSavedPage(text, pageURL, {{missing, false}}), 0);
    EXPECT_EQ(text, restored);
    EXPECT_EQ(RelinkSavedPage(text, pageURL, {{missing, true}}), 3);
    EXPECT_EQ(text, saved);

    // Addresses are written so that they stand between quotes whatever the page's charset.
    EXPECT_EQ(PageAddressText("http://h.test/caf\xC3\xA9 x.htm?a='1'&b=\"2\"#f"),
              "http://h.test/caf%C3%A9%20x.htm?a=%271%27&b=%222%22#f");
}

TEST(HXThreadParseRewrite, ScriptRangesFollowTheBlockRule)
{
    const auto inside = [](const std::string& text, int position)
    {
        const int open = FindBackward(text, "<script", -position);
        if (open == 0)
            return false;
        const int close = FindForward(text, "/script", -open);
        return close != 0 && close >= position;
    };
    const std::vector<std::string> pieces = {"<script>", "<SCRIPT ", "</script>", "/Script", "<body>", "x", "<", "/"};
    std::mt19937 random(5);
    int insideCount = 0;
    for (int round = 0; round < 2000; ++round)
    {
        std::string text;
        for (int i = static_cast<int>(random() % 20); i > 0; --i)
            text += pieces[random() % pieces.size()];
        const TScriptRanges ranges(text);
        for (int position = 1; position <= static_cast<int>(text.size()) + 1; ++position)
        {
            ASSERT_EQ(ranges.Contains(position), inside(text, position)) << text << " @" << position;
            insideCount += inside(text, position) ? 1 : 0;
        }
    }
    EXPECT_GT(insideCount, 1000);
}

TEST(HXThreadParseRewrite, BannerGoesAfterTheFirstBodyAndBeforeTheFirstClosingBodyOutsideScripts)
{
    const std::string block = "\r\n" + AdBannerBlock("http://ads.test/b.htm");
    const std::string layer = AdBannerLayer("http://ads.test/b.htm");
    EXPECT_EQ(block.find(std::string(kBannerStartComment) + "\r\n"), 2u);
    EXPECT_TRUE(block.ends_with(std::string(kBannerEndComment) + "\r\n"));
    EXPECT_NE(block.find("height=\"60\""), std::string::npos);
    EXPECT_NE(block.find("src=\"http://ads.test/b.htm\""), std::string::npos);
    EXPECT_NE(layer.find("width:600px"), std::string::npos);
    EXPECT_NE(layer.find("visibility:hidden"), std::string::npos);
    EXPECT_NE(layer.find("src=\"http://ads.test/b.htm\""), std::string::npos);

    std::string page = "<html><script>document.write('<body>x</body>')</script>\r\n"
                       "<BODY bgcolor=\"white\">text<script>'</body>'</script>more</Body></html>\r\n";
    EXPECT_EQ(InsertAdBanner(page, "http://ads.test/b.htm"), 2);
    EXPECT_EQ(page, "<html><script>document.write('<body>x</body>')</script>\r\n<BODY bgcolor=\"white\">" + block +
                        "text<script>'</body>'</script>more" + layer + "</Body></html>\r\n");

    // "<body></body>": the block, then the layer.
    std::string empty = "<body></body>";
    EXPECT_EQ(InsertAdBanner(empty, ""), 2);
    EXPECT_EQ(empty, "<body>\r\n" + AdBannerBlock("") + AdBannerLayer("") + "</body>");
    EXPECT_NE(empty.find("src=\"about:blank\""), std::string::npos);

    // Only inside scripts, or no tags at all: nothing is inserted.
    for (std::string none : {"<script><body></body></script>"s, "no markup"s, "<body"s, ""s})
    {
        const std::string before = none;
        EXPECT_EQ(InsertAdBanner(none, "http://ads.test/"), 0) << before;
        EXPECT_EQ(none, before);
    }
    // Only one of the two tags.
    std::string open = "<body><p>x";
    EXPECT_EQ(InsertAdBanner(open, "x"), 1);
    EXPECT_EQ(open, "<body>\r\n" + AdBannerBlock("x") + "<p>x");

    // An address cannot break out of the attribute.
    EXPECT_NE(AdBannerBlock("http://a.test/?a=1&b=\"><script>").find("src=\"http://a.test/?a=1&amp;b=&quot;&gt;&lt;"),
              std::string::npos);
}

} // namespace
} // namespace hx
