// Reading sitemaps: lists of pages and lists of lists, entities and CDATA in <loc>,
// the protocol's bounds, gzip data, text files, damaged and foreign files; the
// robots.txt "Sitemap:" lines; and the pages a sitemap lists judged by the task's
// profile as links on the start page.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "engine/HXRobots.h"
#include "engine/HXSitemaps.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

using TStrings = std::vector<std::string>;

std::string Gzip(const std::string& bytes)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string URLSet(const std::string& entries)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n" +
           entries + "</urlset>\n";
}

TEST(HXSitemapsTest, ListsOfPagesAndListsOfSitemapsGiveTheirLocations)
{
    const TSitemapFile pages = ParseSitemap(
        "\xEF\xBB\xBF" +
        URLSet("  <url><loc>http://h/a.html</loc><lastmod>2024-01-01</lastmod></url>\n"
               "  <!-- <url><loc>http://h/commented.html</loc></url> -->\n"
               "  <url>\n    <loc>\n      http://h/b.html?x=1&amp;y=&lt;2&gt;&#38;z=&#x41;&quot;&apos;\n    </loc>\n"
               "    <image:image><image:loc>http://h/picture.jpg</image:loc></image:image>\n  </url>\n"
               "  <url><loc><![CDATA[http://h/c.html?a=1&amp;b]]></loc></url>\n"
               "  <url><sm:loc>http://h/prefixed.html</sm:loc></url>\n"
               "  <url><loc>http://h/caf&#233;.html &unknown; &#0; &#xD800; &</loc></url>\n"
               "  <url><loc></loc><priority>0.5</priority></url>\n"
               "  <loc>http://h/outside-an-entry.html</loc>\n"));
    EXPECT_EQ(pages.Kind, TSitemapKind::URLSet);
    EXPECT_FALSE(pages.Truncated);
    EXPECT_EQ(pages.Locations,
              (TStrings{"http://h/a.html", "http://h/b.html?x=1&y=<2>&z=A\"'", "http://h/c.html?a=1&amp;b",
                        "http://h/prefixed.html", "http://h/caf\xC3\xA9.html &unknown; &#0; &#xD800; &"}));

    const TSitemapFile index = ParseSitemap("<sitemapindex xmlns='http://www.sitemaps.org/schemas/sitemap/0.9'>"
                                            "<sitemap><loc>http://h/one.xml.gz</loc><lastmod>x</lastmod></sitemap>"
                                            "<sitemap attr=\"a>b\"><loc>http://h/two.xml</loc></sitemap>"
                                            "</sitemapindex>");
    EXPECT_EQ(index.Kind, TSitemapKind::Index);
    EXPECT_EQ(index.Locations, (TStrings{"http://h/one.xml.gz", "http://h/two.xml"}));

    // One address a line, blanks around it allowed; other lines are passed over.
    const TSitemapFile text = ParseSitemap("http://h/1.html\r\n  https://h/2.html  \nnot an address\n"
                                           "ftp://h/3.html\nhttp://h/with blank.html\n");
    EXPECT_EQ(text.Kind, TSitemapKind::Text);
    EXPECT_EQ(text.Locations, (TStrings{"http://h/1.html", "https://h/2.html"}));
}

