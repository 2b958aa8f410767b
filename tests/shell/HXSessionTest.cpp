// The engine session: what it installs, the host it passes the runner's reports to,
// its tick thread starting a due task, and its one destructor ending a session
// whose task is still running (the task stopped and saved and the host told),
// after which a new session runs the same task to its end.
//
// The test thread is the owner thread and pumps its loop; crawls go to a server on
// 127.0.0.1 started by the test.

#include "shell/HXSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/HXApp.h"
#include "core/HXOwner.h"
#include "core/HXTask.h"
#include "net/HXSockets.h"
#include "HXSeededApp.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

namespace hx
{
namespace
{

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// Records what the runner reports; lets queued hand-overs run when it asks.
class TRecordingHost final : public THXRunnerHost
{
public:
    explicit TRecordingHost(THXEventLoopOwner& owner)
        : m_owner(owner)
    {
    }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void ShowError(const std::string& message) override { errors.push_back(message); }
    void ProcessPendingMessages() override { m_owner.ProcessPending(); }
    void RunEnded(THXTask& task) override { ended.push_back(task.Name); }

    std::vector<std::string> statuses;
    std::vector<std::string> errors;
    std::vector<std::string> ended;

private:
    THXEventLoopOwner& m_owner;
};

// A start page linking `pages` pages; each answer is held `hold` (changeable while
// the server runs).
class TSlowSite
{
public:
    explicit TSlowSite(int pages)
        : m_pages(pages)
    {
    }
    std::atomic<int> holdMilliseconds{0};

    test::TRequestHandler Handler()
    {
        return [this](const test::TRecordedRequest& request)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(holdMilliseconds.load()));
            const test::THeaderFields html = {{"Content-Type", "text/html"}};
            if (request.Target == "/")
            {
                std::string body = "<html><head><title>Slow</title></head><body>";
                for (int page = 1; page <= m_pages; ++page)
                    body += "<a href=\"p" + std::to_string(page) + ".html\">" + std::to_string(page) + "</a>";
                return test::TReply::Text(200, body + "</body></html>", html);
            }
            return test::TReply::Text(200, "<html><body><a href=\"/\">home</a></body></html>", html);
        };
    }

private:
    int m_pages;
};

class HXSessionTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        THXSandboxTest::SetUp();
        app = test::MakeSeededApp(Home(), owner);
        app->SetOwner(nullptr);
        server = std::make_unique<test::THXTestServer>(site.Handler());
    }

    void TearDown() override
    {
        server.reset();
        app->CurrentTask.reset();
        app->ActiveTasks.clear();
        app.reset();
        THXSandboxTest::TearDown();
    }

    TSessionSetup FastSetup()
    {
        TSessionSetup setup;
        setup.Pacing = TRunPacing::Fast();
        setup.TickPeriod = 50ms;
        setup.EndHandOvers = [this] { owner.ProcessPending(); };
        return setup;
    }

    // A Personal Intranet task of the whole site.
    std::shared_ptr<THXTask> NewTask(const std::string& name)
    {
        auto task = std::make_shared<THXTask>(*app);
        task->Name = name;
        task->FileName = app->TasksFolder() + "General/" + name + ".hxt";
        task->URL = server->URL("/");
        task->Profile.FileName = app->ProfilesFolder() + "Whole Site.hxp";
        task->Profile.Load();
        task->Profile.UseStartPageTitle = false;
        task->IntranetMode = true;
        task->RunMode = kRunRestart;
        task->Destination = Home().Folder() + "Intranet/" + name + "/";
        task->Save();
        return task;
    }

    // Serves the loop and the zip timer until `done` or the limit.
    bool Serve(THXSession& session, const std::function<bool()>& done, std::chrono::milliseconds limit)
    {
        const auto end = TClock::now() + limit;
        while (!done())
        {
            if (TClock::now() >= end)
                return false;
            owner.ProcessPending(10ms);
            if (session.Runner().ZipTimerEnabled())
                session.Runner().ZipTimerTick();
        }
        return true;
    }

    THXEventLoopOwner owner;
    TSlowSite site{30};
    std::unique_ptr<THXApp> app;
    std::unique_ptr<test::THXTestServer> server;
};

