// harbex-cli copy against a site on 127.0.0.1 whose robots.txt names a sitemap index,
// which lists a gzip-compressed sitemap of pages that no link leads to, and a second
// index (not followed: one level deep); "/sitemap.xml" lists one more page. With
// --sitemaps the listed pages are copied under the profile's rules and robots.txt,
// and whether or not robots.txt is obeyed; without it nothing of the sitemaps is read.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "app/HXCli.h"
#include "core/HXApp.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

namespace fs = std::filesystem;

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

TReply Typed(std::string body, const std::string& type)
{
    return TReply::Text(200, std::move(body), {{"Content-Type", type}});
}

std::string Page(const std::string& body)
{
    return "<html><body>" + body + "</body></html>";
}

std::string URLSet(const std::vector<std::string>& locations)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (const std::string& location : locations)
        xml += "  <url><loc>" + location + "</loc></url>\n";
    return xml + "</urlset>\n";
}

std::string Index(const std::vector<std::string>& locations)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (const std::string& location : locations)
        xml += "  <sitemap><loc>" + location + "</loc></sitemap>\n";
    return xml + "</sitemapindex>\n";
}

std::map<std::string, TReply> Site(const THXTestServer& server)
{
    const auto at = [&server](const std::string& path) { return server.URL(path); };
    return {
        {"/robots.txt",
         Typed("User-agent: *\nDisallow: /private/\nSitemap: " + at("/maps/index.xml") + "\n", "text/plain")},
        {"/index.html", Typed(Page("<a href=\"a.html\">a</a>"), "text/html")},
        {"/a.html", Typed(Page("a"), "text/html")},
        {"/maps/index.xml", Typed(Index({at("/maps/pages.xml.gz"), at("/maps/deeper-index.xml")}), "application/xml")},
        {"/maps/pages.xml.gz", Typed(Gzip(URLSet({at("/hidden/one.html"), at("/hidden/two.html?x=1&amp;y=2"),
                                                  at("/a.html"), at("/private/secret.html")})),
                                     "application/gzip")},
        {"/maps/deeper-index.xml", Typed(Index({at("/maps/too-deep.xml")}), "application/xml")},
        {"/maps/too-deep.xml", Typed(URLSet({at("/hidden/too-deep.html")}), "application/xml")},
        {"/sitemap.xml", Typed(URLSet({at("/hidden/three.html")}), "application/xml")},
        {"/hidden/one.html", Typed(Page("<a href=\"deeper.html\">deeper</a>"), "text/html")},
        {"/hidden/deeper.html", Typed(Page("deeper"), "text/html")},
        {"/hidden/two.html?x=1&y=2", Typed(Page("two"), "text/html")},
        {"/hidden/three.html", Typed(Page("three"), "text/html")},
        {"/hidden/too-deep.html", Typed(Page("too deep"), "text/html")},
        {"/private/secret.html", Typed(Page("secret"), "text/html")},
    };
}

class HXSitemapsCrawlTest : public THXSandboxTest
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        server.SetHandler(Routes(Site(server)));
    }

    // A fresh program for each copy: the flags hold for one run only.
    int Copy(const std::string& name, std::vector<std::string> flags = {})
    {
        setenv("HARBEX_DATA_DIR", HX_SOURCE_DATA_DIR, 1);
        THXApp app(THXEnvironment::FromProcess());
        FirstRunSetup(app);
        std::vector<std::string> arguments = {
            server.URL("/index.html"), "--folder", Folder(name), "--name", name, "--pacing", "fast"};
        arguments.insert(arguments.end(), flags.begin(), flags.end());
        std::ostringstream out;
        std::ostringstream err;
        const int status = cli::CommandCopy(app, arguments, out, err);
        EXPECT_EQ(status, 0) << out.str() << err.str();
        return status;
    }
    std::string Folder(const std::string& name) const { return (Home().Path() / name).string(); }
    bool Copied(const std::string& name, const std::string& path) const
    {
        return fs::is_regular_file(Folder(name) + "/127.0.0.1" + path);
    }
    // How often each target was asked for since request `from`.
    std::map<std::string, int> Asked(std::size_t from) const
    {
        std::map<std::string, int> asked;
        const std::vector<TRecordedRequest> requests = server.Requests();
        for (std::size_t n = from; n < requests.size(); ++n)
            ++asked[requests[n].Target];
        return asked;
    }

    THXTestServer server{Routes({})};
};

