// Reading robots.txt files: which group applies to the agent name sent, which rule
// decides a path, the Crawl-delay, and files that say nothing usable.

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <string>

#include "engine/HXRobots.h"

namespace hx
{
namespace
{

using namespace std::chrono_literals;

TEST(HXRobotsTest, TheGroupOfTheAgentSentApplies)
{
    const std::string text = "# the site's rules\r\n"
                             "User-agent: *\r\n"
                             "Disallow: /private/\r\n"
                             "Crawl-delay: 2\r\n"
                             "\r\n"
                             "User-agent: OtherBot\r\n"
                             "User-agent: harbex\r\n"
                             "Disallow: /only-harbex/   # comment after a rule\r\n"
                             "Crawl-delay: 0.5\r\n"
                             "Sitemap: http://h/sitemap.xml\r\n"
                             "User-agent: Harbex\r\n"
                             "Disallow: /also-harbex\r\n";
    // Letter case is ignored and groups naming the agent are merged; the "*" group
    // then does not apply at all.
    const TRobotsRules harbex = TRobotsRules::Parse(text, "Harbex");
    EXPECT_FALSE(harbex.Allows("/only-harbex/page.html"));
    EXPECT_FALSE(harbex.Allows("/also-harbex.html"));
    EXPECT_TRUE(harbex.Allows("/private/page.html"));
    EXPECT_EQ(harbex.CrawlDelay(), 500ms);
    // A browser-like agent name that contains the value matches too.
    EXPECT_FALSE(TRobotsRules::Parse(text, "Mozilla/4.0 (compatible; Harbex)").Allows("/only-harbex/"));

    // Another agent gets the "*" group.
    const TRobotsRules other = TRobotsRules::Parse(text, "Mozilla/4.06 [en] (WinNT; I)");
    EXPECT_FALSE(other.Allows("/private/page.html"));
    EXPECT_TRUE(other.Allows("/only-harbex/page.html"));
    EXPECT_EQ(other.CrawlDelay(), 2000ms);

    // The longest matching value wins over a shorter one.
    const TRobotsRules longer =
        TRobotsRules::Parse("User-agent: harb\nDisallow: /a\n\nUser-agent: harbex\nDisallow: /b\n", "Harbex");
    EXPECT_TRUE(longer.Allows("/a"));
    EXPECT_FALSE(longer.Allows("/b"));
}

TEST(HXRobotsTest, TheLongestMatchingRuleDecides)
{
    const TRobotsRules rules = TRobotsRules::Parse("User-agent: *\n"
                                                   "Disallow: /docs/\n"
                                                   "Allow: /docs/public/\n"
                                                   "Disallow: /docs/public/drafts\n"
                                                   "Disallow: /*.cgi$\n"
                                                   "Disallow: /search*q=\n"
                                                   "Allow: /same\n"
                                                   "Disallow: /same\n"
                                                   "Disallow:\n",
                                                   "Harbex");
    EXPECT_FALSE(rules.Allows("/docs/index.html"));
    EXPECT_TRUE(rules.Allows("/docs/public/a.html"));
    EXPECT_FALSE(rules.Allows("/docs/public/drafts/b.html"));
    EXPECT_TRUE(rules.Allows("/doc.html"));
    // "*" stands for any run of characters, a final "$" for the end of the path.
    EXPECT_FALSE(rules.Allows("/bin/run.cgi"));
    EXPECT_TRUE(rules.Allows("/bin/run.cgi?x=1"));
    EXPECT_FALSE(rules.Allows("/search/results?lang=en&q=word"));
    EXPECT_TRUE(rules.Allows("/search/results?lang=en"));
    // Allow wins a tie; the empty Disallow is no rule.
    EXPECT_TRUE(rules.Allows("/same/page.html"));
    EXPECT_TRUE(rules.Allows("/"));
    // The file itself is never kept out.
    EXPECT_TRUE(TRobotsRules::Parse("User-agent: *\nDisallow: /\n", "Harbex").Allows("/robots.txt"));
    EXPECT_FALSE(TRobotsRules::Parse("User-agent: *\nDisallow: /\n", "Harbex").Allows("/index.html"));
}

TEST(HXRobotsTest, FilesThatSayNothingUsableAllowEverything)
{
    for (const std::string& text :
         {std::string(), std::string("<html><body>Not Found</body></html>"), std::string("\x00\xff\xfe garbage", 12),
          std::string("Disallow: /no-group-before-it\n"), std::string("User-agent: SomeoneElse\nDisallow: /\n")})
    {
        const TRobotsRules rules = TRobotsRules::Parse(text, "Harbex");
        EXPECT_TRUE(rules.Allows("/any/page.html")) << text;
        EXPECT_EQ(rules.CrawlDelay(), 0ms) << text;
    }
    // Crawl-delays that are no number are none; huge ones are capped.
    EXPECT_EQ(TRobotsRules::Parse("User-agent: *\nCrawl-delay: soon\n", "Harbex").CrawlDelay(), 0ms);
    EXPECT_EQ(TRobotsRules::Parse("User-agent: *\nCrawl-delay: -3\n", "Harbex").CrawlDelay(), 0ms);
    EXPECT_EQ(TRobotsRules::Parse("User-agent: *\nCrawl-delay: 86400\n", "Harbex").CrawlDelay(), kMaxCrawlDelay);
}

// The windowed program runs under the desktop's locale: a comma-decimal one must not
// change how "Crawl-delay: 0.5" reads.
TEST(HXRobotsTest, CrawlDelayReadsTheSameUnderACommaDecimalLocale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed (scripts/setup.sh generates it)";
    const std::string robots = "User-agent: *\nCrawl-delay: 0.5\n\nUser-agent: Harbex\nCrawl-delay: 1.25\n";
    const std::chrono::milliseconds any = TRobotsRules::Parse(robots, "Other").CrawlDelay();
    const std::chrono::milliseconds harbex = TRobotsRules::Parse(robots, "Harbex/2.6").CrawlDelay();
    const std::chrono::milliseconds comma = TRobotsRules::Parse("User-agent: *\nCrawl-delay: 0,5\n", "X").CrawlDelay();
    const std::chrono::milliseconds exponent =
        TRobotsRules::Parse("User-agent: *\nCrawl-delay: 2e1\n", "X").CrawlDelay();
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(any, 500ms);
    EXPECT_EQ(harbex, 1250ms);
    EXPECT_EQ(comma, 0ms); // the wire's decimal mark is the point, whatever the locale
    EXPECT_EQ(exponent, 20000ms);
}

TEST(HXRobotsTest, SitesAndPathsOfURLs)
{
    EXPECT_EQ(RobotsSite("http://127.0.0.1:8080/a/b.html?x=1#top"), "http://127.0.0.1:8080/");
    EXPECT_EQ(RobotsSite("HTTPS://Example.org/"), "https://example.org/");
    EXPECT_EQ(RobotsPath("http://127.0.0.1:8080/a/b.html?x=1#top"), "/a/b.html?x=1");
    EXPECT_EQ(RobotsPath("http://h"), "/");
}

} // namespace
} // namespace hx