TEST_F(HXSessionTest, EndingWithATaskRunningStopsItAndASecondSessionRunsItToTheEnd)
{
    site.holdMilliseconds = 300;
    auto task = NewTask("Running");
    TRecordingHost host(owner);
    {
        THXSession session(*app, owner, FastSetup());
        // The slots are made by whoever shows them (the connections view, the terminal).
        session.Slots().SetSlotCount(4, false);
        // The session's owner thread is the app's while it lives.
        EXPECT_EQ(&app->Owner(), &owner);
        session.SetHost(&host);
        ASSERT_TRUE(session.Runner().Start(task));
        ASSERT_TRUE(Serve(
            session, [&] { return task->PagesSaved > 0; }, 10s));
        ASSERT_EQ(session.Runner().RunningTask(), task);
        EXPECT_EQ(task->Status, kStatusDownloading);
        EXPECT_NE(std::ranges::find(host.statuses, "Starting Task..."), host.statuses.end());
    }
    // The running task was stopped and saved, and the attached host was told.
    EXPECT_EQ(task->Status, kStatusStopped);
    EXPECT_EQ(host.ended, std::vector<std::string>{"Running"});
    EXPECT_TRUE(host.errors.empty()) << host.errors.front();
    THXTask stored(*app);
    stored.FileName = task->FileName;
    stored.Load();
    EXPECT_EQ(stored.Status, kStatusStopped);
    // The app has its own owner back.
    EXPECT_NE(&app->Owner(), &owner);

    // A second session, made after the first, resumes the task to its end.
    site.holdMilliseconds = 0;
    {
        THXSession session(*app, owner, FastSetup());
        session.Slots().SetSlotCount(4, false);
        session.SetHost(&host);
        task->RunMode = kRunResume;
        ASSERT_TRUE(session.Runner().Start(task));
        EXPECT_TRUE(Serve(
            session, [&] { return !session.Runner().ZipTimerEnabled(); }, 20s));
        EXPECT_EQ(task->Status, kStatusTaskComplete);
    }
    // The start page and its 30 pages are all in the copy.
    int pages = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(task->Destination))
        pages += entry.path().extension().string().starts_with(".htm") ? 1 : 0;
    EXPECT_EQ(pages, 31);
    EXPECT_EQ(host.ended, (std::vector<std::string>{"Running", "Running"}));
}

TEST_F(HXSessionTest, TheTickStartsADueTaskUntilItIsStopped)
{
    auto task = NewTask("Due");
    TRecordingHost host(owner);
    THXSession session(*app, owner, FastSetup());
    session.Slots().SetSlotCount(4, false);
    session.SetHost(&host);
    session.Scheduler().AddTask(task);
    ASSERT_TRUE(session.Scheduler().QueueTaskRun(task, {}));
    EXPECT_EQ(task->Status, kStatusScheduled);
    // The tick thread hands its ticks to the owner thread: nothing starts while
    // the loop is not served.
    session.StartTicking();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(session.Runner().RunningTask(), nullptr);
    EXPECT_TRUE(Serve(
        session, [&] { return task->Status != kStatusScheduled; }, 5s));
    EXPECT_TRUE(Serve(
        session, [&] { return !session.Runner().ZipTimerEnabled(); }, 20s));
    EXPECT_EQ(task->Status, kStatusTaskComplete);

    // Once stopped, the tick starts nothing more.
    session.StopTicking();
    task->RunMode = kRunRestart;
    ASSERT_TRUE(session.Scheduler().QueueTaskRun(task, {}));
    EXPECT_FALSE(Serve(
        session, [&] { return task->Status != kStatusScheduled; }, 300ms));
}

} // namespace
} // namespace hx