TEST_F(HXSitemapsCrawlTest, PagesOnlyTheSitemapsListAreCopiedWithTheSettingOn)
{
    // Off (the default): nothing of the sitemaps is asked for or copied.
    ASSERT_EQ(Copy("off"), 0);
    EXPECT_TRUE(Copied("off", "/a.html"));
    EXPECT_FALSE(Copied("off", "/hidden/one.html"));
    std::map<std::string, int> asked = Asked(0);
    EXPECT_EQ(asked.count("/maps/index.xml"), 0u);
    EXPECT_EQ(asked.count("/sitemap.xml"), 0u);

    // On: the index from robots.txt, its gzip list, "/sitemap.xml"; pages they list are
    // copied with what they link; robots.txt keeps its folder out.
    std::size_t before = server.RequestCount();
    ASSERT_EQ(Copy("on", {"--sitemaps"}), 0);
    for (const std::string path :
         {"/index.html", "/a.html", "/hidden/one.html", "/hidden/deeper.html", "/hidden/three.html"})
        EXPECT_TRUE(Copied("on", path)) << path;
    asked = Asked(before);
    EXPECT_EQ(asked["/hidden/two.html?x=1&y=2"], 1) << "the entity in <loc> is decoded";
    EXPECT_EQ(asked["/a.html"], 1) << "a page both linked and listed is fetched once";
    EXPECT_EQ(asked["/maps/index.xml"], 1);
    EXPECT_EQ(asked["/maps/pages.xml.gz"], 1);
    EXPECT_EQ(asked["/maps/deeper-index.xml"], 1);
    EXPECT_EQ(asked.count("/maps/too-deep.xml"), 0u) << "an index named by an index is not followed";
    EXPECT_EQ(asked.count("/hidden/too-deep.html"), 0u);
    EXPECT_EQ(asked.count("/private/secret.html"), 0u);
    EXPECT_FALSE(Copied("on", "/private/secret.html"));
    // The sitemaps themselves are read, not kept in the copy.
    EXPECT_FALSE(Copied("on", "/maps/index.xml"));
    EXPECT_FALSE(Copied("on", "/maps/pages.xml.gz"));
    EXPECT_FALSE(Copied("on", "/sitemap.xml"));

    // Without robots.txt obeyed, its Sitemap lines are still read, and its folder comes in.
    before = server.RequestCount();
    ASSERT_EQ(Copy("no-robots", {"--sitemaps", "--no-robots"}), 0);
    EXPECT_TRUE(Copied("no-robots", "/hidden/one.html"));
    EXPECT_TRUE(Copied("no-robots", "/hidden/three.html"));
    EXPECT_TRUE(Copied("no-robots", "/private/secret.html"));
    asked = Asked(before);
    EXPECT_EQ(asked["/robots.txt"], 1);
}

TEST_F(HXSitemapsCrawlTest, BrokenSitemapsLeaveTheCopyAsTheLinksMakeIt)
{
    server.SetHandler(Routes({
        {"/robots.txt", Typed("Sitemap: " + server.URL("/broken.xml.gz") + "\n", "text/plain")},
        {"/index.html", Typed(Page("<a href=\"a.html\">a</a>"), "text/html")},
        {"/a.html", Typed(Page("a"), "text/html")},
        {"/broken.xml.gz", Typed("\x1F\x8B not gzip at all", "application/gzip")},
        {"/sitemap.xml",
         Typed("<urlset><url><loc>" + server.URL("/b.html") + "</loc></url><url><loc><<<", "application/xml")},
        {"/b.html", Typed(Page("b"), "text/html")},
    }));
    ASSERT_EQ(Copy("broken", {"--sitemaps"}), 0);
    EXPECT_TRUE(Copied("broken", "/a.html"));
    // What a damaged file holds before its damage is used.
    EXPECT_TRUE(Copied("broken", "/b.html"));
}

} // namespace
} // namespace hx::test
