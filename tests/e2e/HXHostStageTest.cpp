// Whole-site copies whose pages link many files on a host that cannot be reached: a
// host whose lookups are slow and then fail, and a server on 127.0.0.1 that refuses
// every connection. The local files all come in while the foreign host is still
// being looked up, the foreign items end as errors that name the host, and the host
// is looked up once, or refused exactly three times. Both pacings.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "HXRunSession.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "net/HXHostCache.h"
#include "net/HXSockets.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"
#include "support/HXScriptedResolver.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kLocalPages = 20;
constexpr int kForeignPerPage = 25; // 500 foreign files in all

// A port on 127.0.0.1 that refuses connections: bound, never listening, and kept so
// while the test runs.
class TClosedPort
{
public:
    TClosedPort()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        socklen_t length = sizeof(address);
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~TClosedPort() { ::close(m_socket); }
    TClosedPort(const TClosedPort&) = delete;
    TClosedPort& operator=(const TClosedPort&) = delete;
    int Port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
};

// index.html links kLocalPages pages; each shows one local image and kForeignPerPage
// images on the foreign host.
TRequestHandler LinkingSite(const std::string& foreignHost)
{
    return [foreignHost](const TRecordedRequest& request)
    {
        const std::string& target = request.Target;
        if (target == "/index.html")
        {
            std::string body = "<html><body>";
            for (int page = 0; page < kLocalPages; ++page)
                body += "<a href=\"p" + std::to_string(page) + ".html\">p</a>";
            return TReply::Text(200, body + "</body></html>", {{"Content-Type", "text/html"}});
        }
        if (target.starts_with("/p") && target.ends_with(".html"))
        {
            const std::string page = target.substr(2, target.size() - 7);
            std::string body = "<html><body><img src=\"l" + page + ".gif\">";
            for (int image = 0; image < kForeignPerPage; ++image)
                body += "<img src=\"http://" + foreignHost + "/" + page + "/i" + std::to_string(image) + ".gif\">";
            return TReply::Text(200, body + "</body></html>", {{"Content-Type", "text/html"}});
        }
        if (target.starts_with("/l") && target.ends_with(".gif"))
            return TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}});
        return TReply::Text(404, "no");
    };
}

struct TCopyOutcome
{
    TRunResult Result;
    int LocalSaved = 0;
    int LocalMissing = 0;
    int Foreign = 0;
    int ForeignErrors = 0;
    std::vector<std::string> ForeignTexts; // the distinct texts
    std::int32_t ResourceErrors = 0;
    // The last local file was in before the foreign host's lookup was let go.
    bool LocalDoneFirst = false;
    int LinksRestored = 0;          // by the end-of-run pass
    std::vector<std::string> Pages; // the local pages' saved files
};