TEST(HXSitemapsTest, TheProtocolsBoundsHoldAndLongerFilesAreCut)
{
    std::string entries;
    for (std::size_t n = 0; n <= kMaxSitemapURLs; ++n)
        entries += "<url><loc>http://h/" + std::to_string(n) + ".html</loc></url>";
    const TSitemapFile many = ParseSitemap(URLSet(entries));
    ASSERT_EQ(many.Locations.size(), kMaxSitemapURLs);
    EXPECT_TRUE(many.Truncated);
    EXPECT_EQ(many.Locations.back(), "http://h/" + std::to_string(kMaxSitemapURLs - 1) + ".html");

    // An address longer than any the protocol allows is passed over; the next is kept.
    const TSitemapFile longLoc = ParseSitemap(URLSet("<url><loc>http://h/" + std::string(kMaxSitemapLocBytes, 'a') +
                                                     "</loc></url><url><loc>http://h/next.html</loc></url>"));
    EXPECT_EQ(longLoc.Locations, TStrings{"http://h/next.html"});

    // Nesting beyond the bound ends the reading with what came before.
    std::string deep = "<url><loc>http://h/kept.html</loc></url><url>";
    for (std::size_t n = 0; n < kMaxSitemapNesting; ++n)
        deep += "<x>";
    const TSitemapFile nested = ParseSitemap(URLSet(deep));
    EXPECT_TRUE(nested.Truncated);
    EXPECT_EQ(nested.Locations, TStrings{"http://h/kept.html"});

    // gzip data is inflated, at most to the bound.
    const std::string xml = URLSet("<url><loc>http://h/zipped.html</loc></url>");
    EXPECT_EQ(ParseSitemap(SitemapText(Gzip(xml))).Locations, TStrings{"http://h/zipped.html"});
    const std::string inflated = SitemapText(Gzip(std::string(kMaxSitemapBytes + 4096, ' ')));
    EXPECT_EQ(inflated.size(), kMaxSitemapBytes);
    EXPECT_EQ(SitemapText(std::string(kMaxSitemapBytes + 1, 'x')).size(), kMaxSitemapBytes);
    // Damaged gzip data gives what inflated before the damage, and nothing else.
    const std::string original = xml + std::string(100000, ' ');
    std::string damaged = Gzip(original);
    damaged.resize(damaged.size() / 2);
    const std::string partial = SitemapText(damaged);
    EXPECT_LT(partial.size(), original.size());
    EXPECT_EQ(original.substr(0, partial.size()), partial);
    EXPECT_EQ(SitemapText("\x1F\x8B garbage"), "");
}

TEST(HXSitemapsTest, DamagedAndForeignFilesGiveWhatTheyHoldAndNeverMore)
{
    // Cut off inside an entry: the addresses before it stay.
    const TSitemapFile cut = ParseSitemap("<urlset><url><loc>http://h/a.html</loc></url><url><loc>http://h/b");
    EXPECT_TRUE(cut.Truncated);
    EXPECT_EQ(cut.Locations, TStrings{"http://h/a.html"});

    // Misnested tags close what they enclose; stray end tags are passed over.
    const TSitemapFile misnested =
        ParseSitemap("<urlset></stray><url><loc>http://h/a.html</url><url><loc>http://h/b.html</loc></url></urlset>");
    EXPECT_EQ(misnested.Locations, TStrings{"http://h/b.html"});

    // Pages and other XML documents are no sitemaps.
    EXPECT_EQ(ParseSitemap("<!DOCTYPE html><html><body><a href='http://h/x.html'>x</a></body></html>").Kind,
              TSitemapKind::None);
    EXPECT_EQ(ParseSitemap("<rss><channel><loc>http://h/x.html</loc></channel></rss>").Locations, TStrings{});
    EXPECT_EQ(ParseSitemap("").Kind, TSitemapKind::None);
    EXPECT_EQ(ParseSitemap("<urlset/>").Locations, TStrings{});
    for (const std::string& garbage :
         TStrings{"<", "<<<<>>>>", "<urlset", "<urlset><url><loc>&#xFFFFFFFFFF;", "<urlset><!-- never ends",
                  "<urlset><![CDATA[", "<?xml", "<!DOCTYPE", std::string("<urlset>\0<url>\0</url>", 22)})
    {
        const TSitemapFile file = ParseSitemap(garbage);
        EXPECT_TRUE(file.Locations.empty()) << garbage;
    }
    // Random bytes never crash the reader and never give more than the bound.
    std::string noise;
    std::uint32_t seed = 12345;
    for (int n = 0; n < 200000; ++n)
    {
        seed = seed * 1103515245u + 12345u;
        noise += "<>/&;:!-[]ablocurstxmphe \"'\n"[(seed >> 16) % 29];
    }
    EXPECT_LE(ParseSitemap("<urlset><url><loc>" + noise).Locations.size(), kMaxSitemapURLs);
}

