#include "core/HXTaskLock.h"

#include <gtest/gtest.h>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXTaskLockTest : public test::THXSandboxTest
{
protected:
    std::string TaskFile() const { return Home().WriteFile("Tasks/General/Site.hxt", "[Task]\r\n"); }
};

// A child process that takes the task's lock, says so through a pipe and then
// waits to be killed.
pid_t HoldInChild(const std::string& taskFile)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::close(ready[0]);
        THXTaskLock lock;
        const char answer = lock.TryAcquire(taskFile) == THXTaskLock::TResult::Acquired ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    const bool held = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
    if (!held && child > 0)
    {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

TEST_F(HXTaskLockTest, NamesAndText)
{
    EXPECT_EQ(TaskLockFileName("/home/a/Tasks/General/Site.hxt"), "/home/a/Tasks/General/Site.lock");
    EXPECT_EQ(TaskLockFileName(""), "");
    EXPECT_EQ(RunningElsewhereText("Docs", 4242), "Task \"Docs\" is running in another Harbex process (PID 4242)");
}

// Another process's lock is seen with its process id, refuses the task here, and
// goes with the process when it is killed.
TEST_F(HXTaskLockTest, OneProcessAtATimeAndKillReleases)
{
    const std::string task = TaskFile();
    EXPECT_EQ(TaskLockHolder(task), 0);
    const pid_t child = HoldInChild(task);
    ASSERT_GT(child, 0);

    EXPECT_EQ(TaskLockHolder(task), child);
    EXPECT_EQ(TaskRunsElsewhere(task), child);
    THXTaskLock lock;
    int holder = 0;
    EXPECT_EQ(lock.TryAcquire(task, &holder), THXTaskLock::TResult::HeldElsewhere);
    EXPECT_EQ(holder, child);
    EXPECT_FALSE(lock.Held());

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(TaskLockHolder(task), 0);
    EXPECT_EQ(lock.TryAcquire(task, &holder), THXTaskLock::TResult::Acquired);
    EXPECT_TRUE(lock.Held());
    EXPECT_EQ(TaskLockHolder(task), ::getpid());
    EXPECT_EQ(TaskRunsElsewhere(task), 0); // this process's own run
}

// Two locks of one process conflict too, a release frees the task, and a task
// that has no file, or whose folder cannot hold a lock file, is not locked.
TEST_F(HXTaskLockTest, ReleaseAndUnavailable)
{
    const std::string task = TaskFile();
    THXTaskLock first;
    THXTaskLock second;
    ASSERT_EQ(first.TryAcquire(task), THXTaskLock::TResult::Acquired);
    int holder = 0;
    EXPECT_EQ(second.TryAcquire(task, &holder), THXTaskLock::TResult::HeldElsewhere);
    EXPECT_EQ(holder, ::getpid());
    first.Release();
    EXPECT_FALSE(first.Held());
    EXPECT_EQ(TaskLockHolder(task), 0);
    EXPECT_EQ(second.TryAcquire(task), THXTaskLock::TResult::Acquired);
    EXPECT_EQ(second.TaskFile(), task);
    {
        THXTaskLock moved = std::move(second);
        EXPECT_TRUE(moved.Held());
    }
    EXPECT_EQ(TaskLockHolder(task), 0); // the lock went with the moved-to object

    EXPECT_EQ(first.TryAcquire(""), THXTaskLock::TResult::Unavailable);
    EXPECT_EQ(first.TryAcquire(Home().Folder() + "no such folder/Site.hxt"), THXTaskLock::TResult::Unavailable);
    EXPECT_FALSE(first.Held());
}

} // namespace
} // namespace hx
