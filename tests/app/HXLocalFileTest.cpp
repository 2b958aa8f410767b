// Copies whose local files cannot be made: a folder of the copy blocked by a file,
// a link deeper than a path may be. Each such item ends as an error of its kind,
// asked for once, and the task still ends.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/HXCli.h"
#include "app/HXCliSession.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "net/HXPartFile.h"
#include "net/HXSockets.h"
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

// A file system with room for `room` more bytes of transferred bodies: writes past it
// fail as on a full disk.
struct TDiskRoom
{
    std::atomic<std::int64_t> Room{0};
    std::atomic<int> Refused{0};

    TPartWriter Writer()
    {
        return [this](int fd, const void* data, std::size_t size, off_t offset) -> ssize_t
        {
            std::int64_t room = Room.load();
            std::int64_t take = 0;
            do
            {
                take = std::min<std::int64_t>(room, static_cast<std::int64_t>(size));
            } while (take > 0 && !Room.compare_exchange_weak(room, room - take));
            if (take <= 0)
            {
                ++Refused;
                errno = ENOSPC;
                return -1;
            }
            return ::pwrite(fd, data, static_cast<std::size_t>(take), offset);
        };
    }
};

// Part files left anywhere below the folder.
int PartFilesBelow(const std::string& folder)
{
    int found = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        found += entry.path().filename().string().ends_with(".hxpart") ? 1 : 0;
    return found;
}

TEST_P(HXLocalFileTest, AFullDiskStopsTheTaskAndAResumeCompletesTheCopy)
{
    // A start page, ten pages and ten pictures of some kilobytes each.
    std::map<std::string, TReply> routes;
    std::map<std::string, std::string> bodies;
    std::string start = "<html><head><title>Start</title></head><body>";
    for (int n = 0; n < 10; ++n)
    {
        const std::string page = "/p" + std::to_string(n) + ".html";
        const std::string picture = "/img/i" + std::to_string(n) + ".gif";
        start += "<a href=\"" + page.substr(1) + "\">page</a><img src=\"" + picture.substr(1) + "\">";
        bodies[page] = "<html><body><p>" + std::string(3000 + n * 100, static_cast<char>('a' + n)) +
                       "</p><a href=\"index.html\">home</a></body></html>";
        bodies[picture] = "GIF89a" + std::string(5000 + n * 100, static_cast<char>('0' + n));
    }
    bodies["/index.html"] = start + "</body></html>";
    for (const auto& [target, body] : bodies)
        routes[target] =
            TReply::Text(200, body, {{"Content-Type", target.ends_with(".gif") ? "image/gif" : "text/html"}});
    m_server = std::make_unique<THXTestServer>(Routes(routes));
    const std::string url = m_server->URL("/index.html");
    const std::string root = Home().Folder() + "copy/";
    auto task = NewTask(url, {"--folder", root});

    // Room for the start page and a few more bodies.
    TDiskRoom disk;
    disk.Room = 20000;
    Session().Slots().SetPartWriter(disk.Writer());
    task->RunMode = kRunRestart;
    const cli::TRunResult full = Session().RunTask(task, 20000ms);
    EXPECT_GT(disk.Refused.load(), 0);
    EXPECT_FALSE(full.Completed);
    EXPECT_FALSE(full.Interrupted);
    EXPECT_EQ(task->Status, kStatusStopped);
    EXPECT_TRUE(full.FailureText.starts_with("Disk full: ")) << full.FailureText;
    EXPECT_TRUE(Session().Host().LastStatus().starts_with("Disk full: ")) << Session().Host().LastStatus();
    EXPECT_NE(m_err.str().find("Disk full: "), std::string::npos) << m_err.str();
    EXPECT_EQ(cli::ExitStatusOf(full), cli::kExitFailed);
    // Nothing half-written: no part files, every file there is whole, and nothing
    // counted as failed.
    EXPECT_EQ(PartFilesBelow(root), 0);
    for (const auto& [target, body] : bodies)
    {
        const std::string address = m_server->URL(target);
        const std::string file = LocalFileName(root, DirectoryURL(address), address);
        if (target.ends_with(".gif") && FileExists(file))
        {
            EXPECT_TRUE(ReadWholeFile(file).value_or("") == body) << target << " is not whole";
        }
    }
    EXPECT_EQ(task->PageErrors + task->ResourceErrors, 0);
    for (int pair = 0; pair < task->ItemCount(); ++pair)
        EXPECT_NE(task->Item(pair)->State, kStateError) << pair;

    // Room again: a resume from the written files completes the copy.
    m_session.reset();
    auto resumed = std::make_shared<THXTask>(*m_app);
    resumed->FileName = task->FileName;
    resumed->Load();
    EXPECT_EQ(resumed->Status, kStatusStopped);
    resumed->RunMode = kRunResume;
    const cli::TRunResult again = Session().RunTask(resumed, 20000ms);
    ASSERT_TRUE(again.Completed) << again.FailureText << m_err.str();
    EXPECT_EQ(cli::ExitStatusOf(again), cli::kExitOk);
    EXPECT_EQ(resumed->PageErrors + resumed->ResourceErrors, 0);
    for (const auto& [target, body] : bodies)
    {
        const std::string address = m_server->URL(target);
        const std::string file = LocalFileName(root, DirectoryURL(address), address);
        ASSERT_TRUE(FileExists(file)) << target;
        if (target.ends_with(".gif"))
            EXPECT_TRUE(ReadWholeFile(file).value_or("") == body) << target << " is not whole";
        else
            EXPECT_EQ(ItemOf(*resumed, address)->State, kStateParsed) << target;
    }
    EXPECT_EQ(PartFilesBelow(root), 0);
}

INSTANTIATE_TEST_SUITE_P(ClassicAndFast, HXLocalFileTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Fast" : "Classic"; });

} // namespace
} // namespace hx::test
