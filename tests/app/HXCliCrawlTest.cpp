// harbex-cli as a terminal user runs it: the program itself, started with a
// HARBEX_HOME of its own against a site on 127.0.0.1, with the program's own pacing.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "app/HXCliProgram.h"
#include "core/HXApp.h"
#include "core/HXTask.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"
#include "support/HXTestSite.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

THeaderFields Html()
{
    return {{"Content-Type", "text/html"}};
}

// The addresses of a queue file's items that still wait to be fetched: state 0
// (none), 1 or 2 (in transfer) in an item that is to be fetched (mode not 0).
std::vector<std::string> WaitingItems(const std::string& queueFile)
{
    std::vector<std::string> lines;
    std::istringstream text(ReadText(queueFile));
    for (std::string line; std::getline(text, line);)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    std::vector<std::string> waiting;
    for (std::size_t pair = 0; pair + 1 < lines.size(); pair += 2)
    {
        std::vector<std::string> fields;
        std::istringstream record(lines[pair + 1]);
        for (std::string field; std::getline(record, field, '\xB6');)
            fields.push_back(field);
        const std::string state = fields.empty() ? std::string() : fields[0];
        const std::string mode = fields.size() > 7 ? fields[7] : std::string();
        if ((state == "0" || state == "1" || state == "2") && mode != "0")
            waiting.push_back(lines[pair]);
    }
    return waiting;
}

class HXCliCrawlTest : public THXCliTest
{
};

TEST_F(HXCliCrawlTest, CopyRunsToCompletionAndBadArgumentsAreRefused)
{
    THXTestServer server(Routes({
        {"/", TReply::Text(200,
                           "<html><head><title>Start</title></head><body><a href=\"a.html\">A</a>"
                           "<img src=\"p.gif\"></body></html>",
                           Html())},
        {"/a.html", TReply::Text(200, "<html><body><a href=\"./\">back</a></body></html>", Html())},
        {"/p.gif", TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}})},
    }));
    const std::string copy = HomeFolder() + "/copy";
    std::string output;
    ASSERT_EQ(RunProgram({"copy", server.URL("/"), "--folder", copy, "--name", "Small", "--connections", "2",
                          "--connect-timeout", "5"},
                         output),
              0)
        << output;
    EXPECT_NE(output.find("Task \"Small\": Task Complete"), std::string::npos) << output;
    EXPECT_NE(output.find("Pages:     2 of 2"), std::string::npos) << output;
    EXPECT_NE(output.find("Reports:"), std::string::npos) << output;
    EXPECT_TRUE(fs::is_regular_file(copy + "/127.0.0.1/a.html"));
    EXPECT_TRUE(fs::is_regular_file(copy + "/127.0.0.1/p.gif"));
    EXPECT_TRUE(fs::is_regular_file(HomeFolder() + "/Tasks/General/Small.hxt"));

    // The task is listed, and a second copy under the same name gets a name of its own.
    ASSERT_EQ(RunProgram({"tasks", "General"}, output), 0) << output;
    EXPECT_NE(output.find("Small"), std::string::npos) << output;

    // Bad arguments: exit status 2 and a message that says what is wrong.
    EXPECT_EQ(RunProgram({"copy"}, output), 2);
    EXPECT_NE(output.find("exactly one address"), std::string::npos) << output;
    EXPECT_EQ(RunProgram({"copy", server.URL("/"), "--folder", copy, "--zip", copy + ".zip"}, output), 2);
    EXPECT_NE(output.find("not both"), std::string::npos) << output;
    EXPECT_EQ(RunProgram({"copy", "ftp://example.invalid/"}, output), 2);
    EXPECT_NE(output.find("Invalid URL."), std::string::npos) << output;
    EXPECT_EQ(RunProgram({"copy", server.URL("/"), "--connections", "40"}, output), 2);
    EXPECT_EQ(RunProgram({"copy", server.URL("/"), "--connect-timeout", "4"}, output), 2);
    EXPECT_NE(output.find("--connect-timeout needs a whole number from 5 to 300, not \"4\""), std::string::npos)
        << output;
    EXPECT_EQ(RunProgram({"run", "No Such Task"}, output), 2);
    EXPECT_EQ(RunProgram({"fly"}, output), 2);
    EXPECT_NE(output.find("unknown command"), std::string::npos) << output;
}

TEST_F(HXCliCrawlTest, TheSummaryCountsLinksRestoredToTheAddressesOfFailedItems)
{
    THXTestServer server(
        Routes({{"/", TReply::Text(200, "<html><body><a href=\"gone.html\">gone</a></body></html>", Html())},
                {"/gone.html", TReply::Text(404, "gone", Html())}}));
    std::string output;
    EXPECT_EQ(RunProgram({"copy", server.URL("/"), "--folder", HomeFolder() + "/links", "--name", "Links"}, output),
              8) // an item failed
        << output;
    EXPECT_NE(output.find("Links:     1 to items that failed restored"), std::string::npos) << output;
}