TEST(HXSitemapsTest, RobotsSitemapLinesAreReadWhateverGroupTheyStandIn)
{
    const std::string robots = "User-agent: *\nDisallow: /private/\n"
                               "Sitemap: http://h/sitemap_index.xml\n"
                               "sitemap:https://h/news.xml.gz # news\n"
                               "SITEMAP: http://h/sitemap_index.xml\n"
                               "Sitemap: /relative.xml\n"
                               "Sitemap: http://h/frag.xml#part\n"
                               "Disallow: /sitemap: http://h/no.xml\n";
    EXPECT_EQ(RobotsSitemaps(robots),
              (TStrings{"http://h/sitemap_index.xml", "https://h/news.xml.gz", "http://h/frag.xml#part"}));
    // The rules of the file are unchanged by its Sitemap lines.
    EXPECT_FALSE(TRobotsRules::Parse(robots, "Harbex").Allows("/private/a.html"));
    std::string many;
    for (std::size_t n = 0; n < kMaxRobotsSitemaps + 5; ++n)
        many += "Sitemap: http://h/" + std::to_string(n) + ".xml\n";
    EXPECT_EQ(RobotsSitemaps(many).size(), kMaxRobotsSitemaps);
}

class HXSitemapsQueueTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
        WriteGroup(app->Store(), "HTML", ".htm;.html;.php;");
        WriteGroup(app->Store(), "Images", ".gif;.jpg;");
        task = std::make_shared<THXTask>(*app);
        task->Name = "Site";
        task->FileName = app->TasksFolder() + "General/Site.hxt";
        task->IntranetMode = true;
        task->Destination = Home().Folder() + "Copy/";
        task->URL = "http://h/docs/index.html";
        task->Profile.PageLocation = kLocationStartDirectory;
        task->Profile.ResourceLocation = kLocationAnywhere;
        task->Profile.Depth = -1;
        task->StartFresh();
    }
    void TearDown() override
    {
        task.reset();
        app.reset();
        test::THXSandboxTest::TearDown();
    }
    int Queue(const TStrings& locations)
    {
        return QueueSitemapPages(*task, ReadGroups(app->Store()), "http://h/maps/sitemap.xml", locations);
    }
    TStrings QueuedURLs()
    {
        TStrings urls;
        for (int pair = 1; pair < task->ItemCount(); ++pair)
        {
            THXQItem* item = task->Item(pair);
            task->ReloadItem(*item);
            urls.push_back(item->URL.str());
        }
        return urls;
    }

    std::unique_ptr<THXApp> app;
    std::shared_ptr<THXTask> task;
};

TEST_F(HXSitemapsQueueTest, ListedPagesAreJudgedAsLinksOnTheStartPage)
{
    task->Profile.URLFiltersExclude = {"secret"};
    const int added = Queue({"http://h/docs/a.html", "http://h/docs/a.html#again", "http://h/docs/index.html",
                             "http://h/docs/b.html#part", "http://h/elsewhere/c.html", "http://h/docs/secret.html",
                             "mailto:someone@h", "http://h/docs/pic.gif", "../docs/relative.html"});
    // The start page is known already; a second address of a page, another folder than
    // the start's and an excluded word are not followed.
    EXPECT_EQ(added, 4);
    EXPECT_EQ(QueuedURLs(), (TStrings{"http://h/docs/a.html", "http://h/docs/b.html", "http://h/docs/pic.gif",
                                      "http://h/docs/relative.html"}));
    THXQItem* first = task->Item(1);
    task->ReloadItem(*first);
    EXPECT_EQ(first->Level, 1);
    EXPECT_EQ(first->State, kStateNone);
    EXPECT_EQ(first->Mode, kModeDownload);
    EXPECT_EQ(first->Group.str(), "HTML");
    EXPECT_EQ(first->Referrer.str(), "http://h/maps/sitemap.xml");
    // A second reading adds nothing new.
    EXPECT_EQ(Queue({"http://h/docs/a.html"}), 0);

    // With "This page only" no listed page is followed, as no link of the start page
    // would be; files still are.
    task->Profile.Depth = 0;
    EXPECT_EQ(Queue({"http://h/docs/d.html", "http://h/docs/e.jpg"}), 1);
    EXPECT_EQ(QueuedURLs().back(), "http://h/docs/e.jpg");
}

} // namespace
} // namespace hx
