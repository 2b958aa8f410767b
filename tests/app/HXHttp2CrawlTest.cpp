// Whole-site copies over HTTP/2 through the real pipeline in Fast pacing: against
// nginx with http2 on 127.0.0.1 (certificates by a test authority), the copy
// equals the HTTP/1.1 copy and goes over one connection; a server that ends its
// connections (GOAWAY) or resets requests (RST_STREAM, from a small nghttp2
// server of the test's own) still gives a whole copy; a server without HTTP/2,
// the "Use HTTP/2" setting switched off and harbex-cli --no-http2 all mean
// HTTP/1.1; and a WARC copy and its Smart Update over HTTP/2 read back with
// warcio. Without nginx or openssl the tests skip.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include <sys/wait.h>

#include "app/HXCli.h"
#include "app/HXCliProgram.h"
#include "app/HXCliSession.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "shell/HXFirstRun.h"
#include "support/HXHttp2TestServer.h"
#include "support/HXSandbox.h"
#include "support/HXTLSFixture.h"
#include "support/HXTestSite.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Every file of a copy below `root` by its path relative to it, the run's reports
// ("!" names) left out.
std::map<std::string, std::string> CopyFiles(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && !entry.path().filename().string().starts_with("!"))
            files[fs::relative(entry.path(), root).string()] =
                ReadWholeFile(entry.path().string()).value_or("<unreadable>");
    return files;
}

// The access log's lines from `from` on: how many connections they came over, and
// how many requests with each protocol. robots.txt is left out: the crawl reads
// it with a client of its own, apart from the slots.
struct TLogSummary
{
    std::set<std::string> Connections;
    std::map<std::string, int> Protocols;
    int Requests = 0;
};
TLogSummary Summarize(const std::vector<std::string>& lines, std::size_t from)
{
    TLogSummary summary;
    for (std::size_t i = from; i < lines.size(); ++i)
    {
        if (lines[i].find(" /robots.txt ") != std::string::npos)
            continue;
        summary.Connections.insert(lines[i].substr(0, lines[i].find(' ')));
        ++summary.Protocols[lines[i].substr(lines[i].rfind(' ') + 1)];
        ++summary.Requests;
    }
    return summary;
}

// The items that ended as errors, with their status texts.
std::string ErrorItems(THXTask& task)
{
    std::string text;
    for (int pair = 0; pair < task.ItemCount(); ++pair)
    {
        THXQItem* item = task.Item(pair);
        task.ReloadItem(*item);
        if (item->State == kStateError)
            text += item->URL.str() + " (" + item->StatusText.str() + ")\n";
    }
    return text;
}

TNginxSetup Http2Setup(const TCertificatePair& certificate, const std::string& extra, const std::string& httpExtra)
{
    TNginxSetup setup = SecureNginxSetup({certificate}, extra);
    setup.Http2 = true;
    setup.LogProtocol = true;
    setup.HttpExtra = httpExtra;
    return setup;
}

class HXHttp2CrawlTest : public THXCliTest
{
protected:
    static void SetUpTestSuite() { s_certificates = std::make_unique<THXTestCertificates>(); }
    static void TearDownTestSuite() { s_certificates.reset(); }

    void SetUp() override
    {
        THXCliTest::SetUp();
        if (!s_certificates->Ready())
            GTEST_SKIP() << s_certificates->Error();
        setenv("HARBEX_DATA_DIR", HX_SOURCE_DATA_DIR, 1);
        m_app = std::make_unique<THXApp>(THXEnvironment::FromProcess());
        FirstRunSetup(*m_app);
        m_app->SetCAFile(s_certificates->CAFile());
        m_app->SetConnections(8);
    }
    void TearDown() override
    {
        m_app.reset();
        THXCliTest::TearDown();
    }

    const THXTestCertificates& Certificates() const { return *s_certificates; }

    // A Fast copy of the address into the folder; the finished task.
    std::shared_ptr<THXTask> CopyOf(const std::string& url, const std::string& folder)
    {
        std::vector<std::string> arguments = {"--folder", folder};
        cli::TCliArgs args(arguments, {"--folder"}, {});
        auto task = cli::NewTaskFromURL(*m_app, args, url);
        task->Save();
        cli::TSessionOptions options;
        options.Progress = cli::TProgressStyle::Quiet;
        options.Pacing = TRunPacing::Fast();
        cli::THXCliSession session(*m_app, m_out, m_err, options);
        task->RunMode = kRunRestart;
        m_result = session.RunTask(task, 120000ms);
        return task;
    }

