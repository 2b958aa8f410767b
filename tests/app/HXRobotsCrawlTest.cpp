// harbex-cli copy against a site on 127.0.0.1 whose robots.txt keeps a folder out:
// the file is asked for once, before the first page; the folder's pages stay out
// while the files the pages need come in; --no-robots brings the pages in; a file
// that fails to load keeps nothing out; a Crawl-delay spaces the requests.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/HXCli.h"
#include "core/HXApp.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TReply Typed(std::string body, const std::string& type)
{
    return TReply::Text(200, std::move(body), {{"Content-Type", type}});
}

std::map<std::string, TReply> Site(const TReply& robots)
{
    return {
        {"/robots.txt", robots},
        {"/index.html", Typed("<html><body><a href=\"open/a.html\">a</a> <a href=\"private/b.html\">b</a>"
                              "<img src=\"private/pic.gif\"></body></html>",
                              "text/html")},
        {"/open/a.html", Typed("<html><body><a href=\"c.html\">c</a></body></html>", "text/html")},
        {"/open/c.html", Typed("<html><body>c</body></html>", "text/html")},
        {"/private/b.html", Typed("<html><body>secret</body></html>", "text/html")},
        {"/private/pic.gif", Typed("GIF89a", "image/gif")},
    };
}

class HXRobotsCrawlTest : public THXSandboxTest
{
protected:
    // A fresh program for each copy: the --no-robots flag holds for one run only.
    int Copy(const THXTestServer& server, const std::string& name, std::vector<std::string> flags = {})
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
    static std::vector<std::string> Targets(const THXTestServer& server)
    {
        std::vector<std::string> targets;
        for (const TRecordedRequest& request : server.Requests())
            targets.push_back(request.Method + " " + request.Target);
        return targets;
    }
    static std::string QueueFile(const std::string& folder, const std::string& name)
    {
        std::ifstream in(folder + "/Tasks/General/" + name + ".dwn", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(HXRobotsCrawlTest, ADisallowedFolderKeepsItsPagesOutAndNoRobotsBringsThemIn)
{
    THXTestServer server(Routes(Site(Typed("User-agent: *\nDisallow: /private/\n", "text/plain"))));
    ASSERT_EQ(Copy(server, "obeyed"), 0);
    EXPECT_TRUE(Copied("obeyed", "/index.html"));
    EXPECT_TRUE(Copied("obeyed", "/open/a.html"));
    EXPECT_TRUE(Copied("obeyed", "/open/c.html"));
    EXPECT_FALSE(Copied("obeyed", "/private/b.html"));
    // The image a page shows comes in wherever it lies.
    EXPECT_TRUE(Copied("obeyed", "/private/pic.gif"));
    const std::vector<std::string> targets = Targets(server);
    ASSERT_FALSE(targets.empty());
    EXPECT_EQ(targets.front(), "GET /robots.txt") << "robots.txt comes before the first page";
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "GET /robots.txt"), 1);
    EXPECT_EQ(std::count_if(targets.begin(), targets.end(),
                            [](const std::string& t) { return t.find("/private/b.html") != std::string::npos; }),
              0);
    // Asked with the agent name the task's pages are asked with.
    const std::vector<TRecordedRequest> requests = server.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_FALSE(requests[0].Header("User-Agent").empty());
    EXPECT_EQ(requests[0].Header("User-Agent"), requests[1].Header("User-Agent"));
    // The page kept out says why in its record.
    EXPECT_NE(QueueFile(Home().Path().string(), "obeyed").find("Disallowed by robots.txt"), std::string::npos);

    const std::size_t before = server.RequestCount();
    ASSERT_EQ(Copy(server, "ignored", {"--no-robots"}), 0);
    EXPECT_TRUE(Copied("ignored", "/private/b.html"));
    EXPECT_TRUE(Copied("ignored", "/open/c.html"));
    const std::vector<std::string> after = Targets(server);
    EXPECT_EQ(std::count(after.begin() + static_cast<std::ptrdiff_t>(before), after.end(), "GET /robots.txt"), 0);
}

TEST_F(HXRobotsCrawlTest, AFileThatFailsToLoadKeepsNothingOut)
{
    THXTestServer failing(Routes(Site(TReply::Text(500, "Disallow: /"))));
    ASSERT_EQ(Copy(failing, "failing"), 0);
    EXPECT_TRUE(Copied("failing", "/private/b.html"));
    EXPECT_TRUE(Copied("failing", "/open/c.html"));

    THXTestServer broken(Routes(Site(TReply::Raw("HTTP/1.0 200 OK\r\nContent-Length: 500\r\n\r\nUser-agent: *\n"))));
    ASSERT_EQ(Copy(broken, "broken"), 0);
    EXPECT_TRUE(Copied("broken", "/private/b.html"));
}

TEST_F(HXRobotsCrawlTest, CrawlDelaySpacesTheRequestsToTheSite)
{
    // Five items after robots.txt: four gaps of at least the delay.
    THXTestServer server(Routes(Site(Typed("User-agent: *\nCrawl-delay: 0.3\n", "text/plain"))));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Copy(server, "delayed"), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1200ms);
    EXPECT_TRUE(Copied("delayed", "/private/b.html"));
}

} // namespace
} // namespace hx::test
