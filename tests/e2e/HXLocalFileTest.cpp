// Copies whose local files cannot be made: a folder of the copy blocked by a file,
// a link deeper than a path may be. Each such item ends as an error of its kind,
// asked for once, and the task still ends.

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/HXCli.h"
#include "app/HXCliSession.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

cli::TSessionOptions ShortWaits(bool fast)
{
    cli::TSessionOptions options;
    options.Progress = cli::TProgressStyle::Quiet;
    TRunPacing pacing = fast ? TRunPacing::Fast() : TRunPacing::Classic();
    pacing.Parse.SleepStep = 2ms;
    pacing.Parse.SleepSteps = 1;
    pacing.Parse.StatusWait = 0ms;
    pacing.Dispatch.SleepStep = 2ms;
    pacing.ZipFeedPeriod = 2ms;
    options.Pacing = pacing;
    return options;
}

class HXLocalFileTest : public THXSandboxTest, public ::testing::WithParamInterface<bool>
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        setenv("HARBEX_DATA_DIR", HX_SOURCE_DATA_DIR, 1);
        m_app = std::make_unique<THXApp>(THXEnvironment::FromProcess());
        FirstRunSetup(*m_app);
    }
    void TearDown() override
    {
        m_session.reset();
        m_server.reset();
        m_app.reset();
        THXSandboxTest::TearDown();
    }

    std::shared_ptr<THXTask> NewTask(const std::string& url, std::vector<std::string> options)
    {
        std::vector<std::string> arguments = std::move(options);
        cli::TCliArgs args(arguments, {"--folder", "--zip", "--profile", "--name", "--depth"}, {});
        auto task = cli::NewTaskFromURL(*m_app, args, url);
        task->Save();
        return task;
    }

    cli::THXCliSession& Session()
    {
        if (!m_session)
            m_session = std::make_unique<cli::THXCliSession>(*m_app, m_out, m_err, ShortWaits(GetParam()));
        return *m_session;
    }

    // The item of a URL, reloaded from its record.
    THXQItem* ItemOf(THXTask& task, const std::string& url)
    {
        for (int pair = 0; pair < task.ItemCount(); ++pair)
        {
            THXQItem* item = task.Item(pair);
            task.ReloadItem(*item);
            if (item->URL == url)
                return item;
        }
        return nullptr;
    }

    int Gets(const std::string& target) const
    {
        int gets = 0;
        for (const TRecordedRequest& request : m_server->Requests())
            gets += request.Method == "GET" && request.Target == target ? 1 : 0;
        return gets;
    }

    std::ostringstream m_out;
    std::ostringstream m_err;
    std::unique_ptr<THXApp> m_app;
    std::unique_ptr<THXTestServer> m_server;
    std::unique_ptr<cli::THXCliSession> m_session;
};

TEST_P(HXLocalFileTest, AnItemWhoseFileCannotBeMadeIsAnErrorAskedForOnce)
{
    // 30 folders of 200 letters: every name fits, the whole path does not.
    std::string deep;
    for (int folder = 0; folder < 30; ++folder)
        deep += "/" + std::string(200, static_cast<char>('a' + folder % 26));
    deep += "/deep.html";
    const std::string page = "<html><head><title>Start</title></head><body>"
                             "<a href=\"blocked/page.html\">blocked</a> <a href=\"blocked/pic.gif\">pic</a> "
                             "<a href=\"" +
                             deep + "\">deep</a> <a href=\"fine.html\">fine</a></body></html>";
    m_server = std::make_unique<THXTestServer>(Routes({
        {"/index.html", TReply::Text(200, page)},
        {"/fine.html", TReply::Text(200, "<html><body>fine</body></html>")},
        {"/blocked/page.html", TReply::Text(200, "<html><body>blocked</body></html>")},
        {"/blocked/pic.gif", TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}})},
        {deep, TReply::Text(200, "<html><body>deep</body></html>")},
    }));
    const std::string start = m_server->URL("/index.html");
    const std::string root = Home().Folder() + "copy/";
    auto task = NewTask(start, {"--folder", root});
    // A file stands where the folder "blocked" of the copy goes.
    const std::string blockedPage = m_server->URL("/blocked/page.html");
    const std::string blockedFolder = ExtractFilePath(LocalFileName(root, DirectoryURL(blockedPage), blockedPage));
    ASSERT_GT(blockedFolder.size(), root.size());
    const std::string blocker = blockedFolder.substr(0, blockedFolder.size() - 1);
    ForceDirectories(ExtractFilePath(blocker));
    SaveTextFile(blocker, "in the way");

    task->RunMode = kRunRestart;
    const cli::TRunResult result = Session().RunTask(task, 20000ms);
    EXPECT_TRUE(result.Completed) << "status " << result.Status << "; " << m_err.str();
    EXPECT_EQ(task->Status, kStatusTaskComplete);

    // Each is an error of its kind, asked for once, and the rest of the copy is whole.
    struct TExpected
    {
        std::string Name;
        std::string Target;
        bool Page;
    };
    for (const TExpected& expected :
         {TExpected{"blocked page", "/blocked/page.html", true},
          TExpected{"blocked picture", "/blocked/pic.gif", false}, TExpected{"deep page", deep, true}})
    {
        THXQItem* item = ItemOf(*task, m_server->URL(expected.Target));
        ASSERT_NE(item, nullptr) << expected.Name;
        EXPECT_EQ(item->State, kStateError) << expected.Name;
        EXPECT_EQ(item->IsPage(), expected.Page) << expected.Name;
        EXPECT_EQ(Gets(expected.Target), 1) << expected.Name;
    }
    EXPECT_EQ(task->PageErrors, 2);
    EXPECT_EQ(task->ResourceErrors, 1);
    EXPECT_EQ(task->PagesSaved, 4);
    EXPECT_EQ(task->ResourcesSaved, 1);
    THXQItem* fine = ItemOf(*task, m_server->URL("/fine.html"));
    ASSERT_NE(fine, nullptr);
    EXPECT_EQ(fine->State, kStateParsed);
    const std::string finePage = m_server->URL("/fine.html");
    EXPECT_TRUE(FileExists(LocalFileName(root, DirectoryURL(finePage), finePage)));
    // The file in the way is left as it was.
    EXPECT_EQ(LoadTextFile(blocker), "in the way\r\n");
}

INSTANTIATE_TEST_SUITE_P(ClassicAndFast, HXLocalFileTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Fast" : "Classic"; });

} // namespace
} // namespace hx::test