class HXHostStageTest : public THXSandboxTest, public ::testing::WithParamInterface<bool>
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        setenv("HARBEX_DATA_DIR", HX_SOURCE_DATA_DIR, 1);
        m_app = std::make_unique<THXApp>(THXEnvironment::FromProcess());
        FirstRunSetup(*m_app);
        TRunOptions options;
        if (GetParam())
        {
            options.Pacing = TRunPacing::Fast();
        }
        else
        {
            // The Classic pacing's code paths with short steps.
            TRunPacing pacing;
            pacing.Parse.SleepStep = 2ms;
            pacing.Parse.SleepSteps = 1;
            pacing.Parse.StatusWait = 0ms;
            pacing.Dispatch.SleepStep = 2ms;
            pacing.ZipFeedPeriod = 2ms;
            options.Pacing = pacing;
        }
        m_session = std::make_unique<TRunSession>(*m_app, m_err, options);
        m_session->Slots().HostCache().SetResolver(m_resolver.Resolver());
    }
    void TearDown() override
    {
        m_resolver.OpenGate();
        m_session.reset();
        m_app.reset();
        THXSandboxTest::TearDown();
    }

    // Copies the site with the "Whole Site" profile. The foreign host's held lookup
    // is let go once every local file is in (or after the time limit).
    TCopyOutcome Copy(const THXTestServer& server)
    {
        std::vector<std::string> arguments = {"--profile", "Whole Site", "--name", "hosts"};
        std::shared_ptr<THXTask> task = NewCopyTask(*m_app, arguments, server.URL("/index.html"));
        task->Save();
        const std::string local = server.URL("/");
        const auto started = std::chrono::steady_clock::now();
        TCopyOutcome outcome;
        bool released = false;
        outcome.Result = m_session->RunTask(task, 60000ms,
                                            [&](THXTask& running)
                                            {
                                                if (released)
                                                    return false;
                                                if (LocalFilesIn(running, local) >= 1 + 2 * kLocalPages)
                                                    outcome.LocalDoneFirst =
                                                        m_resolver.Running() > 0 || m_resolver.Lookups() == 0;
                                                else if (std::chrono::steady_clock::now() - started < 20s)
                                                    return false;
                                                released = true;
                                                m_resolver.OpenGate();
                                                return false;
                                            });
        for (int pair = 0; pair < task->ItemCount(); ++pair)
        {
            THXQItem& item = *task->Item(pair);
            task->ReloadItem(item);
            const std::string url = item.URL.str();
            if (url.starts_with(local))
            {
                const bool in = IsFetchedState(item.State) && fs::is_regular_file(item.LocalFile.str());
                ++(in ? outcome.LocalSaved : outcome.LocalMissing);
                if (in && item.IsPage())
                    outcome.Pages.push_back(item.LocalFile.str());
                continue;
            }
            ++outcome.Foreign;
            if (item.State == kStateError)
                ++outcome.ForeignErrors;
            const std::string text = item.StatusText.str();
            if (std::find(outcome.ForeignTexts.begin(), outcome.ForeignTexts.end(), text) == outcome.ForeignTexts.end())
                outcome.ForeignTexts.push_back(text);
        }
        outcome.ResourceErrors = task->ResourceErrors;
        outcome.LinksRestored = task->LinksRestored;
        return outcome;
    }

    static int LocalFilesIn(THXTask& task, const std::string& local)
    {
        int count = 0;
        for (int pair = 0; pair < task.ItemCount(); ++pair)
        {
            THXQItem& item = *task.Item(pair);
            if (!IsFetchedState(item.State) && item.State != kStateParsed)
                continue;
            task.ReloadItem(item);
            if (item.URL.str().starts_with(local))
                ++count;
        }
        return count;
    }

    std::unique_ptr<THXApp> m_app;
    std::ostringstream m_err;
    std::unique_ptr<TRunSession> m_session;
    TScriptedResolver m_resolver;
};

TEST_P(HXHostStageTest, AHostWhoseLookupIsSlowAndFailsHoldsNoLocalFile)
{
    // The lookup would take 25 s; it is let go (and fails) once the local files are in.
    m_resolver.Script("slow.example", THostScript::Failing(kSockHostNotFound, 25s, true));
    THXTestServer server(LinkingSite("slow.example"));
    const TCopyOutcome outcome = Copy(server);

    EXPECT_TRUE(outcome.Result.Completed);
    EXPECT_EQ(outcome.LocalMissing, 0);
    EXPECT_EQ(outcome.LocalSaved, 1 + 2 * kLocalPages);
    EXPECT_TRUE(outcome.LocalDoneFirst) << "local files waited for the foreign host's lookup";
    EXPECT_EQ(outcome.Foreign, kLocalPages * kForeignPerPage);
    EXPECT_EQ(outcome.ForeignErrors, kLocalPages * kForeignPerPage);
    EXPECT_EQ(outcome.ResourceErrors, kLocalPages * kForeignPerPage);
    EXPECT_EQ(outcome.ForeignTexts, std::vector<std::string>{"[11001] Host not found: slow.example"});
    EXPECT_EQ(m_resolver.Lookups("slow.example"), 1);
    // 127.0.0.1 is an address: nothing to look up.
    EXPECT_EQ(m_resolver.Lookups(), 1);
}