TEST_F(HXCliCrawlTest, ARunThatFetchedNothingSaysWhyAndNamesNoCopy)
{
    THXTestServer server(Routes({{"/", TReply::Text(404, "gone", Html())}}));
    const std::string copy = HomeFolder() + "/copy";
    const std::string archive = HomeFolder() + "/none.zip";
    for (const std::vector<std::string>& destination :
         std::vector<std::vector<std::string>>{{"--folder", copy}, {"--zip", archive}})
    {
        std::vector<std::string> arguments = {"copy", server.URL("/"), "--name", "Gone"};
        arguments.insert(arguments.end(), destination.begin(), destination.end());
        std::string output;
        EXPECT_EQ(RunProgram(arguments, output), 1) << output;
        EXPECT_NE(output.find("Nothing was fetched"), std::string::npos) << output;
        // The start page's status text says why.
        EXPECT_NE(output.find("404"), std::string::npos) << output;
        EXPECT_EQ(output.find("Copy:"), std::string::npos) << output;
        EXPECT_EQ(output.find("Archive:"), std::string::npos) << output;
        EXPECT_EQ(output.find("Reports:"), std::string::npos) << output;
        EXPECT_EQ(output.find("unable to write the reports"), std::string::npos) << output;
    }
    EXPECT_FALSE(fs::exists(archive));

    // A connection that breaks leaves no status text in the item: the reason is
    // what the connection reported.
    THXTestServer broken(Routes({{"/", TReply().Reset()}}));
    std::string output;
    EXPECT_EQ(RunProgram({"copy", broken.URL("/"), "--folder", copy, "--name", "Broken"}, output), 1) << output;
    const std::string said = "Nothing was fetched: the start page got \"";
    const std::size_t reason = output.find(said);
    ASSERT_NE(reason, std::string::npos) << output;
    EXPECT_NE(output[reason + said.size()], '"') << output;
}

TEST_F(HXCliCrawlTest, ScheduleReportsAStartTheRunnerRefused)
{
    // A due task whose destination folder cannot be made (a file stands in its way).
    {
        THXApp app;
        FirstRunSetup(app);
        Home().WriteFile("blocker", "a file, not a folder");
        auto task = std::make_shared<THXTask>(app);
        task->Name = "Blocked";
        task->FileName = app.TasksFolder() + "General/Blocked.hxt";
        task->URL = "http://127.0.0.1:9/";
        task->IntranetMode = true;
        task->Destination = HomeFolder() + "/blocker/copy/";
        task->Schedule = "Now";
        task->Status = kStatusScheduled;
        task->Save();
        app.ActiveTasks.clear();
    }
    const TProgramRun run = StartProgram(HomeFolder(), {"schedule"});
    ASSERT_GT(run.Pid, 0);
    for (int step = 0; step < 400 && ReadText(run.OutputFile).find("Unable to start") == std::string::npos; ++step)
        std::this_thread::sleep_for(50ms);
    ::kill(run.Pid, SIGINT);
    EXPECT_EQ(WaitProgram(run, 60s), 0);
    const std::string output = ReadText(run.OutputFile);
    EXPECT_NE(output.find("Unable to start task \"Blocked\""), std::string::npos) << output;
    EXPECT_EQ(output.find("Started task"), std::string::npos) << output;
    EXPECT_NE(output.find("Task \"Blocked\" did not start"), std::string::npos) << output;
}

