#include "support/HXTestSite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "support/HXNginxFixture.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

namespace fs = std::filesystem;

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// One answer as a plain HTTP/1.0 client reads it.
struct THttpAnswer
{
    int Status = 0;
    std::map<std::string, std::string> Fields; // names in lower case
    std::string Body;

    std::string Field(const std::string& name) const
    {
        const auto found = Fields.find(name);
        return found == Fields.end() ? std::string() : found->second;
    }
};

// Sends one request to 127.0.0.1:port and reads the answer until the server closes.
THttpAnswer Fetch(std::uint16_t port, const std::string& target, const std::vector<std::string>& fields = {},
                  const std::string& method = "GET")
{
    THttpAnswer answer;
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return answer;
    timeval limit{5, 0};
    ::setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    std::string raw;
    if (::connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
    {
        std::string request = method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
        for (const std::string& field : fields)
            request += field + "\r\n";
        request += "\r\n";
        if (::send(handle, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size()))
        {
            char buffer[16384];
            for (ssize_t got = 0; (got = ::recv(handle, buffer, sizeof(buffer), 0)) > 0;)
                raw.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(handle);

    const std::size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return answer;
    answer.Body = raw.substr(headEnd + 4);
    std::size_t lineStart = raw.find("\r\n");
    const std::string statusLine = raw.substr(0, lineStart);
    const std::size_t space = statusLine.find(' ');
    if (space != std::string::npos)
        answer.Status = std::atoi(statusLine.c_str() + space + 1);
    while (lineStart < headEnd)
    {
        lineStart += 2;
        const std::size_t lineEnd = raw.find("\r\n", lineStart);
        const std::string line = raw.substr(lineStart, lineEnd - lineStart);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos)
        {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            answer.Fields[Lowered(line.substr(0, colon))] = value;
        }
        lineStart = lineEnd;
    }
    return answer;
}

std::string ReadBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Every file below the folder, relative, sorted.
std::vector<std::string> FilesOnDisk(const fs::path& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
    {
        if (entry.is_regular_file())
            files.push_back(entry.path().lexically_relative(folder).generic_string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool IsHtml(const std::string& path)
{
    return path.ends_with(".html") || path.ends_with(".htm");
}

// What a crawler that reads tags (no script text, no style sheets) reaches from the
// start page of the generated files, following the site's redirects as a server
// answers them, with the level of each page: frames, META refreshes and redirects
// keep the level of the page that leads to them.
std::map<std::string, int> CrawlByTags(const TTestSite& site)
{
    std::map<std::string, std::string> redirects;
    for (const TSiteRedirect& redirect : site.Redirects)
        redirects[redirect.From] = redirect.To;

    std::map<std::string, int> level{{site.StartPage, 0}};
    std::deque<std::string> queue{site.StartPage};
    const auto reach = [&](std::string path, int candidate)
    {
        if (path.ends_with("/"))
            path += "index.html";
        const auto redirect = redirects.find(path);
        if (redirect != redirects.end())
            path = redirect->second;
        const auto known = level.find(path);
        if (known != level.end() && known->second <= candidate)
            return;
        level[path] = candidate;
        queue.push_back(path);
    };
    while (!queue.empty())
    {
        const std::string page = queue.front();
        queue.pop_front();
        if (!IsHtml(page) || !fs::is_regular_file(site.Folder / page))
            continue;
        const fs::path file = site.Folder / page;
        const TPageLinks links = ScanPageLinks(ReadBytes(file));
        for (const TPageLink& link : links.Links)
        {
            if (!IsLocalLink(link.Value))
                continue;
            const fs::path target = LocalLinkTarget(file, links.Base, link.Value);
            if (target.empty())
                continue;
            const bool sameLevel = link.Tag == "frame" || link.Tag == "meta";
            reach(target.lexically_relative(site.Folder).generic_string(), level[page] + (sameLevel ? 0 : 1));
        }
    }
    return level;
}

// ---- Generation ----

TEST(TestSiteGeneration, SameOptionsGiveTheSameBytesAndTheDescriptionMatchesTheFiles)
{
    TTempFolder first;
    TTempFolder second;
    const TTestSite a = GenerateTestSite(first.Path());
    const TTestSite b = GenerateTestSite(second.Path());

    EXPECT_EQ(a.Folder, first.Path());
    EXPECT_EQ(a.Pages.size(), 200u);
    EXPECT_EQ(FilesOnDisk(first.Path()), a.Paths);
    std::vector<std::string> htmlOnDisk;
    for (const std::string& path : a.Paths)
    {
        if (IsHtml(path))
            htmlOnDisk.push_back(path);
        EXPECT_EQ(ReadBytes(first.Path() / path), ReadBytes(second.Path() / path)) << path;
    }
    EXPECT_EQ(htmlOnDisk, a.Pages);
    EXPECT_EQ(a.Paths, b.Paths);
    EXPECT_EQ(a.OnlyVia, b.OnlyVia);
    EXPECT_EQ(a.Levels, b.Levels);
    EXPECT_EQ(a.QueryLinks, b.QueryLinks);

    // The page count is exact at any size; too few pages are raised to the least site.
    for (const int pages : {kMinTestSitePages, 201, 2000})
    {
        TTempFolder folder;
        const TTestSite site = GenerateTestSite(folder.Path(), {pages, true});
        EXPECT_EQ(site.Pages.size(), static_cast<std::size_t>(pages));
        EXPECT_EQ(FilesOnDisk(folder.Path()), site.Paths);
    }
    TTempFolder tiny;
    EXPECT_EQ(GenerateTestSite(tiny.Path(), {1, true}).Pages.size(), static_cast<std::size_t>(kMinTestSitePages));

    TTempFolder plain;
    const TTestSite plainSite = GenerateTestSite(plain.Path(), {200, false});
    EXPECT_EQ(plainSite.Pages.size(), 200u);
    for (const std::string& path : plainSite.Paths)
    {
        EXPECT_TRUE(std::all_of(path.begin(), path.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x80 && c != ' '; }))
            << path;
    }
}

TEST(TestSiteGeneration, HasEveryFeatureTheCopiesAreCheckedFor)
{
    TTempFolder folder;
    const TTestSite site = GenerateTestSite(folder.Path());
    const auto text = [&](const std::string& path) { return ReadBytes(site.Folder / path); };
    const auto linksOf = [&](const std::string& path)
    {
        std::set<std::string> values;
        for (const TPageLink& link : ScanPageLinks(text(path)).Links)
            values.insert(link.Value);
        return values;
    };

    const std::set<std::string> start = linksOf("index.html");
    for (const std::string& expected :
         {std::string("mailto:webmaster@example.com"), std::string("javascript:void(0)"), std::string("#top"),
          site.UnresolvableURL, std::string("list.html?page=2"), std::string("list.html?page=3&sort=name"),
          std::string("about.html#team"), std::string("files/my%20notes.html"), std::string("files/caf%C3%A9.html"),
          std::string("images/bg.gif"), std::string("css/site.css")})
        EXPECT_TRUE(start.contains(expected)) << expected;
    EXPECT_EQ(site.UnresolvableURL.find("http://"), 0u);
    EXPECT_NE(site.UnresolvableURL.find(".invalid/"), std::string::npos);
    EXPECT_EQ(site.QueryLinks, (std::vector<std::string>{"list.html?page=2", "list.html?page=3&sort=name"}));
    for (const std::string& missing : site.Missing)
    {
        EXPECT_FALSE(site.Has(missing));
        EXPECT_FALSE(fs::exists(site.Folder / missing)) << missing;
    }
    std::set<int> statuses;
    for (const TSiteRedirect& redirect : site.Redirects)
    {
        statuses.insert(redirect.Status);
        EXPECT_FALSE(fs::exists(site.Folder / redirect.From)) << redirect.From;
        EXPECT_TRUE(site.Has(redirect.To)) << redirect.To;
    }
    EXPECT_EQ(statuses, (std::set<int>{301, 302}));
    EXPECT_TRUE(linksOf("about.html").contains("sec01/"));
    EXPECT_TRUE(fs::is_regular_file(site.Folder / "sec01/index.html"));
    EXPECT_TRUE(site.Has("files/my notes.html"));
    EXPECT_TRUE(site.Has("files/café.html"));

    // Frames, BASE, META refresh and scripts, as the tags stand in the files.
    std::vector<std::string> frames;
    for (const TPageLink& link : ScanPageLinks(text("frames.html")).Links)
    {
        if (link.Tag == "frame")
            frames.push_back(link.Value);
    }
    EXPECT_EQ(frames, (std::vector<std::string>{"frames/nav.html", "frames/main.html"}));
    EXPECT_EQ(ScanPageLinks(text("base.html")).Base, "based/");
    EXPECT_TRUE(linksOf("base.html").contains("one.html"));
    EXPECT_TRUE(linksOf("refresh.html").contains("refreshed/target.html"));
    const std::string script = text("script.html");
    EXPECT_NE(script.find("window.open('scripted/popup.html')"), std::string::npos);
    EXPECT_NE(script.find("document.write('<p><a href=\"scripted/written.html\">"), std::string::npos);
    EXPECT_NE(text("css/site.css").find("url(../images/texture.gif)"), std::string::npos);

    // Each special way of reaching a path is the only way to some path.
    std::set<TReachedBy> kinds;
    for (const auto& [path, kind] : site.OnlyVia)
    {
        EXPECT_TRUE(site.Has(path)) << path;
        kinds.insert(kind);
    }
    EXPECT_EQ(kinds.size(), 6u);
    EXPECT_EQ(site.OnlyVia.at("frames/main.html"), TReachedBy::Frame);
    EXPECT_EQ(site.OnlyVia.at("based/one.html"), TReachedBy::Base);
    EXPECT_EQ(site.OnlyVia.at("scripted/written.html"), TReachedBy::Script);
    EXPECT_EQ(site.OnlyVia.at("refreshed/target.html"), TReachedBy::Refresh);
    EXPECT_EQ(site.OnlyVia.at("images/texture.gif"), TReachedBy::Stylesheet);
    EXPECT_EQ(site.OnlyVia.at("moved/new-home.html"), TReachedBy::Redirect);
    EXPECT_FALSE(site.OnlyVia.contains("about.html"));

    // The pictures are real pictures.
    const std::string gif = text("images/logo.gif");
    EXPECT_EQ(gif.substr(0, 6), "GIF89a");
    EXPECT_EQ(gif.back(), ';');
    EXPECT_EQ(text("images/banner.png").substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    const std::string jpeg = text("images/photo.jpg");
    EXPECT_EQ(jpeg.substr(0, 2), "\xff\xd8");
    EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xff\xd9");
    EXPECT_NE(text("sec01/icon.gif"), text("sec02/icon.gif"));
}

TEST(TestSiteGeneration, EveryFileIsReachedWithinTwoLevelsAndOnlyBrokenWhereMeant)
{
    for (const int pages : {200, 2000})
    {
        SCOPED_TRACE(pages);
        TTempFolder folder;
        const TTestSite site = GenerateTestSite(folder.Path(), {pages, true});
        const std::map<std::string, int> crawled = CrawlByTags(site);

        for (const std::string& path : site.Paths)
        {
            const auto only = site.OnlyVia.find(path);
            const bool hidden = only != site.OnlyVia.end() &&
                                (only->second == TReachedBy::Script || only->second == TReachedBy::Stylesheet);
            EXPECT_NE(crawled.contains(path), hidden) << path;
        }
        int deepest = 0;
        for (const auto& [page, level] : site.Levels)
        {
            deepest = std::max(deepest, level);
            if (crawled.contains(page))
            {
                EXPECT_EQ(crawled.at(page), level) << page;
            }
        }
        EXPECT_EQ(deepest, 2);
        EXPECT_EQ(site.Levels.size(), site.Pages.size());

        // The site itself is whole but for the links meant to go nowhere locally:
        // missing files, redirecting addresses and the folder address.
        std::set<std::string> expected(site.Missing.begin(), site.Missing.end());
        for (const TSiteRedirect& redirect : site.Redirects)
            expected.insert(redirect.From);
        expected.insert(site.FolderLinks.begin(), site.FolderLinks.end());
        std::set<std::string> found;
        for (const TBrokenLink& broken : CheckLocalLinks(site.Folder))
            found.insert(broken.Link);
        EXPECT_EQ(found, expected);
    }
}

// ---- Serving ----

class TSiteServing : public ::testing::Test
{
protected:
    TSiteServing()
        : site(GenerateTestSite(folder.Path()))
        , state(std::make_shared<TSiteState>(site))
        , server(SiteHandler(state))
    {
    }

    std::string File(const std::string& path) const { return ReadBytes(site.Folder / path); }
    THttpAnswer Get(const std::string& target, const std::vector<std::string>& fields = {})
    {
        return Fetch(server.Port(), target, fields);
    }

    TTempFolder folder;
    TTestSite site;
    std::shared_ptr<TSiteState> state;
    THXTestServer server;
};

TEST_F(TSiteServing, FilesByPathWithTypesDatesAndConditionalAnswers)
{
    const THttpAnswer page = Get("/index.html");
    EXPECT_EQ(page.Status, 200);
    EXPECT_EQ(page.Field("content-type"), "text/html");
    EXPECT_EQ(page.Body, File("index.html"));
    EXPECT_EQ(page.Field("last-modified"), state->LastModified("index.html"));
    EXPECT_EQ(page.Field("last-modified"), "Sat, 01 Jun 2024 13:00:00 GMT");

    for (const auto& [path, type] : std::map<std::string, std::string>{{"css/site.css", "text/css"},
                                                                       {"images/banner.png", "image/png"},
                                                                       {"images/photo.jpg", "image/jpeg"},
                                                                       {"images/logo.gif", "image/gif"},
                                                                       {"js/app.js", "application/javascript"},
                                                                       {"files/readme.txt", "text/plain"}})
    {
        const THttpAnswer answer = Get(SiteTarget(path));
        EXPECT_EQ(answer.Status, 200) << path;
        EXPECT_EQ(answer.Field("content-type"), type) << path;
        EXPECT_EQ(answer.Body, File(path)) << path;
    }

    // Escaped names, the start page at "/", folders and queries.
    EXPECT_EQ(SiteTarget("files/café.html"), "/files/caf%C3%A9.html");
    EXPECT_EQ(Get("/files/my%20notes.html").Body, File("files/my notes.html"));
    EXPECT_EQ(Get("/files/caf%C3%A9.html").Body, File("files/café.html"));
    EXPECT_EQ(Get("/").Body, File("index.html"));
    const THttpAnswer bare = Get("/sec01");
    EXPECT_EQ(bare.Status, 301);
    EXPECT_EQ(bare.Field("location"), server.URL("/sec01/"));
    EXPECT_EQ(Get("/sec01/").Body, File("sec01/index.html"));
    EXPECT_EQ(Get("/list.html?page=2").Body, File("list.html"));

    // Conditional requests: 304 only for the current date; a change moves the date on.
    const std::string firstDate = state->LastModified("about.html");
    EXPECT_EQ(Get("/about.html", {"If-Modified-Since: " + firstDate}).Status, 304);
    EXPECT_TRUE(Get("/about.html", {"If-Modified-Since: " + firstDate}).Body.empty());
    EXPECT_EQ(Get("/about.html", {"If-Modified-Since: Mon, 01 Jan 2024 00:00:00 GMT"}).Status, 200);
    state->SetContent("about.html", "<html><body>Changed</body></html>");
    EXPECT_EQ(state->Version("about.html"), 2);
    EXPECT_NE(state->LastModified("about.html"), firstDate);
    const THttpAnswer changed = Get("/about.html", {"If-Modified-Since: " + firstDate});
    EXPECT_EQ(changed.Status, 200);
    EXPECT_EQ(changed.Body, "<html><body>Changed</body></html>");
    EXPECT_EQ(changed.Field("last-modified"), "Sat, 01 Jun 2024 14:00:00 GMT");
    EXPECT_EQ(Get("/about.html", {"If-Modified-Since: " + state->LastModified("about.html")}).Status, 304);
    EXPECT_EQ(state->LastModified("index.html"), firstDate); // other files keep their date

    // HEAD: the head alone, with the length of the body.
    const THttpAnswer head = Fetch(server.Port(), "/index.html", {}, "HEAD");
    EXPECT_EQ(head.Status, 200);
    EXPECT_TRUE(head.Body.empty());
    EXPECT_EQ(head.Field("content-length"), std::to_string(File("index.html").size()));

    const TRequestTally about = state->Tally("about.html");
    EXPECT_EQ(about.Total, 5);
    EXPECT_EQ(about.Conditional, 5);
    EXPECT_EQ(about.NotModified, 3);
    EXPECT_EQ(state->Tally("list.html?page=2").Total, 1);
    EXPECT_EQ(state->Tally("list.html").Total, 0);
    EXPECT_EQ(state->Tally("files/café.html").Total, 1);
    EXPECT_EQ(state->TotalRequests(), static_cast<int>(server.RequestCount()));
}

TEST_F(TSiteServing, RedirectsMissingFailingAndForbiddenPaths)
{
    for (const TSiteRedirect& redirect : site.Redirects)
    {
        const THttpAnswer answer = Get(SiteTarget(redirect.From));
        EXPECT_EQ(answer.Status, redirect.Status) << redirect.From;
        EXPECT_EQ(answer.Field("location"), server.URL(SiteTarget(redirect.To))) << redirect.From;
    }
    for (const std::string& missing : site.Missing)
        EXPECT_EQ(Get(SiteTarget(missing)).Status, 404) << missing;
    EXPECT_EQ(Get("/../etc/passwd").Status, 400);
    EXPECT_EQ(Get("/sec01/%2e%2e/%2e%2e/etc/passwd").Status, 400);

    // Failing until cleared, then served again.
    state->SetFailing("sec01/index.html");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Get("/sec01/index.html").Status, 503);
    EXPECT_EQ(Get("/sec01/page001.html").Status, 200);
    state->ClearFailing("sec01/index.html");
    EXPECT_EQ(Get("/sec01/index.html").Status, 200);
    EXPECT_EQ(state->Tally("sec01/index.html").Failed, 3);

    // Failing a number of times, also for a redirecting address.
    state->SetFailing("about.html", 2);
    state->SetFailing("go/temp.html");
    EXPECT_EQ(Get("/about.html").Status, 503);
    EXPECT_EQ(Get("/about.html").Status, 503);
    EXPECT_EQ(Get("/about.html").Status, 200);
    EXPECT_EQ(Get("/go/temp.html").Status, 503);
    state->ClearAllFailing();
    EXPECT_EQ(Get("/go/temp.html").Status, 302);

    state->ResetTallies();
    EXPECT_EQ(state->TotalRequests(), 0);
    EXPECT_TRUE(state->Tallies().empty());
}

TEST_F(TSiteServing, CountsRequestsFromParallelConnections)
{
    constexpr int kThreads = 8;
    constexpr int kEach = 15;
    std::vector<std::thread> threads;
    std::vector<int> okay(kThreads, 0);
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < kEach; ++i)
                {
                    const std::string path = site.Pages[static_cast<std::size_t>((t * kEach + i) % 10)];
                    if (Get(SiteTarget(path)).Status == 200)
                        ++okay[static_cast<std::size_t>(t)];
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    int served = 0;
    for (const int count : okay)
        served += count;
    EXPECT_EQ(served, kThreads * kEach);
    EXPECT_EQ(state->TotalRequests(), kThreads * kEach);
    for (int p = 0; p < 10; ++p)
        EXPECT_EQ(state->Tally(site.Pages[static_cast<std::size_t>(p)]).Total, kThreads * kEach / 10);
}

TEST(NginxSite, AnswersTheSameRedirectsTypesAndFiles)
{
    TTempFolder folder;
    const TTestSite site = GenerateTestSite(folder.Path());
    THXNginx nginx(site.Folder.string(), NginxExtraForSite(site));
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();

    for (const TSiteRedirect& redirect : site.Redirects)
    {
        const THttpAnswer answer = Fetch(nginx.Port(), SiteTarget(redirect.From));
        EXPECT_EQ(answer.Status, redirect.Status) << redirect.From;
        EXPECT_TRUE(answer.Field("location").ends_with(nginx.HostPort() + SiteTarget(redirect.To)))
            << answer.Field("location");
    }
    const THttpAnswer css = Fetch(nginx.Port(), "/css/site.css");
    EXPECT_EQ(css.Status, 200);
    EXPECT_EQ(css.Field("content-type"), "text/css");
    EXPECT_EQ(Fetch(nginx.Port(), "/images/photo.jpg").Field("content-type"), "image/jpeg");
    EXPECT_EQ(Fetch(nginx.Port(), "/files/caf%C3%A9.html").Body, ReadBytes(site.Folder / "files/café.html"));
    EXPECT_EQ(Fetch(nginx.Port(), "/list.html?page=2").Body, ReadBytes(site.Folder / "list.html"));
    EXPECT_EQ(Fetch(nginx.Port(), "/gone.html").Status, 404);
}

// ---- Link checker ----

TEST(CheckLocalLinks, ReportsEveryBrokenLinkAndAcceptsGoodOnes)
{
    TTempFolder root;
    for (const char* file :
         {"b.html", "up.html", "my file.html", "a&b.html", "img/p.gif", "style.css", "sub/c.html", "js/app.js"})
        root.WriteFile(file, "x");
    root.WriteFile("notes.txt", "<a href=\"not-a-page.html\">");
    root.WriteFile("a.html", R"HTML(<!DOCTYPE html><html><head>
<link rel="stylesheet" href="style.css"><script src="js/app.js"></script><script src="js/none.js"></script>
<meta http-equiv="refresh" content="5; url='gone.html'">
<style> p { background: url(in-style.gif) } </style>
</head><BODY BACKGROUND="img/p.gif">
<a href="b.html">good</a> <a href="./b.html">good</a> <a href="sub/../b.html">good</a>
<a href="my%20file.html">good</a> <a href="b.html#frag">good</a> <a href="b.html?x=1&amp;y=2">good</a>
<a href="#only">self</a> <a href="">self</a> <a href="?q=1">self</a> <a href='b.html'>good</a> <a href=b.html>good</a>
<a href="a&amp;b.html">good</a> <IMG SRC = "img/p.gif"> <a href="sub/c.html">good</a>
<a href="mailto:x@example.com">m</a> <a href="javascript:void(0)">j</a> <a href="http://example.com/x">h</a>
<a href="HTTPS://example.com/">h</a> <img src="data:image/gif;base64,AAAA"> <a href="about:blank">a</a>
<a href="//example.com/x">p</a>
<a href="missing.html">bad</a> <a href="sub/">folder</a> <a href="/nothere.html">absolute</a>
<img src="img/none.gif"> <frame src="frame-missing.html"> <form action="post.cgi"></form>
<a href="missing.html">the same bad link again</a>
<!-- <a href="in-comment.html"> -->
<script>document.write('<a href="in-script.html">');</script>
<applet code="x.class" codebase="sub/"></applet> <applet code="y.class" codebase="nofolder/"></applet>
</BODY></html>)HTML");
    root.WriteFile("sub/deep/d.htm", R"HTML(<a href="../../a.html">up</a> <a href="../c.html">up</a>
<a href="../../../outside.html">outside</a> <a href="missing-deep.html">bad</a>)HTML");
    root.WriteFile("sub/based.html", R"HTML(<head><base href="../img/"></head>
<img src="p.gif"> <img src="q.gif"> <a href="../b.html">good through the base</a>)HTML");
    root.WriteFile("sub/far.html", R"HTML(<base href="http://example.com/"><a href="whatever.html">x</a>)HTML");

    TLinkCheckStats stats;
    const std::vector<TBrokenLink> broken = CheckLocalLinks(root.Path(), &stats);
    const std::vector<TBrokenLink> expected = {
        {"a.html", "js/none.js"},
        {"a.html", "gone.html"},
        {"a.html", "missing.html"},
        {"a.html", "sub/"},
        {"a.html", "/nothere.html"},
        {"a.html", "img/none.gif"},
        {"a.html", "frame-missing.html"},
        {"a.html", "post.cgi"},
        {"a.html", "nofolder/"},
        {"sub/based.html", "q.gif"},
        {"sub/deep/d.htm", "../../../outside.html"},
        {"sub/deep/d.htm", "missing-deep.html"},
    };
    EXPECT_EQ(broken, expected);
    EXPECT_EQ(stats.Pages, 9); // the .html and .htm files; notes.txt is not read
    EXPECT_GT(stats.Links, 30);

    // A copy that lost a file: every link to it is reported, and nothing else.
    TTempFolder siteFolder;
    const TTestSite site = GenerateTestSite(siteFolder.Path());
    std::set<std::string> before;
    for (const TBrokenLink& link : CheckLocalLinks(site.Folder))
        before.insert(link.Page + " " + link.Link);
    fs::remove(site.Folder / "sec02/icon.gif");
    fs::remove(site.Folder / "files/café.html");
    std::set<std::string> pagesAfter;
    for (const TBrokenLink& link : CheckLocalLinks(site.Folder))
    {
        if (before.contains(link.Page + " " + link.Link))
            continue;
        EXPECT_TRUE(link.Link.ends_with("icon.gif") || link.Link.ends_with("caf%C3%A9.html")) << link.Link;
        pagesAfter.insert(link.Page);
    }
    EXPECT_TRUE(pagesAfter.contains("sec02/index.html"));
    EXPECT_TRUE(pagesAfter.contains("index.html"));
    EXPECT_TRUE(pagesAfter.contains("files/my notes.html"));
}

} // namespace
} // namespace hx::test