    std::unique_ptr<THXApp> m_app;
    std::ostringstream m_out;
    std::ostringstream m_err;
    cli::TRunResult m_result;

    static std::unique_ptr<THXTestCertificates> s_certificates;
};

std::unique_ptr<THXTestCertificates> HXHttp2CrawlTest::s_certificates;

TEST_F(HXHttp2CrawlTest, Http2CopyEqualsHttp11CopyAndGoesOverOneConnection)
{
    TTempFolder siteFolder;
    const TTestSite site = GenerateTestSite(siteFolder.Path() / "site");
    THXNginx nginx(site.Folder.string(),
                   Http2Setup(Certificates().Good(), NginxExtraForSite(site), "keepalive_requests 100000;"));
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();
    const std::string url = nginx.SecureURL(0, "/" + site.StartPage);

    const std::string h2Root = HomeFolder() + "/h2/";
    auto h2 = CopyOf(url, h2Root);
    ASSERT_TRUE(m_result.Completed) << m_err.str();
    // Read before the next run, which takes the queue.
    const int h2Items = h2->ItemCount();
    const std::string h2Errors = ErrorItems(*h2);
    const std::vector<std::string> afterH2 = nginx.AccessLog();
    TLogSummary h2Log = Summarize(afterH2, 0);

    m_app->SetUseHttp2(false);
    const std::string h1Root = HomeFolder() + "/h1/";
    auto h1 = CopyOf(url, h1Root);
    ASSERT_TRUE(m_result.Completed) << m_err.str();
    const std::string h1Errors = ErrorItems(*h1);
    TLogSummary h1Log = Summarize(nginx.AccessLog(), afterH2.size());

    // Every request of the first copy was an HTTP/2 stream of one connection; the
    // setting switched off, every request of the second went over HTTP/1.1.
    EXPECT_GE(h2Log.Requests, static_cast<int>(site.Paths.size()));
    EXPECT_EQ(h2Log.Protocols["HTTP/2.0"], h2Log.Requests);
    EXPECT_EQ(h2Log.Connections.size(), 1U);
    EXPECT_EQ(h1Log.Protocols["HTTP/1.1"], h1Log.Requests);
    EXPECT_GT(h1Log.Connections.size(), 1U);

    // The same copy: files byte for byte, the same counters.
    EXPECT_GE(h2->PagesSaved, static_cast<int>(site.Pages.size()));
    EXPECT_TRUE(CheckLocalLinks(h2Root).empty());
    const auto h2Files = CopyFiles(h2Root);
    const auto h1Files = CopyFiles(h1Root);
    EXPECT_GE(h2Files.size(), site.Paths.size());
    EXPECT_EQ(h2Files.size(), h1Files.size());
    for (const auto& [path, bytes] : h1Files)
    {
        const auto found = h2Files.find(path);
        ASSERT_NE(found, h2Files.end()) << path << " is missing from the HTTP/2 copy";
        EXPECT_TRUE(found->second == bytes) << path << " differs";
    }
    EXPECT_EQ(h1->PagesSaved, h2->PagesSaved);
    EXPECT_EQ(h1->ResourcesSaved, h2->ResourcesSaved);
    EXPECT_EQ(h1->PageErrors, h2->PageErrors);
    EXPECT_EQ(h1->ResourceErrors, h2->ResourceErrors);
    EXPECT_EQ(h1->TotalBytes, h2->TotalBytes);
    EXPECT_EQ(h1->ItemCount(), h2Items);
    EXPECT_EQ(h1Errors, h2Errors);
}

