// harbex-cli as a terminal user runs it: the program itself, started with a
// HARBEX_HOME of its own against a site on 127.0.0.1, with the program's own pacing.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/HXApp.h"
#include "core/HXTask.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"

extern char** environ;

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct TProgramRun
{
    pid_t Pid = -1;
    std::string OutputFile;
};

// Starts harbex-cli with the arguments, HARBEX_HOME set, output into a file.
TProgramRun StartProgram(const std::string& home, const std::vector<std::string>& arguments)
{
    TProgramRun run;
    run.OutputFile = home + "/output.txt";
    std::vector<std::string> words = {HX_CLI_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    std::vector<std::string> environment = {"HARBEX_HOME=" + home, std::string("HARBEX_DATA_DIR=") + HX_SOURCE_DATA_DIR,
                                            "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, run.OutputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&run.Pid, HX_CLI_PROGRAM, &actions, nullptr, argv.data(), envp.data()) != 0)
        run.Pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// Waits for the program; its exit status (-1 when it did not end in time and was killed).
int WaitProgram(const TProgramRun& run, std::chrono::seconds limit = 120s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < end)
    {
        if (::waitpid(run.Pid, &status, WNOHANG) == run.Pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(20ms);
    }
    ::kill(run.Pid, SIGKILL);
    ::waitpid(run.Pid, &status, 0);
    return -1;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

THeaderFields Html()
{
    return {{"Content-Type", "text/html"}};
}

class HXCliCrawlTest : public THXSandboxTest
{
protected:
    std::string HomeFolder() const { return Home().Path().string(); }

    int RunProgram(const std::vector<std::string>& arguments, std::string& output)
    {
        const TProgramRun run = StartProgram(HomeFolder(), arguments);
        EXPECT_GT(run.Pid, 0);
        const int status = WaitProgram(run);
        output = ReadText(run.OutputFile);
        return status;
    }
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

} // namespace
} // namespace hx::test
