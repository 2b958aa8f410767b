// One task, one program: two harbex-cli processes on one HARBEX_HOME.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include <sys/wait.h>

#include "app/HXCliProgram.h"
#include "core/HXTaskLock.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;

class HXCliLockTest : public THXCliTest
{
};

// The first run holds the task while its image hangs; a second run of the task is
// refused with the holder's process id and status 1; after the first is killed
// with -9, a later run takes the task and completes it.
TEST_F(HXCliLockTest, SecondProcessIsRefusedUntilTheFirstIsKilled)
{
    std::atomic<bool> slow = true;
    THXTestServer server(
        [&slow](const TRecordedRequest& request)
        {
            if (request.Target == "/")
                return TReply::Text(200, "<html><body><img src=\"1.gif\"></body></html>",
                                    {{"Content-Type", "text/html"}});
            if (request.Target == "/1.gif" && slow && request.Method == "GET")
                return TReply()
                    .Send(ResponseHead(200, {{"Content-Type", "image/gif"}, {"Content-Length", "6"}}))
                    .Send("GIF")
                    .Stall();
            if (request.Target == "/1.gif")
                return TReply::Text(200, "GIF89a", {{"Content-Type", "image/gif"}});
            return TReply::Text(404, "missing");
        });
    const std::string copy = HomeFolder() + "/copy";
    const std::string taskFile = HomeFolder() + "/Tasks/General/Locked.hxt";
    const TProgramRun first =
        StartProgram(HomeFolder(), {"copy", server.URL("/"), "--folder", copy, "--name", "Locked"});
    ASSERT_GT(first.Pid, 0);
    // The first run holds the task once it has started (the wait is for that event).
    for (int step = 0; step < 1200 && TaskLockHolder(taskFile) != first.Pid; ++step)
        std::this_thread::sleep_for(25ms);
    ASSERT_EQ(TaskLockHolder(taskFile), first.Pid) << ReadText(first.OutputFile);

    std::string output;
    EXPECT_EQ(RunProgram({"run", "Locked", "--restart"}, output), 1) << output;
    const std::string refusal =
        "Task \"Locked\" is running in another Harbex process (PID " + std::to_string(first.Pid) + ")";
    EXPECT_NE(output.find(refusal), std::string::npos) << output;
    EXPECT_EQ(output.find("Copying"), std::string::npos) << output;
    // Scheduling it meanwhile is refused the same way: the run's saves own the file.
    EXPECT_EQ(RunProgram({"schedule", "Locked", "Now"}, output), 1) << output;
    EXPECT_NE(output.find(refusal), std::string::npos) << output;
    EXPECT_EQ(TaskLockHolder(taskFile), first.Pid);

    ::kill(first.Pid, SIGKILL);
    EXPECT_EQ(WaitProgram(first, 60s), -1); // killed, not exited
    slow = false;
    EXPECT_EQ(TaskLockHolder(taskFile), 0);
    EXPECT_EQ(RunProgram({"run", "Locked", "--resume"}, output), 0) << output;
    EXPECT_EQ(ReadText(copy + "/127.0.0.1/1.gif").size(), 6U) << output;
}

} // namespace
} // namespace hx::test