TEST_F(HXHttp2CrawlTest, EndedConnectionsAndResetRequestsAreAskedAgain)
{
    // nginx ends each connection after five requests with GOAWAY: the requests it
    // left out are asked again over the next connection.
    TTempFolder siteFolder;
    const TTestSite site = GenerateTestSite(siteFolder.Path() / "site");
    THXNginx nginx(site.Folder.string(),
                   Http2Setup(Certificates().Good(), NginxExtraForSite(site), "keepalive_requests 5;"));
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();
    auto ended = CopyOf(nginx.SecureURL(0, "/" + site.StartPage), HomeFolder() + "/ended/");
    ASSERT_TRUE(m_result.Completed) << m_err.str();
    const std::string endedErrors = ErrorItems(*ended);
    TLogSummary log = Summarize(nginx.AccessLog(), 0);
    EXPECT_EQ(log.Protocols["HTTP/2.0"], log.Requests);
    EXPECT_GE(log.Connections.size(), static_cast<std::size_t>(log.Requests / 5));
    m_app->SetUseHttp2(false);
    auto plain = CopyOf(nginx.SecureURL(0, "/" + site.StartPage), HomeFolder() + "/plain/");
    ASSERT_TRUE(m_result.Completed) << m_err.str();
    EXPECT_EQ(endedErrors, ErrorItems(*plain));
    EXPECT_TRUE(CopyFiles(HomeFolder() + "/ended/") == CopyFiles(HomeFolder() + "/plain/"));
    EXPECT_EQ(ended->PagesSaved, plain->PagesSaved);
    EXPECT_EQ(ended->ResourceErrors, plain->ResourceErrors);
    m_app->SetUseHttp2(true);

    // A server that resets some requests' streams before answering, and ends its
    // connections after four answers leaving the requests after them unanswered.
    std::map<std::string, std::string> pages;
    std::string index = "<html><body>";
    for (int n = 0; n < 12; ++n)
    {
        const std::string name = "p" + std::to_string(n) + ".html";
        index += "<a href=\"" + name + "\">" + name + "</a> ";
        pages["/" + name] = "<html><body>page " + std::to_string(n) + "</body></html>";
    }
    pages["/index.html"] = index + "</body></html>";
    THXHttp2TestServer server(Certificates().Good(), pages);
    ASSERT_TRUE(server.Started()) << server.Error();
    server.ResetOnce("/p3.html");
    server.ResetOnce("/p7.html");
    server.GoAwayAfter(4);
    auto task = CopyOf(server.URL("/index.html"), HomeFolder() + "/reset/");
    ASSERT_TRUE(m_result.Completed) << m_err.str();
    EXPECT_EQ(task->PagesSaved, 13);
    EXPECT_EQ(task->PageErrors, 0);
    for (int n = 0; n < 12; ++n)
        EXPECT_EQ(Trim(ReadWholeFile(HomeFolder() + "/reset/127.0.0.1/p" + std::to_string(n) + ".html").value_or("")),
                  "<html><body>page " + std::to_string(n) + "</body></html>")
            << n;
    EXPECT_EQ(server.ResetsSent(), 2);
    EXPECT_GE(server.Connections(), 4);
    EXPECT_GE(server.Answered(), 13);
}