TEST_P(HXHostStageTest, AServerThatRefusesIsAskedThreeTimesThenGivenUp)
{
    const TClosedPort closed;
    const std::string foreign = "127.0.0.1:" + std::to_string(closed.Port());
    THXTestServer server(LinkingSite(foreign));
    const TCopyOutcome outcome = Copy(server);

    EXPECT_TRUE(outcome.Result.Completed);
    EXPECT_EQ(outcome.LocalMissing, 0);
    EXPECT_EQ(outcome.LocalSaved, 1 + 2 * kLocalPages);
    EXPECT_EQ(outcome.Foreign, kLocalPages * kForeignPerPage);
    EXPECT_EQ(outcome.ForeignErrors, kLocalPages * kForeignPerPage);
    EXPECT_EQ(outcome.ResourceErrors, kLocalPages * kForeignPerPage);
    EXPECT_EQ(outcome.ForeignTexts, std::vector<std::string>{"[10061] Connection refused: " + foreign});
    EXPECT_EQ(m_session->Slots().HostHealth().Failures("127.0.0.1:" + std::to_string(closed.Port())), 3);
    EXPECT_EQ(m_resolver.Lookups(), 0);
}

TEST_P(HXHostStageTest, PagesSavedAfterTheirLinksHostFailedHoldItsAddressesAtOnce)
{
    // index.html shows one image on the failing host and links a few pages (fewer than
    // the slots, so no page waits and the image goes at once); the pages are served
    // only once that host's lookup has failed, so they are saved after it.
    constexpr int kPages = 4;
    m_resolver.Script("gone.example", THostScript::Failing(kSockHostNotFound));
    const THXHostCache& hosts = m_session->Slots().HostCache();
    const TRequestHandler site = LinkingSite("gone.example");
    std::atomic<bool> servedFirst{false};
    THXTestServer server(
        [&](const TRecordedRequest& request)
        {
            if (request.Target == "/index.html")
            {
                std::string body = "<html><body><img src=\"http://gone.example/first.gif\">";
                for (int page = 0; page < kPages; ++page)
                    body += "<a href=\"p" + std::to_string(page) + ".html\">p</a>";
                return TReply::Text(200, body + "</body></html>", {{"Content-Type", "text/html"}});
            }
            if (!request.Target.starts_with("/p"))
                return site(request); // robots.txt and the local images
            const auto until = std::chrono::steady_clock::now() + 20s;
            while (!hosts.LookupFailed("gone.example") && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(5ms);
            if (!hosts.LookupFailed("gone.example"))
                servedFirst = true;
            return site(request);
        });
    const TCopyOutcome outcome = Copy(server);

    EXPECT_TRUE(outcome.Result.Completed);
    EXPECT_EQ(outcome.LocalMissing, 0);
    EXPECT_EQ(outcome.ForeignErrors, 1 + kPages * kForeignPerPage);
    EXPECT_EQ(m_resolver.Lookups("gone.example"), 1);
    EXPECT_FALSE(servedFirst) << "a page was served before the lookup failed";
    // Every page holds the failed images' addresses, no local name that leads nowhere;
    // only index.html, saved before the lookup failed, needed the end-of-run pass.
    ASSERT_EQ(outcome.Pages.size(), 1u + kPages);
    for (const std::string& file : outcome.Pages)
    {
        const std::string text = ReadWholeFile(file).value_or("");
        int addresses = 0;
        for (std::size_t at = text.find("src=\"http://gone.example/"); at != std::string::npos;
             at = text.find("src=\"http://gone.example/", at + 1))
            ++addresses;
        EXPECT_EQ(addresses, file.ends_with("index.html") ? 1 : kForeignPerPage) << file;
        EXPECT_EQ(text.find("../gone.example/"), std::string::npos) << file;
    }
    EXPECT_EQ(outcome.LinksRestored, 1);
}

INSTANTIATE_TEST_SUITE_P(Pacing, HXHostStageTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Fast" : "Classic"; });

} // namespace
} // namespace hx::test