TEST_F(HXCliCrawlTest, InterruptStopsTheTaskAndRunResumesIt)
{
    // A page whose images come slowly keeps the task running until the interrupt.
    std::atomic<bool> slow{true};
    THXTestServer server(
        [&slow](const TRecordedRequest& request) -> TReply
        {
            if (request.Target == "/")
                return TReply::Text(200,
                                    "<html><body><img src=\"1.gif\"><img src=\"2.gif\"><a href=\"b.html\">b</a>"
                                    "</body></html>",
                                    Html());
            if (request.Target == "/b.html")
                return TReply::Text(200, "<html><body>b</body></html>", Html());
            if (request.Target == "/1.gif" || request.Target == "/2.gif")
            {
                if (slow && request.Method == "GET")
                    return TReply()
                        .Send(ResponseHead(200, {{"Content-Type", "image/gif"}, {"Content-Length", "6"}}))
                        .Send("GIF")
                        .Stall();
                return TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}});
            }
            return TReply::Text(404, "missing");
        });
    const std::string copy = HomeFolder() + "/copy";
    const TProgramRun run = StartProgram(HomeFolder(), {"copy", server.URL("/"), "--folder", copy, "--name", "Slow"});
    ASSERT_GT(run.Pid, 0);
    // Once both images are being fetched, Ctrl+C.
    for (int step = 0; step < 600; ++step)
    {
        std::size_t gets = 0;
        for (const TRecordedRequest& request : server.Requests())
            gets += request.Method == "GET" && request.Target.ends_with(".gif") ? 1 : 0;
        if (gets >= 2)
            break;
        std::this_thread::sleep_for(50ms);
    }
    ::kill(run.Pid, SIGINT);
    EXPECT_EQ(WaitProgram(run, 60s), 3);
    const std::string output = ReadText(run.OutputFile);
    EXPECT_NE(output.find("Download Stopped"), std::string::npos) << output;
    EXPECT_NE(output.find("--resume"), std::string::npos) << output;
    const std::string taskFile = HomeFolder() + "/Tasks/General/Slow.hxt";
    EXPECT_NE(ReadText(taskFile).find("Status=3"), std::string::npos) << ReadText(taskFile);

    // The images come at once now. "run" without a choice resumes a task that has a
    // queue, as the run dialog's default does: the start page is not fetched again.
    auto startPageGets = [&server]
    {
        int gets = 0;
        for (const TRecordedRequest& request : server.Requests())
            gets += request.Method == "GET" && request.Target == "/" ? 1 : 0;
        return gets;
    };
    const int getsBefore = startPageGets();
    ASSERT_GT(getsBefore, 0);
    slow = false;
    std::string resumed;
    ASSERT_EQ(RunProgram({"run", "Slow"}, resumed), 0) << resumed;
    EXPECT_NE(resumed.find("Task Complete"), std::string::npos) << resumed;
    EXPECT_EQ(ReadText(copy + "/127.0.0.1/1.gif"), "GIF89a");
    EXPECT_EQ(startPageGets(), getsBefore);

    // --restart still starts over from the start page.
    ASSERT_EQ(RunProgram({"run", "Slow", "--restart"}, resumed), 0) << resumed;
    EXPECT_EQ(startPageGets(), getsBefore + 1);
}

TEST_F(HXCliCrawlTest, RunsKilledAtRandomPointsResumeToACompleteCopyWithNothingWaiting)
{
    const TTestSite site = GenerateTestSite(HomeFolder() + "/site", {.Pages = 150, .UnusualNames = false});
    auto state = std::make_shared<TSiteState>(site);
    // Each answer waits a little, as a distant server's does, so a kill finds
    // transfers under way and queue records that say so.
    THXTestServer server(
        [serve = SiteHandler(state)](const TRecordedRequest& request)
        {
            std::this_thread::sleep_for(20ms);
            return serve(request);
        });
    const std::string copy = HomeFolder() + "/copy";
    const std::string queueFile = HomeFolder() + "/Tasks/General/Killed.dwn";
    // A kill comes after a random number of the run's requests, so it falls at a
    // random point of the copy however fast this machine is.
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> killAfter(1, 60);
    std::string kills;
    for (int kill = 0; kill < 3; ++kill)
    {
        const int target = state->TotalRequests() + killAfter(random);
        const TProgramRun run =
            kill == 0
                ? StartProgram(HomeFolder(), {"copy", server.URL("/index.html"), "--folder", copy, "--name", "Killed"})
                : StartProgram(HomeFolder(), {"run", "Killed", "--resume"});
        ASSERT_GT(run.Pid, 0);
        int status = 0;
        bool ended = false;
        for (int step = 0; step < 6000 && state->TotalRequests() < target && !ended; ++step)
        {
            ended = ::waitpid(run.Pid, &status, WNOHANG) == run.Pid;
            std::this_thread::sleep_for(5ms);
        }
        kills += " " + std::to_string(state->TotalRequests()) + (ended ? " (ended)" : "");
        if (!ended)
        {
            ::kill(run.Pid, SIGKILL);
            WaitProgram(run, 60s);
        }
        // A run that ended before its kill must have left nothing waiting.
        const std::string output = ReadText(run.OutputFile);
        if (output.find("Task Complete") != std::string::npos)
        {
            EXPECT_EQ(WaitingItems(queueFile), std::vector<std::string>{}) << "killed at requests" << kills << "\n"
                                                                           << output;
        }
    }

    std::string output;
    // The site links to pages it does not have: those items fail, and the run says so.
    ASSERT_FALSE(site.Missing.empty());
    ASSERT_EQ(RunProgram({"run", "Killed", "--resume"}, output), 8) << "killed at requests" << kills << "\n" << output;
    EXPECT_NE(output.find("Task \"Killed\": Task Complete"), std::string::npos) << output;
    EXPECT_EQ(WaitingItems(queueFile), std::vector<std::string>{}) << "killed at requests" << kills;
    // Every page of the site was asked for.
    for (const std::string& page : site.Pages)
        EXPECT_GT(state->Tally(page).Total, 0) << page << ", killed at requests" << kills;
}

} // namespace
} // namespace hx::test