TEST_F(HXHttp2CrawlTest, ServersWithoutHttp2AndNoHttp2AreAskedOverHttp11)
{
    TTempFolder siteFolder;
    const fs::path root = siteFolder.Path() / "site";
    ASSERT_TRUE(WriteFileAtomic((root / "index.html").string(),
                                "<html><body><a href=\"a.html\">a</a><img src=\"p.gif\"></body></html>"));
    ASSERT_TRUE(WriteFileAtomic((root / "a.html").string(), "<html><body>a</body></html>"));
    ASSERT_TRUE(WriteFileAtomic((root / "p.gif").string(), "GIF89a-not-really"));

    // A server that offers only HTTP/1.1: the copy goes over it.
    TNginxSetup withoutHttp2 = SecureNginxSetup({Certificates().Good()});
    withoutHttp2.LogProtocol = true;
    THXNginx older(root.string(), withoutHttp2);
    if (!older.Started())
        GTEST_SKIP() << older.Error();
    auto task = CopyOf(older.SecureURL(0, "/index.html"), HomeFolder() + "/older/");
    ASSERT_TRUE(m_result.Completed) << m_err.str();
    EXPECT_EQ(task->PagesSaved, 2);
    EXPECT_EQ(ReadWholeFile(HomeFolder() + "/older/127.0.0.1/p.gif"), ReadWholeFile((root / "p.gif").string()));
    TLogSummary olderLog = Summarize(older.AccessLog(), 0);
    EXPECT_GE(olderLog.Requests, 3);
    EXPECT_EQ(olderLog.Protocols["HTTP/1.1"], olderLog.Requests);

    // harbex-cli --no-http2 asks a server that offers it over HTTP/1.1, for that run.
    THXNginx nginx(root.string(), Http2Setup(Certificates().Good(), {}, {}));
    ASSERT_TRUE(nginx.Started()) << nginx.Error();
    std::vector<std::string> arguments = {nginx.SecureURL(0, "/index.html"), "--folder", HomeFolder() + "/cli/",
                                          std::string(cli::kNoHttp2)};
    ASSERT_EQ(cli::CommandCopy(*m_app, arguments, m_out, m_err), cli::kExitOk) << m_err.str();
    EXPECT_EQ(ReadWholeFile(HomeFolder() + "/cli/127.0.0.1/p.gif"), ReadWholeFile((root / "p.gif").string()));
    TLogSummary cliLog = Summarize(nginx.AccessLog(), 0);
    EXPECT_GE(cliLog.Requests, 3);
    EXPECT_EQ(cliLog.Protocols["HTTP/1.1"], cliLog.Requests);
    EXPECT_TRUE(m_app->Store().ReadBool(kSettingsKey, "Use HTTP/2", true));
}

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs the command line; its exit status and what it printed.
int RunCommand(const std::string& command, std::string& output)
{
    output.clear();
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof(buffer), pipe))
        output.append(buffer, got);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(HXHttp2CrawlTest, WarcCopyAndSmartUpdateOverHttp2ReadBackWithWarcio)
{
    const std::string node = HX_NODE_PROGRAM;
    if (node.empty() || !fs::exists(node))
        GTEST_SKIP() << "node is not installed (scripts/setup.sh installs nodejs): the WARC file cannot be read "
                        "back with warcio";
    ASSERT_TRUE(fs::exists(HX_WARC_CHECK_DIR "/node_modules/warcio/package.json"))
        << "warcio is missing: run scripts/setup.sh (npm ci in tests/warc)";

    // A style sheet the server compresses, an image with bytes that look like line ends.
    const std::map<std::string, std::string> files = {
        {"index.html", "<html><head><title>W</title><link rel=\"stylesheet\" href=\"z.css\"></head><body>"
                       "<a href=\"a.html\">A</a> <a href=\"b.html\">B</a><img src=\"p.gif\"></body></html>"},
        {"a.html", "<html><body><a href=\"./\">home</a></body></html>"},
        {"b.html", "<html><body>second page <a href=\"a.html\">A</a></body></html>"},
        {"z.css", "body { color: #123456; background: #fefefe; }\nh1 { color: #123456; }\n"},
        {"p.gif", std::string("GIF89a\r\n\0\x01\x02\r\n\n\xff", 16)},
    };
    const std::string siteFolder = HomeFolder() + "/site";
    for (const auto& [name, bytes] : files)
        ASSERT_TRUE(WriteFileAtomic(siteFolder + "/" + name, bytes));
    THXNginx nginx(siteFolder,
                   Http2Setup(Certificates().Good(), {}, "gzip on; gzip_types text/css; gzip_min_length 1;"));
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();

    const std::string copy = HomeFolder() + "/copy";
    const std::string warc = HomeFolder() + "/archive/site.warc.gz";
    std::string output;
    ASSERT_EQ(RunProgram({"copy", nginx.SecureURL(0, "/"), "--folder", copy, "--name", "Warc", "--warc", warc,
                          "--pacing", "fast"},
                         output),
              0)
        << output;
    const std::string index = HomeFolder() + "/archive/site.cdxj";
    const std::string check = node + " " + Quoted(HX_WARC_CHECK_DIR "/check_warc.mjs") + " --site " +
                              Quoted(siteFolder) + " --copy " + Quoted(copy + "/127.0.0.1") + " --index " +
                              Quoted(index) + " ";
    ASSERT_EQ(RunCommand(check + Quoted(warc), output), 0) << output;
    EXPECT_NE(output.find("5 bodies equal the site's files"), std::string::npos) << output;
    EXPECT_NE(output.find(" 0 revisit"), std::string::npos) << output;

    // The Smart Update's conditional requests are answered 304 over HTTP/2 too.
    ASSERT_EQ(RunProgram({"run", "Warc", "--update", "--pacing", "fast"}, output), 0) << output;
    ASSERT_EQ(RunCommand(check + "--min-revisits 5 " + Quoted(warc), output), 0) << output;
    TLogSummary log = Summarize(nginx.AccessLog(), 0);
    EXPECT_GE(log.Requests, 10);
    EXPECT_EQ(log.Protocols["HTTP/2.0"], log.Requests);
    EXPECT_EQ(log.Connections.size(), 2U); // one per run
}

} // namespace
} // namespace hx::test
